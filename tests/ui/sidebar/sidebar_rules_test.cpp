// The library menus' enable tables, the filter rows' values, the sidebar's confirmation requests
// and the popovers' focus return, without widgets.
#include <gtest/gtest.h>

#include "ui/common/accessibility_identifiers.h"
#include "ui/results/echo_localization.h"
#include "ui/sidebar/filter_row_presentation.h"
#include "ui/sidebar/filter_sidebar_requests.h"
#include "ui/sidebar/library_actions_menu_model.h"
#include "ui/sidebar/popover_focus_return.h"
#include "ui/sidebar/popover_placement.h"

namespace lorvex::ui {
namespace {

using State = RegisteredFolderAccessState;
using Entry = SidebarMenuEntry;

RegisteredFolderSummary folder(std::string path, State state) {
  return {path, path, state, 1, 0, std::nullopt, std::nullopt};
}

// "title:enabled" per action, "-" for a separator, "[title]" for a section title.
std::vector<std::string> describe(const std::vector<Entry>& entries) {
  std::vector<std::string> out;
  for (const Entry& e : entries) {
    if (e.kind == Entry::Kind::separator) {
      out.push_back("-");
    } else if (e.kind == Entry::Kind::sectionTitle) {
      out.push_back("[" + e.title + "]");
    } else {
      out.push_back(e.title + (e.isEnabled ? ":on" : ":off") + (e.isDestructive ? "!" : ""));
    }
  }
  return out;
}

TEST(LibraryHeaderMenuTest, EnableTable) {
  const auto localizer = testing::echoLocalization();
  const struct {
    const char* name;
    std::vector<RegisteredFolderSummary> folders;
    bool isLoading;
    bool isSyncing;
    std::vector<std::string> menu;
  } cases[] = {
      {"no folder",
       {},
       false,
       false,
       {"[library.sourceManagement]", "library.addFolder:on", "library.syncRegisteredFolders.action:off"}},
      {"one missing folder",
       {folder("/m", State::missing)},
       false,
       false,
       {"[library.sourceManagement]", "library.addFolder:on", "library.syncRegisteredFolders.action:off", "-",
        "common.openInFinder:off", "library.unregister.action:on!"}},
      {"one available folder",
       {folder("/a", State::available)},
       false,
       false,
       {"[library.sourceManagement]", "library.addFolder:on", "library.syncRegisteredFolders.action:on", "-",
        "common.openInFinder:on", "library.unregister.action:on!"}},
      {"two folders: no per-folder items",
       {folder("/a", State::available), folder("/b", State::accessDenied)},
       false,
       false,
       {"[library.sourceManagement]", "library.addFolder:on", "library.syncRegisteredFolders.action:on"}},
      {"sync running",
       {folder("/a", State::available)},
       false,
       true,
       {"[library.sourceManagement]", "library.addFolder:off", "library.syncRegisteredFolders.action:off",
        "-", "common.openInFinder:on", "library.unregister.action:off!"}},
      {"page loading: only sync off",
       {folder("/a", State::available)},
       true,
       false,
       {"[library.sourceManagement]", "library.addFolder:on", "library.syncRegisteredFolders.action:off", "-",
        "common.openInFinder:on", "library.unregister.action:on!"}},
  };
  for (const auto& c : cases) {
    const auto rules = LibraryActionRules::make(c.folders, c.isLoading, c.isSyncing);
    EXPECT_EQ(describe(makeLibraryHeaderMenu(rules, {}, localizer)), c.menu) << c.name;
  }
}

TEST(LibraryHeaderMenuTest, ItemsRunTheirOwnAction) {
  std::vector<std::string> calls;
  const LibraryHeaderMenuActions actions{[&] { calls.push_back("sync"); }, [&] { calls.push_back("import"); },
                                         [&] { calls.push_back("reveal"); },
                                         [&] { calls.push_back("unregister"); }};
  const auto menu =
      makeLibraryHeaderMenu(LibraryActionRules::make({folder("/a", State::available)}, false, false), actions,
                            testing::echoLocalization());
  for (const Entry& e : menu) {
    if (e.action) e.action();
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"import", "sync", "reveal", "unregister"}));
}

TEST(RegisteredFolderMenuTest, EnableTablePerState) {
  const auto localizer = testing::echoLocalization();
  const struct {
    State state;
    bool canSync;
    bool canModify;
    std::vector<std::string> menu;
  } cases[] = {
      {State::available,
       true,
       true,
       {"library.syncRegisteredFolder.action:on", "common.openInFinder:on", "library.allowAccess:off", "-",
        "library.unregister.action:on!"}},
      {State::missing,
       true,
       true,
       {"library.syncRegisteredFolder.action:off", "common.openInFinder:off", "library.allowAccess:off", "-",
        "library.unregister.action:on!"}},
      {State::accessDenied,
       true,
       true,
       {"library.syncRegisteredFolder.action:off", "common.openInFinder:off", "library.allowAccess:on", "-",
        "library.unregister.action:on!"}},
      {State::bookmarkInvalid,
       true,
       true,
       {"library.syncRegisteredFolder.action:off", "common.openInFinder:off", "library.allowAccess:on", "-",
        "library.unregister.action:on!"}},
      // A sync runs: sync and unregister off everywhere; open and grant access follow the state.
      {State::available,
       false,
       false,
       {"library.syncRegisteredFolder.action:off", "common.openInFinder:on", "library.allowAccess:off", "-",
        "library.unregister.action:off!"}},
      {State::bookmarkInvalid,
       false,
       false,
       {"library.syncRegisteredFolder.action:off", "common.openInFinder:off", "library.allowAccess:on", "-",
        "library.unregister.action:off!"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(
        describe(makeRegisteredFolderMenu(folder("/f", c.state), c.canSync, c.canModify, {}, localizer)),
        c.menu)
        << static_cast<int>(c.state);
  }
}

TEST(LibraryActionRulesTest, SyncNeedsAnAvailableFolderAndNoLoading) {
  EXPECT_FALSE(LibraryActionRules::make({}, false, false).canSyncRegisteredFolders);
  EXPECT_FALSE(LibraryActionRules::make({folder("/m", State::missing), folder("/d", State::accessDenied),
                                         folder("/b", State::bookmarkInvalid)},
                                        false, false)
                   .canSyncRegisteredFolders);
  EXPECT_TRUE(
      LibraryActionRules::make({folder("/m", State::missing), folder("/a", State::available)}, false, false)
          .canSyncRegisteredFolders);
  EXPECT_FALSE(
      LibraryActionRules::make({folder("/a", State::available)}, true, false).canSyncRegisteredFolders);
  EXPECT_EQ(LibraryActionRules::make({folder("/a", State::available)}, false, false).singleFolder->path,
            "/a");
  EXPECT_FALSE(
      LibraryActionRules::make({folder("/a", State::available), folder("/b", State::available)}, false, false)
          .singleFolder);
}

TEST(LibrarySectionToggleTest, ChevronAndLabelFollowTheFlag) {
  const auto localizer = testing::echoLocalization();
  EXPECT_EQ(LibrarySectionTogglePresentation::make(true, localizer),
            (LibrarySectionTogglePresentation{"chevron.down", "library.title", "library.collapse"}));
  EXPECT_EQ(LibrarySectionTogglePresentation::make(false, localizer),
            (LibrarySectionTogglePresentation{"chevron.right", "library.title", "library.expand"}));
}

TEST(FilterRowPresentationTest, SidebarRows) {
  const auto localizer = testing::echoLocalization();
  const auto selectedTag = savedFilterTagRow("blue sky 青空", true, localizer);
  EXPECT_EQ(selectedTag.identifier, "sidebar.filter.savedTag." + stableIdentifierHash("blue sky 青空"));
  EXPECT_EQ(selectedTag.mark, (FilterRowMark{"checkmark.circle.fill", true}));
  EXPECT_EQ(selectedTag.accessibleName, "filter.model.filterBy(blue sky 青空)");
  EXPECT_TRUE(selectedTag.isSelected);
  EXPECT_EQ(selectedTag.copyText, "blue sky 青空");
  const auto tag = savedFilterTagRow("Blue Sky 青空", false, localizer);
  EXPECT_NE(tag.identifier, selectedTag.identifier);  // letter case matters to the identifier
  EXPECT_EQ(tag.mark, (FilterRowMark{"circle", false}));
  EXPECT_FALSE(tag.isSelected);

  const struct {
    ImageAspectFilter aspect;
    bool selected;
    std::string identifier;
    std::string icon;
    std::string label;
  } aspects[] = {
      {ImageAspectFilter::portrait, true, "sidebar.filter.aspect.portrait", "rectangle.portrait",
       "filter.aspect.portrait"},
      {ImageAspectFilter::landscape, false, "sidebar.filter.aspect.landscape", "rectangle",
       "filter.aspect.landscape"},
      {ImageAspectFilter::square, false, "sidebar.filter.aspect.square", "square", "filter.aspect.square"},
  };
  for (const auto& a : aspects) {
    const auto row = aspectFilterRow(a.aspect, a.selected, localizer);
    EXPECT_EQ(row.identifier, a.identifier);
    EXPECT_EQ(row.iconSymbol, a.icon);
    EXPECT_EQ(row.text, a.label);
    EXPECT_EQ(row.accessibleName, "filter.model.filterBy(" + a.label + ")");
    EXPECT_EQ(row.isSelected, a.selected);
    EXPECT_EQ(row.mark.symbol, a.selected ? "checkmark.circle.fill" : "circle");
  }
}

TEST(FilterRowPresentationTest, SuggestionRows) {
  const auto localizer = testing::echoLocalization();
  const auto raw = tagSuggestionRow({TagSuggestion{"sky", 2}}, false, localizer);
  EXPECT_EQ(raw.mark, (FilterRowMark{"plus.circle", false}));
  EXPECT_EQ(raw.detailText, "tagSelection.kind.rawTag");
  EXPECT_EQ(raw.countText, "common.imageCount.other(#2)");
  EXPECT_EQ(raw.accessibleName, "filter.tag.addValueToFilter(sky)");
  EXPECT_TRUE(raw.identifier.empty());
  const auto concept_ = tagSuggestionRow({TagConcept{4, "Weather", 1}}, true, localizer);
  EXPECT_EQ(concept_.mark, (FilterRowMark{"checkmark.circle.fill", true}));
  EXPECT_EQ(concept_.text, "Weather");
  EXPECT_EQ(concept_.copyText, "Weather");
  EXPECT_EQ(concept_.detailText, "tagSelection.kind.concept");
  EXPECT_EQ(concept_.countText, "common.imageCount.one(#1)");
  EXPECT_EQ(concept_.accessibleName, "filter.tag.removeValueFromFilter(Weather)");
  EXPECT_EQ(imageCountText(0, localizer), "common.imageCount.other(#0)");

  const auto model = modelSuggestionRow({"nai-v4", 3}, false, localizer);
  EXPECT_EQ(model.mark, (FilterRowMark{"cpu", false}));
  EXPECT_EQ(model.accessibleName, "filter.model.filterBy(nai-v4)");
  EXPECT_FALSE(model.isSelected);  // the model popover shows selection only in its mark

  const struct {
    std::string value;
    std::optional<std::string> source;
    bool selected;
  } marks[] = {{" nai-v4 ", "nai-v4", true},
               {"nai-v4", "NAI-v4", false},
               {"  ", std::nullopt, false},
               {"nai-v4", std::nullopt, false},
               {"  ", "", false}};
  for (const auto& m : marks) {
    EXPECT_EQ(isModelSuggestionSelected({m.value, 1}, m.source), m.selected) << m.value;
  }
}

TEST(FilterRowPresentationTest, ModelFilterRowAndItsMenu) {
  const auto localizer = testing::echoLocalization();
  const auto unset = ModelFilterRowPresentation::make(std::nullopt, localizer);
  EXPECT_EQ(unset.mark, (FilterRowMark{"circle", false}));
  EXPECT_EQ(unset.text, "filter.model.all");
  EXPECT_TRUE(unset.isTextSecondary);
  EXPECT_TRUE(unset.showsChevron);
  EXPECT_FALSE(unset.showsClearButton);
  EXPECT_EQ(unset.helpText, "filter.model.choose");
  EXPECT_EQ(unset.accessibleName, "filter.model.all");
  EXPECT_FALSE(unset.isSelected);
  const auto set = ModelFilterRowPresentation::make("nai-v4", localizer);
  EXPECT_EQ(set.mark, (FilterRowMark{"checkmark.circle.fill", true}));
  EXPECT_EQ(set.text, "nai-v4");
  EXPECT_FALSE(set.showsChevron);
  EXPECT_TRUE(set.showsClearButton);
  EXPECT_EQ(set.helpText, "filter.model.change");
  EXPECT_EQ(set.accessibleName, "filter.model.filterBy(nai-v4)");
  EXPECT_TRUE(set.isSelected);

  std::vector<std::string> calls;
  const auto select = [&] { calls.push_back("select"); };
  const auto clear = [&] { calls.push_back("clear"); };
  EXPECT_EQ(describe(makeModelFilterRowMenu(std::nullopt, select, clear, localizer)),
            (std::vector<std::string>{"filter.model.choose:on"}));
  const auto menu = makeModelFilterRowMenu("nai-v4", select, clear, localizer);
  EXPECT_EQ(describe(menu), (std::vector<std::string>{"filter.model.change:on", "filter.model.clear:on!"}));
  menu[0].action();
  EXPECT_EQ(calls, (std::vector<std::string>{"select"}));

  const auto tagMenu =
      makeSavedFilterTagMenu([&] { calls.push_back("copy"); }, [&] { calls.push_back("remove"); }, localizer);
  EXPECT_EQ(describe(tagMenu),
            (std::vector<std::string>{"metadata.copyTag:on", "filter.tag.removeFromFilter:on!"}));
  tagMenu[1].action();
  EXPECT_EQ(calls.back(), "remove");
  EXPECT_EQ(calls.size(), 2u);  // remove runs its action only
}

class RequestsTest : public ::testing::Test {
 protected:
  bool syncing = false;
  std::vector<std::string> log;
  FilterSidebarRequests requests{
      FilterSidebarOperations{
          [this] { return syncing; },
          [this](const std::string& path) { log.push_back("unregister " + path + state()); },
          [this](const std::string& path) { log.push_back("sync " + path + state()); },
          [this] { log.push_back("sync all" + state()); },
          [this](const std::string& path) { log.push_back("reauthorize " + path + state()); },
      },
      [this] { log.push_back("changed" + state()); }};

  // What the requests hold at the moment of a call, to pin orders.
  std::string state() const {
    std::string s = " [";
    s += requests.unregisterConfirmationPath() ? "u" : "";
    s += requests.pendingRegisteredFolderSync() ? "s" : "";
    s += requests.isScanFailureDiagnosticsPresented() ? "f" : "";
    return s + "]";
  }
};

TEST_F(RequestsTest, UnregisterStartsBeforeThePathClearsAndNotDuringASync) {
  requests.requestUnregister("/a");
  requests.confirmUnregister();
  EXPECT_EQ(log, (std::vector<std::string>{"changed [u]", "unregister /a [u]", "changed []"}));

  log.clear();
  requests.requestUnregister("/b");
  syncing = true;  // a sync started while the dialog was up
  requests.confirmUnregister();
  EXPECT_EQ(log, (std::vector<std::string>{"changed [u]", "changed []"}));

  log.clear();
  requests.requestUnregister("/c");
  requests.dismissUnregister();
  requests.dismissUnregister();  // a second dismissal (the dialog's finished after its button) is silent
  EXPECT_EQ(log, (std::vector<std::string>{"changed [u]", "changed []"}));
}

TEST_F(RequestsTest, SingleFolderUnregisterIsIgnoredDuringASyncOrWithoutASingleFolder) {
  syncing = true;
  requests.requestUnregisterSingleFolder("/a");
  EXPECT_FALSE(requests.unregisterConfirmationPath());
  syncing = false;
  requests.requestUnregisterSingleFolder(std::nullopt);
  EXPECT_FALSE(requests.unregisterConfirmationPath());
  requests.requestUnregisterSingleFolder("/a");
  EXPECT_EQ(requests.unregisterConfirmationPath(), "/a");
}

TEST_F(RequestsTest, SyncClearsTheRequestBeforeItStarts) {
  requests.requestSync(RegisteredFolderSyncRequest::folder("/a"));
  requests.requestSync(RegisteredFolderSyncRequest::all());  // replaces the pending one
  requests.confirmPendingSync();
  requests.confirmPendingSync();  // nothing pending: nothing started
  EXPECT_EQ(log, (std::vector<std::string>{"changed [s]", "changed [s]", "changed []", "sync all []"}));

  log.clear();
  requests.requestSync(RegisteredFolderSyncRequest::folder("/a"));
  requests.dismissSync();
  requests.requestSync(RegisteredFolderSyncRequest::folder("/b"));
  requests.confirmPendingSync();
  EXPECT_EQ(log, (std::vector<std::string>{"changed [s]", "changed []", "changed [s]", "changed []",
                                           "sync /b []"}));
}

TEST_F(RequestsTest, ScanFailureSheetClosesBeforeItsActions) {
  requests.presentScanFailureDiagnostics();
  requests.requestReauthorizationFromScanFailure(std::nullopt);  // nothing, sheet stays
  EXPECT_TRUE(requests.isScanFailureDiagnosticsPresented());
  requests.requestReauthorizationFromScanFailure("/root");
  EXPECT_EQ(log, (std::vector<std::string>{"changed [f]", "changed []", "reauthorize /root []"}));

  log.clear();
  requests.presentScanFailureDiagnostics();
  requests.requestRescanFromScanFailure();
  EXPECT_EQ(log, (std::vector<std::string>{"changed [f]", "changed []", "changed [s]"}));
  EXPECT_EQ(requests.pendingRegisteredFolderSync(), RegisteredFolderSyncRequest::all());
}

TEST(ConfirmationDialogTextsTest, WordingAndDefaults) {
  const auto localizer = testing::echoLocalization();
  EXPECT_EQ(unregisterConfirmationTexts(localizer),
            (ConfirmationDialogTexts{"library.unregister.title", "library.unregister.message",
                                     "library.unregister.action", "common.cancel", true, false}));
  EXPECT_EQ(
      syncConfirmationTexts(RegisteredFolderSyncRequest::folder("/a"), localizer),
      (ConfirmationDialogTexts{"library.syncRegisteredFolder.title", "library.syncRegisteredFolder.message",
                               "library.syncRegisteredFolder.action", "common.cancel", false, true}));
  EXPECT_EQ(syncConfirmationTexts(RegisteredFolderSyncRequest::all(), localizer).title,
            "library.syncRegisteredFolders.title");
}

using Decision = PopoverFocusReturn::Decision;

TEST(PopoverFocusReturnTest, ClosingGivesTheFocusBackOnceTheContentHasGone) {
  PopoverFocusReturn tag;
  tag.controlOpened();
  EXPECT_EQ(tag.presentedChanged(true, {true, false}), Decision::none);
  tag.contentShown();
  // The flag drops first: the content is still up, so the request waits for it.
  EXPECT_EQ(tag.presentedChanged(false, {false, false}), Decision::none);
  EXPECT_TRUE(tag.isRestorationRequestedForTest());
  EXPECT_EQ(tag.contentHidden({false, false}), Decision::focusAfterYield);
  EXPECT_FALSE(tag.isRestorationRequestedForTest());
  EXPECT_TRUE(tag.shouldFocusAfterYield({false, false}));
  EXPECT_FALSE(tag.shouldFocusAfterYield({false, true}));  // the other popover opened within the yield
}

TEST(PopoverFocusReturnTest, OpeningTheModelPopoverOverTheTagPopover) {
  PopoverFocusReturn tag;
  PopoverFocusReturn model;
  tag.controlOpened();
  tag.presentedChanged(true, {true, false});
  tag.contentShown();
  // The model row's select: the model flag rises, the tag flag falls.
  model.controlOpened();
  EXPECT_EQ(model.presentedChanged(true, {true, false}), Decision::none);
  EXPECT_EQ(tag.presentedChanged(false, {false, true}), Decision::none);
  EXPECT_EQ(tag.contentHidden({false, true}), Decision::none);  // given up: the model popover has it
  EXPECT_FALSE(tag.isRestorationRequestedForTest());
  model.contentShown();
  // The model popover closes: the focus goes to the model row, never to the add-tag button.
  EXPECT_EQ(model.presentedChanged(false, {false, false}), Decision::none);
  EXPECT_EQ(model.contentHidden({false, false}), Decision::focusAfterYield);
  EXPECT_EQ(tag.restore({false, false}), Decision::none);
}

TEST(PopoverFocusReturnTest, RequestWaitsWhileTheOwnFlagIsSetAgain) {
  PopoverFocusReturn tag;
  tag.contentShown();
  tag.presentedChanged(false, {false, false});
  EXPECT_EQ(tag.contentHidden({true, false}), Decision::none);  // reopened before the content went
  EXPECT_TRUE(tag.isRestorationRequestedForTest());
  EXPECT_EQ(tag.restore({false, false}), Decision::focusAfterYield);
}

TEST(FilterPopoverPlacementTest, TrailingSideKeptOnTheScreen) {
  const QRect screen(0, 0, 1440, 900);
  const QSize size = kFilterPopoverSize;
  const struct {
    const char* name;
    QRect anchor;
    Qt::LayoutDirection direction;
    QPoint topLeft;
  } cases[] = {
      {"beside the control", QRect(200, 100, 20, 20), Qt::LeftToRight, QPoint(226, 100)},
      {"pushed up from the bottom", QRect(200, 800, 20, 20), Qt::LeftToRight, QPoint(226, 340)},
      {"no room on the trailing side: leading side", QRect(1200, 100, 20, 20), Qt::LeftToRight,
       QPoint(774, 100)},
      {"right to left: the trailing side is the left", QRect(800, 100, 20, 20), Qt::RightToLeft,
       QPoint(374, 100)},
      {"no room on either side: kept inside", QRect(300, 100, 900, 20), Qt::LeftToRight, QPoint(1020, 100)},
  };
  for (const auto& c : cases) {
    const QRect placed = filterPopoverGeometry(c.anchor, screen, size, c.direction);
    EXPECT_EQ(placed.topLeft(), c.topLeft) << c.name;
    EXPECT_EQ(placed.size(), size);
    EXPECT_TRUE(screen.contains(placed)) << c.name;
  }
}

}  // namespace
}  // namespace lorvex::ui
