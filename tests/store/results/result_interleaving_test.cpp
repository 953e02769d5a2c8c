// Random interleavings of everything that reads or changes the loaded results: first-page
// searches, page loads, both background refresh modes, post-sync refreshes, removals, review
// updates, thumbnail requests and folder summaries loads, with every service call held and then
// released in random order, some with errors. Whatever the order, once everything has finished
// the store is idle, the window is what the library answers for the current filters, its index is
// exact and the selection names only loaded paths. A failure prints its seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "model/library_error.h"
#include "store/filters/filters_model_test_access.h"
#include "store/results/results_model_test_access.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using testing::StoreHarness;

constexpr int kSeeds = 200;
constexpr int kSteps = 300;
constexpr std::size_t kLibrarySize = 1'400;

std::vector<std::string> pathsOf(const std::vector<ImageRecord>& records) {
  std::vector<std::string> paths;
  for (const auto& record : records) paths.push_back(record.file.path);
  return paths;
}

std::vector<std::string> windowPaths(const ImageLibraryStore& store) {
  std::vector<std::string> paths;
  for (const auto& record : store.results().resultWindow().records()) paths.push_back(record->file.path);
  return paths;
}

class Interleaving {
 public:
  explicit Interleaving(unsigned seed) : random_(seed) {
    auto records = testing::makeLibraryRecords(kLibrarySize);
    for (auto& record : records) {
      record.reviewState.favorite = chance(0.3);
      record.reviewState.deleteCandidate = chance(0.05);
      record.isMissing = chance(0.02);
    }
    harness_.service->setRecords(std::move(records));
    RegisteredFolderSummary folder;
    folder.path = "/library";
    folder.displayName = "library";
    harness_.service->setRegisteredFolderSummaries({folder});
    store_ = harness_.makeStore();
    // The folder list is known from the start, as after a launch.
    keep(store_->library().loadRegisteredFolderSummaries());
    harness_.drainEvents();
    harness_.service->holdAll();
  }

  void run() {
    for (int step = 0; step < kSteps; ++step) {
      this->step();
      if (::testing::Test::HasFatalFailure()) return;
    }
    settle();
  }

  void check() {
    auto& store = *store_;
    // Idle: no flow holds a flag or a handle.
    EXPECT_FALSE(store.results().isLoading());
    EXPECT_FALSE(store.results().isLoadingNextPage());
    EXPECT_FALSE(store.results().isBackgroundRefreshingResults());
    EXPECT_FALSE(store.library().isLoadingRegisteredFolders());
    EXPECT_FALSE(ResultsModelTestAccess::refreshSearchTask(store.results()));
    EXPECT_FALSE(ResultsModelTestAccess::loadMoreTask(store.results()));
    EXPECT_FALSE(ResultsModelTestAccess::activeLoadMoreTaskID(store.results()).has_value());
    EXPECT_FALSE(ResultsModelTestAccess::backgroundResultRefreshTask(store.results()));
    EXPECT_FALSE(ResultsModelTestAccess::backgroundThumbnailGenerationTask(store.results()));

    // The window is the library's answer for the current filters, as far as it is loaded.
    const auto shown = windowPaths(store);
    const auto answer = harness_.service->libraryAnswer(
        store.results().makeSearchQuery(static_cast<std::int64_t>(shown.size()) + 1, 0));
    auto expected = pathsOf(answer);
    const bool more = expected.size() > shown.size();
    if (more) expected.resize(shown.size());
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(store.results().resultWindow().hasMoreRecords(), more) << shown.size() << " shown";

    // The index names every loaded record at its position.
    for (std::size_t i = 0; i < shown.size(); ++i) {
      ASSERT_EQ(store.results().resultWindow().index(shown[i]), static_cast<int>(i)) << shown[i];
    }
    // The selection names only loaded paths.
    const auto& selection = store.results().selection();
    if (selection.primaryPath()) {
      EXPECT_TRUE(store.results().resultWindow().index(*selection.primaryPath()));
    }
    for (const auto& path : selection.selectedPaths())
      EXPECT_TRUE(store.results().resultWindow().index(path)) << path;
  }

 private:
  bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
  std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }

  std::optional<std::string> loadedPath() {
    const auto& records = store_->results().resultWindow().records();
    if (records.empty()) return std::nullopt;
    return records[pick(records.size())]->file.path;
  }

  void keep(QCoro::Task<void> task) { tasks_.push_back(std::move(task)); }
  void keep(QCoro::Task<bool> task) { pages_.push_back(std::move(task)); }

  void step() {
    auto& store = *store_;
    switch (pick(11)) {
      case 0:
        if (chance(0.2))
          FiltersModelTestAccess::setOnlyFavorites(store.filters(), !store.filters().onlyFavorites());
        keep(store.results().refreshResults(chance(0.2) ? static_cast<int>(pick(3)) : 500, chance(0.5)));
        break;
      case 1:
        keep(store.results().loadNextPage());
        break;
      case 2:
        keep(store.results().loadNextPageIfNeeded(loadedPath()));
        break;
      case 3:
        store.results().scheduleBackgroundResultRefresh(
            chance(0.5) ? ResultsModel::BackgroundResultRefreshMode::fullWindow
                        : ResultsModel::BackgroundResultRefreshMode::leadingPage);
        break;
      case 4:
        keep(store.results().refreshResultWindowAfterSync());
        break;
      case 5:
        removeSome();
        break;
      case 6:
        updateReviewState();
        break;
      case 7:
        if (auto path = loadedPath()) store.results().requestThumbnailIfMissing(*path);
        break;
      case 8:
        keep(store.library().loadRegisteredFolderSummaries());
        break;
      case 9:
        if (auto path = loadedPath()) store.results().selection().selectSingle(*path);
        break;
      default:
        releaseOne();
        break;
    }
    // Sometimes several steps go by before the main thread catches up with what finished.
    if (chance(0.5)) harness_.drainEvents();
  }

  // A trash of some loaded records: gone from the library and from the window.
  void removeSome() {
    PathSet removed;
    for (int i = 0; i < 1 + static_cast<int>(pick(20)); ++i) {
      if (auto path = loadedPath()) removed.insert(*path);
    }
    if (removed.empty()) return;
    auto records = harness_.service->records();
    std::erase_if(records, [&](const ImageRecord& r) { return removed.contains(r.file.path); });
    harness_.service->setRecords(std::move(records));
    store_->results().resultWindow().removeRecords(removed, 0);
  }

  // A mark changed on a loaded record, in the library and in the window. Loaded records can only
  // leave the results this way, as in the application (a hidden record is not loaded to be shown).
  void updateReviewState() {
    auto path = loadedPath();
    if (!path) return;
    auto records = harness_.service->records();
    for (auto& record : records) {
      if (record.file.path != *path) continue;
      if (chance(0.5)) {
        record.reviewState.favorite = !record.reviewState.favorite;
      } else {
        record.reviewState.deleteCandidate = !record.reviewState.deleteCandidate;
      }
      PathMap<ReviewState> updates;
      updates.emplace(*path, record.reviewState);
      harness_.service->setRecords(records);
      store_->results().resultWindow().applyRecordUpdates(
          updates, [this](bool favorite, bool deleteCandidate, bool isMissing) {
            return store_->results().matchesReviewFilters(favorite, deleteCandidate, isMissing);
          });
      return;
    }
  }

  void releaseOne() {
    const auto held = harness_.service->heldCalls();
    if (held.empty()) return;
    const auto& call = held[pick(held.size())];
    if (chance(0.1)) {
      harness_.service->fail(call.id,
                             std::make_exception_ptr(LibraryError(LibraryError::Kind::database, "busy")));
    } else {
      harness_.service->release(call.id);
    }
  }

  // Ends the way a sync pass does: the folder list reloaded, then a post-sync refresh started
  // while older searches are still held; then every call goes, in random order, until nothing is
  // left. Whatever the older calls answer must not undo what the post-sync refresh shows.
  void settle() {
    for (const auto& call : harness_.service->heldCalls("registeredFolderSummaries"))
      harness_.service->release(call.id);
    harness_.drainEvents();
    keep(store_->results().refreshResultWindowAfterSync());
    for (int round = 0; round < 10'000; ++round) {
      harness_.drainEvents();
      const auto held = harness_.service->heldCalls();
      if (held.empty()) {
        for (const auto& task : tasks_) EXPECT_TRUE(task.isReady());
        for (const auto& task : pages_) EXPECT_TRUE(task.isReady());
        return;
      }
      const auto& chosen = held[pick(held.size())];
      harness_.service->release(chosen.id);
      harness_.drainEvents();
    }
    ADD_FAILURE() << "calls kept coming";
  }

  std::mt19937 random_;
  StoreHarness harness_;
  std::unique_ptr<ImageLibraryStore> store_;
  std::vector<QCoro::Task<void>> tasks_;
  std::vector<QCoro::Task<bool>> pages_;
};

// The seeds run a range at a time, each range a test of its own: all of them in one test outlast the
// test command's time limit on a loaded machine.
constexpr unsigned kSeedsPerTest = 20;

class ImageLibraryStoreInterleaving : public ::testing::TestWithParam<unsigned> {};

TEST_P(ImageLibraryStoreInterleaving, EveryOrderEndsIdleWithTheLibrarysAnswer) {
  for (unsigned seed = GetParam(); seed < GetParam() + kSeedsPerTest; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Interleaving interleaving(seed);
    interleaving.run();
    interleaving.check();
    if (::testing::Test::HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(FirstSeeds, ImageLibraryStoreInterleaving,
                         ::testing::Range(1U, static_cast<unsigned>(kSeeds) + 1, kSeedsPerTest));

}  // namespace
}  // namespace lorvex
