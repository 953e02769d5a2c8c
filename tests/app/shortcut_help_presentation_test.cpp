#include "app/shortcut_help_presentation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ui/common/localization_table.h"
#include "ui/results/echo_localization.h"

namespace lorvex::app {
namespace {

struct ExpectedItem {
  std::string_view section;
  std::string_view id;
  std::string_view shortcut;
  std::string_view actionKey;
};

// The whole reference as the user reads it, in display order.
const std::vector<ExpectedItem> kExpected = {
    {"global", "helpMenu", "Ctrl+/", "shortcutHelp.action.helpMenu"},
    {"global", "reviewUndoDeleteCandidate", "Ctrl+Z", "shortcutHelp.action.reviewUndoDeleteCandidate"},
    {"filtering", "filterMoveFocus", "Tab / Shift+Tab", "shortcutHelp.action.filterMoveFocus"},
    {"filtering", "filterToggleFocusedControl", "Space", "shortcutHelp.action.filterToggleFocusedControl"},
    {"filtering", "filterAddTypedTag", "Return", "shortcutHelp.action.filterAddTypedTag"},
    {"filtering", "filterClearModel", "Tab \u2192 \u00D7 \u2192 Space",
     "shortcutHelp.action.filterClearModel"},
    {"grid", "gridMoveSelection", "\u2191 / \u2193 / \u2190 / \u2192",
     "shortcutHelp.action.gridMoveSelection"},
    {"grid", "gridOpenPreview", "Space", "shortcutHelp.action.gridOpenPreview"},
    {"grid", "gridMarkDeleteCandidate", "Delete", "shortcutHelp.action.gridMarkDeleteCandidate"},
    {"grid", "gridSelectAll", "Ctrl+A", "shortcutHelp.action.gridSelectAll"},
    {"grid", "gridRangeSelection", "Shift+\u2191/\u2193/\u2190/\u2192 / Shift+Click",
     "shortcutHelp.action.gridRangeSelection"},
    {"grid", "gridToggleSelection", "Ctrl+Click", "shortcutHelp.action.gridToggleSelection"},
    {"quickLook", "quickLookPreviousNext", "\u2190 / \u2192", "shortcutHelp.action.quickLookPreviousNext"},
    {"quickLook", "quickLookClose", "Space / Esc", "shortcutHelp.action.quickLookClose"},
    {"review", "reviewToggleFavorite", "F", "shortcutHelp.action.reviewToggleFavorite"},
    {"review", "reviewToggleDeleteCandidate", "D", "shortcutHelp.action.reviewToggleDeleteCandidate"},
    {"review", "reviewUndoDeleteCandidate", "Ctrl+Z", "shortcutHelp.action.reviewUndoDeleteCandidate"},
    {"slideshow", "slideshowTogglePlayback", "Space", "shortcutHelp.action.slideshowTogglePlayback"},
    {"slideshow", "slideshowPreviousNext", "\u2190 / \u2192", "shortcutHelp.action.slideshowPreviousNext"},
    {"slideshow", "slideshowVisibleCount", "\u2191 / \u2193", "shortcutHelp.action.slideshowVisibleCount"},
    {"slideshow", "slideshowIntervalChange", "Alt+\u2191 / Alt+\u2193",
     "shortcutHelp.action.slideshowIntervalChange"},
    {"slideshow", "slideshowIntervalFocus", "Tab", "shortcutHelp.action.slideshowIntervalFocus"},
    {"slideshow", "slideshowToggleFavorite", "F", "shortcutHelp.action.reviewToggleFavorite"},
    {"slideshow", "slideshowToggleDeleteCandidate", "D", "shortcutHelp.action.reviewToggleDeleteCandidate"},
    {"slideshow", "slideshowUndoDeleteCandidate", "Ctrl+Z", "shortcutHelp.action.reviewUndoDeleteCandidate"},
    {"slideshow", "slideshowClose", "Esc", "shortcutHelp.action.slideshowClose"},
    {"deleteCandidateReview", "trashConfirm", "Return", "shortcutHelp.action.trashConfirm"},
    {"deleteCandidateReview", "trashCancel", "Esc", "shortcutHelp.action.trashCancel"},
};

TEST(ShortcutHelpPresentationTest, ListsEverySectionAndItemInOrderWithItsExactTexts) {
  const ShortcutHelpPresentation presentation =
      ShortcutHelpPresentation::make(ui::testing::echoLocalization());

  EXPECT_EQ(presentation.title, "shortcutHelp.title");
  EXPECT_EQ(presentation.menuTitle, "shortcutHelp.menuTitle");
  EXPECT_EQ(presentation.visibleButtonTitle, "shortcutHelp.buttonTitle");
  EXPECT_EQ(presentation.menuShortcutText, "Ctrl+/");

  std::vector<std::size_t> sizes;
  std::vector<ExpectedItem> actual;
  std::vector<std::string> titles;
  for (const auto& section : presentation.sections) {
    sizes.push_back(section.items.size());
    titles.push_back(section.title);
    EXPECT_EQ(section.title, "shortcutHelp.section." + section.id);
    for (const auto& item : section.items) {
      actual.push_back({section.id, rawValue(item.id), item.shortcutText, item.actionText});
    }
  }
  EXPECT_EQ(sizes, (std::vector<std::size_t>{2, 4, 6, 2, 3, 9, 2}));
  ASSERT_EQ(actual.size(), kExpected.size());
  for (std::size_t i = 0; i < kExpected.size(); ++i) {
    SCOPED_TRACE(std::string(kExpected[i].id));
    EXPECT_EQ(actual[i].section, kExpected[i].section);
    EXPECT_EQ(actual[i].id, kExpected[i].id);
    EXPECT_EQ(actual[i].shortcut, kExpected[i].shortcut);
    EXPECT_EQ(actual[i].actionKey, kExpected[i].actionKey);
  }
  // Keys of the platform's symbols are single code points, spaced with plain spaces.
  EXPECT_EQ(presentation.sections[0].items[0].shortcutText, presentation.menuShortcutText);
}

TEST(ShortcutHelpPresentationTest, EveryIdentifierAppearsAndOnlyTheUndoEntryTwice) {
  const ShortcutHelpPresentation presentation =
      ShortcutHelpPresentation::make(ui::testing::echoLocalization());
  std::map<ShortcutHelpItemID, std::vector<std::string>> sectionsOf;
  for (const auto& section : presentation.sections) {
    std::set<ShortcutHelpItemID> inSection;
    for (const auto& item : section.items) {
      EXPECT_TRUE(inSection.insert(item.id).second) << "repeated in " << section.id;
      sectionsOf[item.id].push_back(section.id);
    }
  }
  EXPECT_EQ(sectionsOf.size(), kShortcutHelpItemIDCount);
  for (const ShortcutHelpItemID id : allShortcutHelpItemIDs()) {
    if (id == ShortcutHelpItemID::reviewUndoDeleteCandidate) {
      EXPECT_EQ(sectionsOf[id], (std::vector<std::string>{"global", "review"}));
    } else {
      EXPECT_EQ(sectionsOf[id].size(), 1U) << rawValue(id);
    }
  }
}

// The raw values name the reference's rows for automation: one per case, none repeated.
TEST(ShortcutHelpPresentationTest, IdentifiersAreTheCaseNames) {
  std::set<std::string_view> names;
  for (const ShortcutHelpItemID id : allShortcutHelpItemIDs()) {
    EXPECT_TRUE(names.insert(rawValue(id)).second) << rawValue(id);
  }
  EXPECT_EQ(rawValue(ShortcutHelpItemID::trashCancel), "trashCancel");
  EXPECT_EQ(rawValue(ShortcutHelpItemID::helpMenu), "helpMenu");
}

TEST(ShortcutHelpPresentationTest, LayoutsDifferingInOneMeasureAreNotEqual) {
  ShortcutHelpSheetLayout other;
  EXPECT_EQ(other, ShortcutHelpSheetLayout{});
  other.keyBadgeMinimumWidth = 97;
  EXPECT_NE(other, ShortcutHelpSheetLayout{});
}

TEST(ShortcutHelpPresentationTest, BothLanguagesHaveATextForEveryTitle) {
  for (const std::string_view language : {ui::kEnglishLanguage, ui::kJapaneseLanguage}) {
    const auto localizer = ui::AppLocalization::overTable(ui::bundledLocalizationTable(language), ".");
    const ShortcutHelpPresentation presentation = ShortcutHelpPresentation::make(localizer);
    const auto echoed = ShortcutHelpPresentation::make(ui::testing::echoLocalization());
    EXPECT_NE(presentation.title, echoed.title) << language;
    EXPECT_NE(presentation.menuTitle, echoed.menuTitle) << language;
    for (std::size_t s = 0; s < presentation.sections.size(); ++s) {
      EXPECT_NE(presentation.sections[s].title, echoed.sections[s].title) << language;
      for (std::size_t i = 0; i < presentation.sections[s].items.size(); ++i) {
        EXPECT_NE(presentation.sections[s].items[i].actionText, echoed.sections[s].items[i].actionText)
            << language << " " << rawValue(presentation.sections[s].items[i].id);
      }
    }
  }
}

}  // namespace
}  // namespace lorvex::app
