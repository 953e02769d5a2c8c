// The main window's state over a store on the scripted service: the folder picker's completions,
// preview steps that wait for the next page, the slideshow hand-over and the undo key's conditions.
#include "app/content_view_state.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "store/event_loop.h"
#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"

namespace lorvex::app {
namespace {

using testing::StoreHarness;

std::string fileURL(const std::string& path) {
  return "file://" + path;
}
std::string libraryPath(int n) {
  return "/library/" + std::to_string(n) + ".png";
}

struct ContentFixture {
  // `loaded` of `libraryCount` records in the window.
  explicit ContentFixture(int loaded = 3, int libraryCount = 3) {
    testing::application();
    store = harness.makeStore();
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {"/library"});
    harness.service->setRecords(testing::makeLibraryRecords(static_cast<std::size_t>(libraryCount)));
    ImageLibraryStore* s = store.get();
    store->context().startDetached([s, loaded] { return s->results().refreshResults(loaded, false); });
    harness.drainEvents();
    state = std::make_unique<ContentViewState>(*store);
  }
  ~ContentFixture() {
    state.reset();
    harness.service->releaseAll();
    harness.drainEvents();
  }
  void focus(int n) { store->results().selection().selectSingle(libraryPath(n)); }

  StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
  std::unique_ptr<ContentViewState> state;
};

TEST(ContentViewStateTest, PickerCompletionsReachTheStoreOnce) {
  ContentFixture fixture;
  auto& service = *fixture.harness.service;

  fixture.state->presentFolderImporter();
  EXPECT_TRUE(fixture.state->folderImport().request()->allowsMultipleSelection());
  fixture.state->dismissFolderImporter();  // the dialog closes before it reports
  fixture.state->completeFolderImport(std::vector<std::string>{"/p/a", "/p/b"});
  fixture.harness.drainEvents();
  ASSERT_EQ(service.calls("registerFolders").size(), 1U);
  EXPECT_EQ(service.calls("registerFolders")[0].paths, (std::vector<std::string>{"/p/a", "/p/b"}));

  fixture.state->presentFolderReauthorization("/p/old");
  EXPECT_FALSE(fixture.state->folderImport().request()->allowsMultipleSelection());
  fixture.state->completeFolderImport(std::vector<std::string>{"/p/new", "/p/other"});
  fixture.harness.drainEvents();
  ASSERT_EQ(service.calls("reauthorizeFolder").size(), 1U);
  EXPECT_EQ(service.calls("reauthorizeFolder")[0].paths, (std::vector<std::string>{"/p/new", "/p/old"}));

  fixture.state->presentFolderReauthorization("/p/old");
  fixture.state->completeFolderImport(std::vector<std::string>{});
  fixture.harness.drainEvents();
  EXPECT_EQ(service.calls("reauthorizeFolder").size(), 1U);
  EXPECT_EQ(fixture.store->context().errorMessage(), std::nullopt);

  for (const auto& request :
       {FolderImportRequest::registration(), FolderImportRequest::reauthorization("/p/x")}) {
    fixture.store->context().setErrorMessage(std::nullopt);
    if (request.kind == FolderImportRequest::Kind::registration) {
      fixture.state->presentFolderImporter();
    } else {
      fixture.state->presentFolderReauthorization(request.path);
    }
    fixture.state->completeFolderImport(FolderPickerError{"The folder cannot be read."});
    EXPECT_EQ(fixture.store->context().errorMessage(), "The folder cannot be read.");
    EXPECT_EQ(fixture.store->context().errorNotice()->kind, ErrorNoticeKind::folderUnreadable);
  }
  fixture.harness.drainEvents();
  EXPECT_EQ(service.calls("registerFolders").size(), 1U);
  EXPECT_EQ(service.calls("reauthorizeFolder").size(), 1U);
}

TEST(ContentViewStateTest, ThePreviewFollowsTheFocusAndClosesWhenItIsCleared) {
  ContentFixture fixture;
  fixture.store->results().selection().selectSingle(libraryPath(1));
  EXPECT_EQ(fixture.state->quickLookURL(), std::nullopt);  // closed: selection changes do not open it

  fixture.state->presentQuickLook(fileURL(libraryPath(1)));
  fixture.focus(2);
  EXPECT_EQ(fixture.state->quickLookURL(), fileURL(libraryPath(2)));
  EXPECT_TRUE(fixture.state->isSplitViewDisabled());

  fixture.state->showPreviousQuickLookImage();
  EXPECT_EQ(fixture.state->quickLookURL(), fileURL(libraryPath(1)));
  fixture.state->showPreviousQuickLookImage();
  fixture.state->showPreviousQuickLookImage();  // wraps to the last record
  EXPECT_EQ(fixture.state->quickLookURL(), fileURL(libraryPath(2)));

  fixture.store->results().selection().selectSingle(std::nullopt);
  EXPECT_EQ(fixture.state->quickLookURL(), std::nullopt);
  EXPECT_FALSE(fixture.state->isSplitViewDisabled());
}

TEST(ContentViewStateTest, OnlyTheLatestStepToTheNextImageApplies) {
  ContentFixture fixture(2, 5);
  fixture.focus(1);  // the last loaded record: the next one needs the next page
  fixture.state->presentQuickLook(fileURL(libraryPath(1)));
  fixture.harness.service->hold("searchImages");

  const int before = fixture.state->quickLookNavigationGenerationForTest();
  fixture.state->showNextQuickLookImage();
  ASSERT_TRUE(fixture.harness.service->waitForHeld("searchImages"));
  fixture.state->showNextQuickLookImage();
  EXPECT_EQ(fixture.state->quickLookNavigationGenerationForTest(), before + 2);
  EXPECT_EQ(fixture.state->quickLookURL(), fileURL(libraryPath(1)));  // nothing yet

  fixture.harness.service->releaseAll();
  fixture.harness.drainEvents();
  // One step, not two: the superseded step changed nothing.
  EXPECT_EQ(fixture.store->results().selection().primaryPath(), libraryPath(2));
  EXPECT_EQ(fixture.state->quickLookURL(), fileURL(libraryPath(2)));
  EXPECT_FALSE(fixture.state->hasQuickLookNavigationTaskForTest());
}

TEST(ContentViewStateTest, PreviousOrCloseWhileTheNextStepWaitsDiscardsIt) {
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "close" : "previous");
    ContentFixture fixture(2, 5);
    fixture.focus(1);
    fixture.state->presentQuickLook(fileURL(libraryPath(1)));
    fixture.harness.service->hold("searchImages");
    fixture.state->showNextQuickLookImage();
    ASSERT_TRUE(fixture.harness.service->waitForHeld("searchImages"));

    if (close) {
      fixture.state->dismissQuickLook();
    } else {
      fixture.state->showPreviousQuickLookImage();
    }
    EXPECT_FALSE(fixture.state->hasQuickLookNavigationTaskForTest());
    fixture.harness.service->releaseAll();
    fixture.harness.drainEvents();
    if (close) {
      EXPECT_EQ(fixture.state->quickLookURL(), std::nullopt);
      EXPECT_EQ(fixture.store->results().selection().primaryPath(), libraryPath(1));
    } else {
      EXPECT_EQ(fixture.state->quickLookURL(), fileURL(libraryPath(0)));
      EXPECT_EQ(fixture.store->results().selection().primaryPath(), libraryPath(0));
    }
  }
}

TEST(ContentViewStateTest, TheSlideshowStartsOnThePreviewedRecord) {
  {
    ContentFixture fixture;
    fixture.store->results().selection().setSelectedPaths(PathSet{libraryPath(0), libraryPath(1)});
    fixture.store->results().selection().setPrimaryPath(libraryPath(1));
    fixture.store->results().selection().setAnchorPath(libraryPath(0));
    fixture.state->presentQuickLook(fileURL(libraryPath(1)));
    fixture.state->startSlideshowFromQuickLook();
    EXPECT_EQ(fixture.state->quickLookURL(), std::nullopt);
    EXPECT_EQ(fixture.store->results().selection().primaryPath(), libraryPath(1));
    EXPECT_EQ(fixture.store->results().selection().selectedPaths(), PathSet{libraryPath(1)});
    EXPECT_EQ(fixture.store->results().selection().anchorPath(), libraryPath(1));
    EXPECT_TRUE(fixture.store->presentation().isSlideshowPresented());
    fixture.state->closeSlideshow();
    EXPECT_FALSE(fixture.store->presentation().isSlideshowPresented());
  }
  {
    ContentFixture fixture;
    fixture.focus(2);
    fixture.state->presentQuickLook(fileURL("/elsewhere/gone.png"));
    fixture.state->startSlideshowFromQuickLook();
    EXPECT_EQ(fixture.state->quickLookURL(), std::nullopt);
    EXPECT_EQ(fixture.store->results().selection().primaryPath(), libraryPath(2));  // unchanged
    EXPECT_TRUE(fixture.store->presentation().isSlideshowPresented());
  }
}

TEST(ContentViewStateTest, TheUndoKeyUndoesOnlyWhenNothingCoversTheGrid) {
  struct Case {
    const char* name;
    std::function<void(ContentFixture&)> cover;
  };
  const Case cases[] = {
      {"nothing", [](ContentFixture&) {}},
      {"before preparation",
       [](ContentFixture& f) { f.store->context().setNeedsLiveServicePreparation(true); }},
      {"preparing",
       [](ContentFixture& f) { LibraryModelTestAccess::setIsPreparingLibrary(f.store->library(), true); }},
      {"preview", [](ContentFixture& f) { f.state->presentQuickLook(fileURL(libraryPath(0))); }},
      {"slideshow", [](ContentFixture& f) { f.store->presentation().setIsSlideshowPresented(true); }},
      {"tag popover",
       [](ContentFixture& f) { f.store->presentation().setIsTagAdditionPopoverPresented(true); }},
      {"model popover",
       [](ContentFixture& f) { f.store->presentation().setIsModelSelectionPopoverPresented(true); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ContentFixture fixture;
    fixture.focus(0);
    EXPECT_FALSE(fixture.state->undoFromKey());  // nothing to undo yet
    fixture.store->review().toggleFocusedRecordDeleteCandidate();
    fixture.harness.drainEvents();
    ASSERT_TRUE(fixture.store->review().canUndoDeleteCandidateAction());
    c.cover(fixture);
    const bool expected = std::string_view(c.name) == "nothing";
    EXPECT_EQ(fixture.state->isUndoKeyEnabled(), expected);
    EXPECT_EQ(fixture.state->undoFromKey(), expected);
    fixture.harness.drainEvents();
    EXPECT_EQ(fixture.store->review().canUndoDeleteCandidateAction(), !expected);
    if (!expected) {
      // The banner's button undoes whatever covers the grid.
      fixture.state->undoFromFeedback();
      fixture.harness.drainEvents();
      EXPECT_FALSE(fixture.store->review().canUndoDeleteCandidateAction());
    }
  }
}

TEST(ContentViewStateTest, FileURLsGiveTheirPathsByteForByte) {
  const std::pair<std::string_view, std::optional<std::string>> cases[] = {
      {"file:///a/b.png", "/a/b.png"}, {"file:///a%20b/%E3%81%82.png", "/a b/\xE3\x81\x82.png"},
      {"file:///x%ff", "/x\xff"},      {"file:///x%2", std::nullopt},
      {"file:///x%zz", std::nullopt},  {"http://a/b", std::nullopt},
      {"file://", std::nullopt},
  };
  for (const auto& [url, expected] : cases) EXPECT_EQ(filePathOfFileURL(url), expected) << url;
}

}  // namespace
}  // namespace lorvex::app
