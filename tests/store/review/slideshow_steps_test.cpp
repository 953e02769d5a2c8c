// The slideshow's steps: forward by the visible count with the next page loaded first when the
// step passes the loaded end, dropped when the page did not come, the caller stopped or the focus
// moved meanwhile; back without loading; an empty window closes the slideshow.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/library_error.h"
#include "store/library/library_model_test_access.h"
#include "store/offline_store.h"

namespace lorvex {
namespace {

using testing::OfflineStore;
using Snapshot = ResultSelection::Snapshot;

Snapshot alone(const std::string& path) {
  return {path, {path}, path};
}
const Snapshot kCleared{std::nullopt, {}, std::nullopt};

std::string r(int number) {
  return "/r" + std::to_string(number);
}

// The library behind a window of /r0 … /r9: /r0 … /r14, newest first, under a root being registered.
void fillLibrary(OfflineStore& f) {
  std::vector<ImageRecord> library;
  for (int i = 0; i < 15; ++i) {
    ImageRecord record;
    record.file.path = r(i);
    record.file.modificationDate = 1'000.0 - i;
    library.push_back(record);
  }
  f.harness.service->setRecords(library);
  LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(f.store.library(), {"/"});
}

// A window of the first `loaded` records and a slideshow of 3 images, playing when presented.
void showSlideshow(OfflineStore& f, int loaded, bool hasMore, const Snapshot& selection, bool presented) {
  f.load(OfflineStore::numberedPaths(loaded), hasMore);
  f.select(selection.primaryPath, selection.selectedPaths, selection.anchorPath);
  f.store.presentation().setSlideshowVisibleCount(3);
  f.store.presentation().setIsSlideshowPresented(presented);
  f.store.presentation().setIsSlideshowPlaying(presented);
}

enum class Page { none, appended, failed, listEnded };

TEST(ImageLibraryStoreSlideshowSteps, AForwardStepLoadsThePageItNeedsAndIsDroppedWhenOvertaken) {
  struct Case {
    const char* name;
    bool presented;
    int loaded;
    bool hasMore;
    Snapshot before;
    Page page;  // none: no page is asked for
    // Runs while the page is on its way.
    std::function<void(OfflineStore&, StoreTask<void>&)> duringLoad;
    Snapshot after;
    bool presentedAfter;
  };
  const auto nothing = [](OfflineStore&, StoreTask<void>&) {};
  const std::vector<Case> cases = {
      {"inside the loaded records", true, 10, true, alone(r(2)), Page::none, nothing, alone(r(5)), true},
      {"a multi-selection gives way to the one focus",
       true,
       10,
       true,
       {r(2), {r(1), r(2), r(3)}, r(1)},
       Page::none,
       nothing,
       alone(r(5)),
       true},
      {"past the loaded end: the page first", true, 10, true, alone(r(8)), Page::appended, nothing,
       alone(r(11)), true},
      {"past the end of a complete list wraps", true, 10, false, alone(r(8)), Page::none, nothing,
       alone(r(1)), true},
      {"the page failed while more are reported", true, 10, true, alone(r(8)), Page::failed, nothing,
       alone(r(8)), true},
      {"the page found the list ended: wraps", true, 10, true, alone(r(8)), Page::listEnded, nothing,
       alone(r(1)), true},
      {"the user stepped back during the load", true, 10, true, alone(r(8)), Page::appended,
       [](OfflineStore& f, StoreTask<void>&) { f.store.review().showPreviousSlideshowImages(); }, alone(r(5)),
       true},
      {"the caller stopped during the load", true, 10, true, alone(r(8)), Page::appended,
       [](OfflineStore&, StoreTask<void>& step) { step.cancel(); }, alone(r(8)), true},
      {"the visible count is read again after the load", true, 10, true, alone(r(8)), Page::appended,
       [](OfflineStore& f, StoreTask<void>&) { f.store.presentation().setSlideshowVisibleCount(5); },
       alone(r(13)), true},
      {"no focus: the first record", true, 10, true, kCleared, Page::none, nothing, alone(r(0)), true},
      {"the slideshow is closed", false, 10, true, alone(r(8)), Page::none, nothing, alone(r(8)), false},
      {"an empty window closes it", true, 0, true, alone(r(8)), Page::none, nothing, kCleared, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OfflineStore f;
    showSlideshow(f, c.loaded, c.hasMore, c.before, c.presented);
    fillLibrary(f);
    f.harness.service->hold("searchImages");
    // The caller's flow, as the slideshow's auto-advance keeps one: cancelling it stops the step.
    StoreTask<void> step =
        startStoreTask(f.store.context().scope(), [&f](std::stop_token stop) -> QCoro::Task<void> {
          auto frame = co_await f.store.context().scope().enter();
          co_await f.store.review().showNextSlideshowImages(stop);
        });
    if (c.page != Page::none) {
      ASSERT_TRUE(f.harness.service->waitForHeld("searchImages"));
      const auto page = f.harness.service->heldCalls("searchImages").front();
      EXPECT_EQ(page.query->offset, c.loaded);
      c.duringLoad(f, step);
      switch (c.page) {
        case Page::appended:
          f.harness.service->release(page.id);
          break;
        case Page::failed:
          f.harness.service->fail(
              page.id, std::make_exception_ptr(LibraryError(LibraryError::Kind::database, "busy")));
          break;
        case Page::listEnded:
        case Page::none:
          f.harness.service->releaseWith(page.id, std::vector<ImageRecord>{});
          break;
      }
    }
    ASSERT_TRUE(testing::runEventsUntil([&] { return step.isFinished(); }));
    EXPECT_EQ(f.harness.service->calls("searchImages").size(), c.page == Page::none ? 0u : 1u);
    EXPECT_EQ(f.selection(), c.after);
    EXPECT_EQ(f.store.presentation().isSlideshowPresented(), c.presentedAfter);
    EXPECT_EQ(f.store.presentation().isSlideshowPlaying(), c.presentedAfter);
  }
}

TEST(ImageLibraryStoreSlideshowSteps, ABackStepWrapsOnlyOverACompleteListAndNeverLoads) {
  struct Case {
    const char* name;
    bool presented;
    int loaded;
    bool hasMore;
    Snapshot before;
    Snapshot after;
    bool presentedAfter;
  };
  const std::vector<Case> cases = {
      {"inside the loaded records", true, 10, true, {r(6), {r(5), r(6)}, r(5)}, alone(r(3)), true},
      {"past the start while more exist stops at the first", true, 10, true, alone(r(1)), alone(r(0)), true},
      {"past the start of a complete list wraps", true, 10, false, alone(r(1)), alone(r(8)), true},
      {"no focus: the first record", true, 10, false, kCleared, alone(r(0)), true},
      {"the slideshow is closed", false, 10, false, alone(r(6)), alone(r(6)), false},
      {"an empty window closes it", true, 0, false, alone(r(6)), kCleared, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OfflineStore f;
    showSlideshow(f, c.loaded, c.hasMore, c.before, c.presented);
    f.store.review().showPreviousSlideshowImages();
    testing::drainEvents();
    EXPECT_TRUE(f.harness.service->calls("searchImages").empty());
    EXPECT_EQ(f.selection(), c.after);
    EXPECT_EQ(f.store.presentation().isSlideshowPresented(), c.presentedAfter);
  }
}

}  // namespace
}  // namespace lorvex
