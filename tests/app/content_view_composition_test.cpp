// The content view places the views it is given in their slots and hands them the window's
// actions: each action reaches the window state, and each view sees the state it follows.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QSplitter>

#include "app/content_view.h"
#include "app/library_workspace.h"
#include "scripted_folder_picker.h"
#include "store/image_library_store.h"
#include "store/review/review_model_test_access.h"
#include "store/support/store_harness.h"
#include "support/temporary_folder.h"
#include "ui/results/echo_localization.h"
#include "ui/support/widget_test.h"

namespace lorvex::app {
namespace {

using ui::testing::findByName;

// What the factories were given, so the test can act as each view would.
struct Given {
  ResultsGridActions grid;
  std::vector<bool> gridQuickLook;
  PreviewActions preview;
  std::vector<std::string> previewURLs;
  std::function<void()> feedbackUndo;
  std::function<void(bool)> inspectorToggled;
  std::vector<bool> togglePresented;
  std::function<bool()> undoKey;
  QWidget* undoKeyWindow = nullptr;
  std::function<void()> slideshowClose;
  std::function<void()> sidebarShowFolderImporter;
  std::function<void(const std::string&)> sidebarReauthorize;
};

ShellViews recordingViews(Given& given) {
  const auto label = [](const char* name, QWidget* parent) {
    auto* view = new QLabel(QString::fromLatin1(name), parent);
    view->setObjectName(QString::fromLatin1(name));
    return view;
  };
  ShellViews views;
  views.resultsGrid = [&given, label](ImageLibraryStore&, ResultsGridActions actions, QWidget* parent) {
    given.grid = std::move(actions);
    return ResultsGridSlot{
        label("grid", parent), [&given](bool presented) { given.gridQuickLook.push_back(presented); }, {}};
  };
  views.detailPanel = [label](ImageLibraryStore&, QWidget* parent) { return label("detail", parent); };
  views.inspectorToggle = [&given, label](std::function<void(bool)> toggled, QWidget* parent) {
    given.inspectorToggled = std::move(toggled);
    return InspectorToggleSlot{label("toggle", parent),
                               [&given](bool p) { given.togglePresented.push_back(p); }};
  };
  views.filterSidebar = [&given, label](
                            ImageLibraryStore&, const ui::ViewResourceDisplay&, std::function<void()> show,
                            std::function<void(const std::string&)> reauthorize, QWidget* parent) {
    given.sidebarShowFolderImporter = std::move(show);
    given.sidebarReauthorize = std::move(reauthorize);
    return label("sidebar", parent);
  };
  views.indexingCard = [label](ImageLibraryStore&, const ui::ViewResourceDisplay&, QWidget* parent) {
    return label("card", parent);
  };
  views.previewOverlay = [&given, label](ImageLibraryStore&, PreviewActions actions, QWidget* parent) {
    given.preview = std::move(actions);
    return PreviewOverlaySlot{label("preview", parent),
                              [&given](const std::string& url) { given.previewURLs.push_back(url); }};
  };
  views.feedbackOverlay = [&given, label](ImageLibraryStore&, std::function<void()> undo, QWidget* parent) {
    given.feedbackUndo = std::move(undo);
    return label("banner", parent);
  };
  views.undoKey = [&given](QWidget& window, std::function<bool()> onUndo) -> QObject* {
    given.undoKeyWindow = &window;
    given.undoKey = std::move(onUndo);
    return new QObject(&window);
  };
  views.slideshowPresenter = [&given](ImageLibraryStore&, std::function<void()> close,
                                      QWidget* parent) -> QObject* {
    given.slideshowClose = std::move(close);
    return new QObject(parent);
  };
  return views;
}

class ContentViewCompositionTest : public ui::testing::WidgetTest {
 protected:
  void SetUp() override {
    store = harness.makeStore();
    views = recordingViews(given);
    content = std::make_unique<ContentView>(*store, ui::ViewResourceDisplay{},
                                            platform::Settings("composition", folder.path()), views, picker,
                                            localization);
    content->resize(1200, 800);
  }
  void TearDown() override {
    content.reset();
    harness.service->releaseAll();
    harness.drainEvents();
  }

  lorvex::testing::TemporaryFolder folder;
  lorvex::testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
  Given given;
  ShellViews views;
  testing::ScriptedFolderPicker picker;
  ui::AppLocalization localization = ui::testing::echoLocalization();
  std::unique_ptr<ContentView> content;
};

TEST_F(ContentViewCompositionTest, EveryViewSitsInItsSlot) {
  const std::pair<const char*, const char*> placements[] = {
      {"splitView.sidebar", "sidebar"},  {"workspace.grid", "grid"},
      {"workspace.inspector", "detail"}, {"workspaceToolbar", "imageDetailPanel"},
      {"indexingCard", "card"},          {"previewOverlay", "preview"},
      {"feedbackOverlay", "banner"},
  };
  for (const auto& [slot, view] : placements) {
    QWidget* container = findByName(*content, slot);
    ASSERT_NE(container, nullptr) << slot;
    EXPECT_NE(findByName(*container, view), nullptr) << slot << " lacks " << view;
  }
  // Back to front: the split view, the card, the preview, the banner.
  const QObjectList& children = content->children();
  std::vector<QString> order;
  for (QObject* child : children) {
    if (child->isWidgetType()) order.push_back(child->objectName());
  }
  EXPECT_EQ(order, (std::vector<QString>{"splitView", "indexingCard", "previewOverlay", "feedbackOverlay"}));
}

TEST_F(ContentViewCompositionTest, TheViewsActionsReachTheWindowState) {
  ContentViewState& state = content->state();
  given.sidebarShowFolderImporter();
  EXPECT_TRUE(picker.openings.back().allowsMultipleSelection);
  picker.answer(std::nullopt);
  given.sidebarReauthorize("/p/x");
  EXPECT_FALSE(picker.openings.back().allowsMultipleSelection);
  picker.answer(std::nullopt);
  given.grid.reauthorizeFolder("/p/y");
  EXPECT_EQ(picker.openings.size(), 3U);
  picker.answer(std::nullopt);

  given.grid.showShortcutHelp();
  EXPECT_TRUE(state.isShortcutHelpPresented());

  // While the preview covers it, the split view is off and hidden from assistive technology.
  QAccessibleInterface* split = QAccessible::queryAccessibleInterface(content->splitView());
  ASSERT_NE(split, nullptr);
  const int children = split->childCount();
  const bool invisibleBefore = split->state().invisible;  // the window is not shown here
  EXPECT_GT(children, 0);
  given.grid.showQuickLook("file:///library/0.png");
  EXPECT_EQ(given.previewURLs, (std::vector<std::string>{"file:///library/0.png"}));
  EXPECT_EQ(given.gridQuickLook.back(), true);
  EXPECT_FALSE(content->splitView()->isEnabled());
  EXPECT_TRUE(split->state().invisible);
  EXPECT_EQ(split->childCount(), 0);
  EXPECT_EQ(split->child(0), nullptr);
  given.preview.dismiss();
  EXPECT_EQ(state.quickLookURL(), std::nullopt);
  EXPECT_EQ(given.gridQuickLook.back(), false);
  EXPECT_TRUE(content->splitView()->isEnabled());
  EXPECT_EQ(split->state().invisible, invisibleBefore);
  EXPECT_EQ(split->childCount(), children);

  store->presentation().setIsSlideshowPresented(true);
  given.slideshowClose();
  EXPECT_FALSE(store->presentation().isSlideshowPresented());

  given.inspectorToggled(false);
  EXPECT_FALSE(content->workspace().isInspectorPresented());
  EXPECT_EQ(given.togglePresented.back(), false);
}

TEST_F(ContentViewCompositionTest, TheUndoKeyIsInstalledOnTheWindowWhenItShows) {
  EXPECT_EQ(given.undoKey, nullptr);  // not before the window shows
  content->show();
  ui::testing::drainUiEvents();
  ASSERT_NE(given.undoKey, nullptr);
  EXPECT_EQ(given.undoKeyWindow, content->window());
  EXPECT_FALSE(given.undoKey());  // nothing to undo
}

TEST_F(ContentViewCompositionTest, ShowingTheWindowStartsOneLaunch) {
  int builds = 0;
  auto service = harness.service;
  lorvex::testing::StoreOptions options;
  options.needsLiveServicePreparation = true;
  options.liveServiceFactory = [&builds, service]() -> std::shared_ptr<ImageLibraryServicing> {
    ++builds;
    return service;
  };
  content.reset();
  store = harness.makeStore(options);
  content = std::make_unique<ContentView>(*store, ui::ViewResourceDisplay{},
                                          platform::Settings("composition", folder.path()), views, picker,
                                          localization);
  EXPECT_TRUE(content->indexingCardLayerForTest()->isVisibleTo(content.get()));
  content->show();
  content->hide();
  content->show();
  ui::testing::drainUiEvents();
  harness.drainEvents();
  ui::testing::drainUiEvents();
  EXPECT_EQ(builds, 1);
  EXPECT_FALSE(store->context().needsLiveServicePreparation());
  EXPECT_FALSE(content->indexingCardLayerForTest()->isVisible());
  EXPECT_TRUE(content->splitView()->isEnabled());
}

TEST_F(ContentViewCompositionTest,
       TheBannerLayerShowsWhileThereIsFeedbackAndTakesThePointerOnlyOverTheBanner) {
  content->show();
  EXPECT_FALSE(content->feedbackLayerForTest()->isVisible());
  ReviewModelTestAccess::setDeleteCandidateFeedback(store->review(), DeleteCandidateFeedback{});
  EXPECT_TRUE(content->feedbackLayerForTest()->isVisible());
  QWidget* banner = findByName(*content->feedbackLayerForTest(), "banner");
  ASSERT_NE(banner, nullptr);
  banner->setGeometry(300, 16, 400, 60);
  ui::testing::drainUiEvents();
  EXPECT_EQ(content->childAt(500, 40), banner);
  EXPECT_NE(content->childAt(500, 400), nullptr);
  EXPECT_FALSE(content->feedbackLayerForTest()->isAncestorOf(content->childAt(500, 400)));
  ReviewModelTestAccess::setDeleteCandidateFeedback(store->review(), std::nullopt);
  EXPECT_FALSE(content->feedbackLayerForTest()->isVisible());
}

}  // namespace
}  // namespace lorvex::app
