// The trash model's state: the change-only rule of its observed fields, and a store that goes while
// trash flows are suspended on what they ask of the store (a review search, the library's move, the
// sidebar's reload after it, a background pass the move waits for).
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/search_flows.h"
#include "store/support/change_only.h"
#include "store/support/store_harness.h"
#include "store/trash/trash_model_test_access.h"

namespace lorvex {
namespace {

using Access = TrashModelTestAccess;

template <typename T>
void expectChangeOnly(const char* name, std::function<void(TrashModel&, T)> set,
                      std::function<T(const TrashModel&)> get, void (TrashModel::*signal)(), T first,
                      T second) {
  SCOPED_TRACE(name);
  testing::StoreHarness h;
  auto store = h.makeStore();
  testing::expectModelChangeOnly<TrashModel, T>(store->trash(), set, get, signal, first, second);
}

TEST(TrashModel, ObservedFieldsSignalOnlyARealChange) {
  using Summary = std::optional<ImageTrashSummary>;
  using M = TrashModel;
  // Absent, empty and a count are three different values.
  expectChangeOnly<Summary>(
      "lastTrashSummary", [](M& m, Summary v) { Access::setLastTrashSummary(m, std::move(v)); },
      &M::lastTrashSummary, &M::lastTrashSummaryChanged, ImageTrashSummary{}, ImageTrashSummary{1, {}, {}});
  expectChangeOnly<bool>(
      "isTrashingDeleteCandidates", [](M& m, bool v) { Access::setIsTrashingDeleteCandidates(m, v); },
      [](const M& m) { return m.isTrashingDeleteCandidates(); }, &M::isTrashingDeleteCandidatesChanged, true,
      false);
}

TEST(TrashModel, AStoreGoingMidFlowFreesItsTrashFlows) {
  // Each row leaves one trash flow suspended on the store's side of the model, then destroys the
  // store. The sanitizers see no leak and no use of the gone model or store; the late answer of a
  // held call reaches a closed scope and is dropped.
  const auto moveLoaded = [](TrashModel& m) {
    m.context().startDetached([&m]() -> QCoro::Task<void> {
      auto frame = co_await m.context().scope().enter();
      co_await m.moveLoadedTrashReviewCandidatesToTrash();
    });
  };
  const struct {
    const char* name;
    std::optional<std::string> held;
    std::function<void(ImageLibraryStore&)> start;
  } rows[] = {
      {"a reload in its search", "searchImages",
       [](ImageLibraryStore& s) {
         TrashModel& m = s.trash();
         m.context().startDetached([&m] { return m.reloadDeleteCandidateTrashReview(); });
       }},
      {"a further page in its search", "searchImages",
       [](ImageLibraryStore& s) {
         TrashModel& m = s.trash();
         m.context().startDetached(
             [&m] { return m.loadMoreDeleteCandidateTrashReviewIfNeeded(std::nullopt); });
       }},
      {"a move in the library's call", "moveDeleteCandidatesToTrash",
       [moveLoaded](ImageLibraryStore& s) { moveLoaded(s.trash()); }},
      {"a move reloading the sidebar", "registeredFolderSummaries",
       [moveLoaded](ImageLibraryStore& s) { moveLoaded(s.trash()); }},
      {"a move waiting for a background pass", std::nullopt,
       [moveLoaded](ImageLibraryStore& s) {
         LibraryModelTestAccess::setIsLibrarySyncInProgress(s.library(), true);
         moveLoaded(s.trash());
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::StoreHarness h;
    std::vector<ImageRecord> images;
    // More candidates than a page, so that a further page exists.
    for (int number = 0; number < TrashModel::kTrashReviewPageSize + 2; ++number) {
      images.push_back(testing::libraryImage(number, false, true));
    }
    h.service->setRecords(images);
    auto store = h.makeStore();
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {testing::kLibraryRoot});
    TrashModel& trash = store->trash();
    trash.context().startDetached([&trash] { return trash.presentDeleteCandidateTrashReview(); });
    ASSERT_TRUE(h.drainEvents());
    ASSERT_TRUE(trash.trashReviewBrowser().hasMoreRecords());
    if (row.held) h.service->hold(*row.held);
    row.start(*store);
    if (row.held) {
      ASSERT_TRUE(h.service->waitForHeld(*row.held));
    } else {
      h.drainEvents();
      ASSERT_TRUE(trash.isTrashingDeleteCandidates());
    }
    store.reset();
    h.service->releaseAll();
    EXPECT_TRUE(h.drainEvents());
  }
}

}  // namespace
}  // namespace lorvex
