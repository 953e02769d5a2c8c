// Review marks over the real service and a library of real generator PNGs: under each of the four
// combinations of the favorites and delete-candidate filters, the window that marking (and undoing
// a marking) leaves in place holds what a fresh search of the library finds, in the same order
// and with the same marks. Skips when the shared fixtures are absent.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/filters/filters_model_test_access.h"
#include "store/library/library_model_test_access.h"
#include "store/library_store_composition.h"
#include "store/real_pictures_test.h"
#include "store/store_idle.h"

namespace lorvex {
namespace {

using testing::waitUntil;

using Listing = std::vector<std::pair<std::string, ReviewState>>;

Listing listing(const std::vector<ImageRecord>& records) {
  Listing result;
  for (const ImageRecord& record : records) result.emplace_back(record.file.path, record.reviewState);
  return result;
}

Listing windowListing(const ImageLibraryStore& store) {
  Listing result;
  for (const RecordRef& record : store.results().resultWindow().records())
    result.emplace_back(record->file.path, record->reviewState);
  return result;
}

// What a new search under the store's filters finds now.
Listing freshSearch(ImageLibraryStore& store) {
  return listing(store.context().service()->searchImages(
      store.results().makeSearchQuery(ResultsModel::kFirstPageLimit + 1, 0), {}));
}

class LibraryReviewIntegrationTest : public testing::RealPicturesTest {
 protected:
  void TearDown() override {
    store_.reset();
    RealPicturesTest::TearDown();
  }

  void refresh() {
    auto task = store_->results().refreshResults(ResultsModel::kFirstPageLimit, true);
    ASSERT_TRUE(waitUntil([&] { return task.isReady(); }, std::chrono::seconds(30)));
  }

  std::unique_ptr<ImageLibraryStore> store_;
};

TEST_F(LibraryReviewIntegrationTest, UnderEveryFilterTheMarkedWindowEqualsAFreshSearch) {
  store_ = makeLibraryStoreInFolder(root_ / "library");
  store_->library().startLaunchWorkflow();
  ASSERT_TRUE(waitUntil(
      [&] {
        return !LibraryModelTestAccess::launchWorkflowTask(store_->library()) &&
               !store_->context().needsLiveServicePreparation();
      },
      std::chrono::seconds(30)));
  auto registration = store_->library().registerFolders({pictures_.string()});
  ASSERT_TRUE(waitUntil([&] { return registration.isReady(); }, std::chrono::seconds(60)));
  store_->library().backgroundSync().stopBackgroundLibrarySync();
  ASSERT_TRUE(waitUntilStoreIdle(*store_, std::chrono::seconds(30)));
  ASSERT_FALSE(store_->context().errorMessage().has_value()) << *store_->context().errorMessage();

  // Seed the library with every pair of marks: favorites in the first two thirds, delete
  // candidates from a third to five sixths.
  const std::vector<RecordRef> all = store_->results().resultWindow().records();
  ASSERT_GE(all.size(), 8u);
  const std::size_t n = all.size();
  store_->review().setFavorite({all.begin(), all.begin() + static_cast<std::ptrdiff_t>(2 * n / 3)}, true);
  store_->review().markDeleteCandidates({all.begin() + static_cast<std::ptrdiff_t>(n / 3),
                                         all.begin() + static_cast<std::ptrdiff_t>(5 * n / 6)});
  ASSERT_FALSE(store_->context().errorMessage().has_value()) << *store_->context().errorMessage();

  struct Filters {
    bool favorites;
    bool deleteCandidates;
  };
  for (const Filters filters :
       {Filters{false, false}, Filters{true, false}, Filters{false, true}, Filters{true, true}}) {
    SCOPED_TRACE("favorites " + std::to_string(filters.favorites) + ", delete candidates " +
                 std::to_string(filters.deleteCandidates));
    FiltersModelTestAccess::setOnlyFavorites(store_->filters(), filters.favorites);
    FiltersModelTestAccess::setOnlyDeleteCandidates(store_->filters(), filters.deleteCandidates);
    refresh();
    const std::vector<RecordRef> loaded = store_->results().resultWindow().records();
    ASSERT_GE(loaded.size(), 2u);
    ASSERT_EQ(windowListing(*store_), freshSearch(*store_));

    // A favourite flipped, then a delete-candidate toggle over two records, then one set.
    store_->review().toggleFavorite({loaded[0]});
    EXPECT_EQ(windowListing(*store_), freshSearch(*store_)) << "after the favourite";
    const std::size_t undoDepth = store_->review().deleteCandidateUndoStack().size();
    store_->review().toggleDeleteCandidate({loaded[loaded.size() - 2], loaded[loaded.size() - 1]});
    EXPECT_EQ(windowListing(*store_), freshSearch(*store_)) << "after the toggle";
    ASSERT_EQ(store_->review().deleteCandidateUndoStack().size(), undoDepth + 1);
    store_->review().undoLastDeleteCandidateAction();
    ASSERT_TRUE(waitUntilStoreIdle(*store_, std::chrono::seconds(30)));
    EXPECT_EQ(windowListing(*store_), freshSearch(*store_)) << "after the undo";
    store_->review().setDeleteCandidate({loaded[1]}, !filters.deleteCandidates);
    EXPECT_EQ(windowListing(*store_), freshSearch(*store_)) << "after the set";
    EXPECT_FALSE(store_->context().errorMessage().has_value()) << *store_->context().errorMessage();
  }
}

}  // namespace
}  // namespace lorvex
