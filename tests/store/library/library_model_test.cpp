// The library model's state and its place in the composition: what a new model holds, the
// change-only rule of its observed fields, the library flags the store's projections hear through the wiring,
// and a store that goes while a library flow waits for the results it asked for.
#include "store/library/library_model.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "services/unavailable_image_library_service.h"
#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/library_workflow_fixture.h"
#include "store/support/change_only.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using Access = LibraryModelTestAccess;
using testing::folderSummary;
using testing::LibraryWorkflowFixture;

template <typename T>
void expectChangeOnly(const char* name, std::function<void(LibraryModel&, T)> set,
                      std::function<T(const LibraryModel&)> get, void (LibraryModel::*signal)(), T first,
                      T second) {
  SCOPED_TRACE(name);
  testing::StoreHarness h;
  auto store = h.makeStore();
  testing::expectModelChangeOnly<LibraryModel, T>(store->library(), set, get, signal, first, second);
}

ImageLibraryIndexingProgress indexingProgress(std::int64_t processed) {
  ImageLibraryIndexingProgress progress;
  progress.processedCount = processed;
  return progress;
}

TEST(LibraryModel, ANewModelHoldsTheInitialValues) {
  testing::StoreHarness h;
  testing::StoreOptions options;
  options.liveServiceFactory = [] { return std::make_shared<UnavailableImageLibraryService>(); };
  auto store = h.makeStore(std::move(options));
  const LibraryModel& library = store->library();
  EXPECT_EQ(library.lastIndexingResultRefreshAt(), LibraryModel::kDistantPast);
  EXPECT_LT(h.clock.now() - library.lastIndexingResultRefreshAt(), 1e12);
  EXPECT_GT(h.clock.now() - library.lastIndexingResultRefreshAt(), 6e10);
  EXPECT_FALSE(library.hasLoadedRegisteredFolderSummaries());
  EXPECT_NE(library.liveServiceFactory()(), nullptr);
  EXPECT_FALSE(library.hasFlowUnderWay());
}

TEST(LibraryModel, ObservedFieldsSignalOnlyARealChange) {
  using Folders = std::vector<RegisteredFolderSummary>;
  using Progress = std::optional<ImageLibraryIndexingProgress>;
  using M = LibraryModel;
  // Same path, another count.
  expectChangeOnly<Folders>(
      "registeredFolderSummaries",
      [](M& m, Folders v) { Access::setRegisteredFolderSummaries(m, std::move(v)); },
      &M::registeredFolderSummaries, &M::registeredFolderSummariesChanged, Folders{folderSummary("/a")},
      [] {
        Folders folders{folderSummary("/a")};
        folders[0].indexedImageCount = 2;
        return folders;
      }());
  // Absent, zero progress and some progress are three different values.
  expectChangeOnly<Progress>(
      "indexingProgress", [](M& m, Progress v) { Access::setIndexingProgress(m, std::move(v)); },
      &M::indexingProgress, &M::indexingProgressChanged, ImageLibraryIndexingProgress{}, indexingProgress(1));
  expectChangeOnly<bool>(
      "isLibrarySyncInProgress", [](M& m, bool v) { Access::setIsLibrarySyncInProgress(m, v); },
      &M::isLibrarySyncInProgress, &M::isLibrarySyncInProgressChanged, true, false);
}

// The Trash review's projections read whether the library is prepared and whether it indexes: the
// composition turns each change of those inputs into one derivedValuesChanged after the turn, and
// the preparation flag the context holds reaches the store's own signal at once.
TEST(LibraryModel, TheStoreHearsTheLibraryInputsOfItsProjections) {
  struct Row {
    const char* name;
    std::function<void(ImageLibraryStore&)> change;
    int preparationSignals;
  };
  const Row rows[] = {
      {"preparing the library",
       [](ImageLibraryStore& s) { Access::setIsPreparingLibrary(s.library(), true); }, 0},
      {"indexing", [](ImageLibraryStore& s) { Access::setIsIndexing(s.library(), true); }, 0},
      {"the live service still to prepare",
       [](ImageLibraryStore& s) { s.context().setNeedsLiveServicePreparation(true); }, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::StoreHarness h;
    auto store = h.makeStore();
    int derived = 0;
    int preparation = 0;
    QObject::connect(&store->projections(), &StoreProjections::derivedValuesChanged, [&] { ++derived; });
    QObject::connect(&store->context(), &StoreContext::needsLiveServicePreparationChanged,
                     [&] { ++preparation; });
    row.change(*store);
    EXPECT_EQ(preparation, row.preparationSignals);
    EXPECT_EQ(derived, 0) << "queued for the end of the turn";
    EXPECT_TRUE(h.drainEvents());
    EXPECT_EQ(derived, 1);
  }
}

// A library flow waits for the results, the suggestions and the thumbnails through the composition,
// in the scope of the store: a store that goes while the first page is held frees the flow's frame
// (the sanitizers see a leaked frame or a touch of the gone model), and the late answer is dropped.
TEST(LibraryModel, AStoreGoingWhileALibraryFlowAwaitsTheResultsFreesIt) {
  struct Row {
    const char* name;
    std::function<QCoro::Task<void>(LibraryModel&)> flow;
  };
  const std::vector<Row> rows = {
      // A coroutine of its own between the flow and the sync: it enters the scope, as every flow does.
      {"a manual sync",
       [](LibraryModel& m) -> QCoro::Task<void> {
         auto frame = co_await m.context().scope().enter();
         co_await m.syncRegisteredFolders();
       }},
      {"a registration", [](LibraryModel& m) { return m.registerFolders({"/a"}); }},
      {"unregistering a folder", [](LibraryModel& m) { return m.unregisterFolder("/a"); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    LibraryWorkflowFixture f;
    f.answer("restoreFolderAccess", std::vector<std::string>{"/a"});
    f.service().setRegisteredFolderSummaries({folderSummary("/a")});
    f.service().hold("searchImages");
    LibraryModel& library = f.store->library();
    library.context().startDetached([&library, flow = row.flow]() -> QCoro::Task<void> {
      auto frame = co_await library.context().scope().enter();
      co_await flow(library);
    });
    ASSERT_TRUE(f.service().waitForHeld("searchImages"));
    f.store.reset();
    f.service().releaseAll();
    EXPECT_TRUE(f.harness.drainEvents());
  }
}

}  // namespace
}  // namespace lorvex
