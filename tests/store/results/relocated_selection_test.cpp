// The selection through a scan that relocated some of its records: the focus and the selected
// records follow to their new paths as the refreshes after the scan load them, and a selection
// that a later refresh or search dropped never comes back.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store/filters/filters_model_test_access.h"
#include "store/review_fixture.h"

namespace lorvex {
namespace {

using testing::imagePath;
using testing::libraryImages;
using testing::pathOf;
using testing::renamedPath;
using testing::ReviewFixture;

// A step of what happens to the library and the window. Images are numbered; -n names image n at
// its new path.
using Step = std::function<void(ReviewFixture&)>;

// The files of image `number` go to their new place in the library (the scan's writes).
Step rename(int number) {
  return [number](ReviewFixture& f) {
    std::vector<ImageRecord> library = f.harness.service->records();
    for (ImageRecord& record : library) {
      if (record.file.path == imagePath(number)) record.file.path = renamedPath(number);
    }
    f.harness.service->setRecords(std::move(library));
  };
}

// Image `number` leaves the results (moved out of the registered folders), or comes back at its new
// place.
Step leave(int number) {
  return [number](ReviewFixture& f) {
    std::vector<ImageRecord> library = f.harness.service->records();
    std::erase_if(library, [&](const ImageRecord& record) { return record.file.path == imagePath(number); });
    f.harness.service->setRecords(std::move(library));
  };
}
Step arriveRenamed(int number) {
  return [number](ReviewFixture& f) {
    std::vector<ImageRecord> library = f.harness.service->records();
    ImageRecord record = testing::libraryImage(number);
    record.file.path = renamedPath(number);
    library.push_back(std::move(record));
    f.harness.service->setRecords(std::move(library));
  };
}

// The scan says where image `number` went.
Step report(int number) {
  return [number](ReviewFixture& f) {
    f.store->results().followRelocatedRecords({{imagePath(number), renamedPath(number)}});
  };
}

// A refresh of the whole window, as during a scan and after it.
const Step refresh = [](ReviewFixture& f) {
  ImageLibraryStore* store = f.store.get();
  testing::startFlow(
      *store, [store](std::stop_token stop) { return store->results().refreshResultWindowAfterSync(stop); });
  f.harness.drainEvents();
};

// The favorites filter switched, and the search it starts.
Step favorites(bool on) {
  return [on](ReviewFixture& f) {
    FiltersModelTestAccess::setOnlyFavorites(f.store->filters(), on);
    ImageLibraryStore* store = f.store.get();
    testing::startFlow(*store, [store](std::stop_token stop) {
      return store->results().refreshResults(ResultsModel::kFirstPageLimit, true, stop);
    });
    f.harness.drainEvents();
  };
}

TEST(RelocatedSelection, FollowsTheScansRelocationsOnlyIntoTheRefreshAfterIt) {
  struct Row {
    const char* name;
    int focus;
    std::vector<int> selected;
    std::vector<Step> steps;
    int focusAfter;
    std::vector<int> selectedAfter;
  };
  // The library: images 0 to 3, in that order. Each row focuses and selects its first images.
  const std::vector<Row> rows = {
      {"the focus follows once the refresh loads it", 1, {1}, {rename(1), report(1), refresh}, -1, {-1}},
      {"a selected record joins once the refresh loads it",
       1,
       {1, 2},
       {rename(2), report(2), refresh},
       1,
       {1, -2}},
      {"a focus lost to a refresh of the scan follows from where it was",
       1,
       {1, 2},
       {rename(1), refresh, report(1), refresh},
       -1,
       {-1, 2}},
      {"a selection the filter dropped stays dropped",
       1,
       {1, 2},
       {rename(2), report(2), refresh, favorites(true), favorites(false)},
       0,
       {0}},
      {"a selected record the refresh does not load stays out when it comes later",
       1,
       {1, 2},
       {leave(2), report(2), refresh, arriveRenamed(2), refresh},
       1,
       {1}},
      {"a focus the refresh does not load leaves the selection to the refresh",
       2,
       {2},
       {leave(2), report(2), refresh, arriveRenamed(2), refresh},
       3,
       {3}},
      {"a selection a search dropped does not come back with a later rename",
       1,
       {1, 2},
       {favorites(true), favorites(false), rename(1), refresh, report(1), refresh},
       0,
       {0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ReviewFixture f(libraryImages(0, 4));
    f.select(row.focus, row.selected);
    for (const Step& step : row.steps) step(f);
    PathSet expected;
    for (int number : row.selectedAfter) expected.insert(pathOf(number));
    EXPECT_EQ(f.store->results().selection().primaryPath(), pathOf(row.focusAfter));
    EXPECT_EQ(f.store->results().selection().effectiveSelectedPaths(), expected);
  }
}

}  // namespace
}  // namespace lorvex
