#include "app/shortcut_help_presentation.h"

#include <array>

namespace lorvex::app {

namespace {

constexpr std::array<std::string_view, kShortcutHelpItemIDCount> kRawValues = {
#define LORVEX_SHORTCUT_RAW(name) #name,
    LORVEX_SHORTCUT_HELP_ITEM_IDS(LORVEX_SHORTCUT_RAW)
#undef LORVEX_SHORTCUT_RAW
};

constexpr std::array<ShortcutHelpItemID, kShortcutHelpItemIDCount> kAllIDs = {
#define LORVEX_SHORTCUT_VALUE(name) ShortcutHelpItemID::name,
    LORVEX_SHORTCUT_HELP_ITEM_IDS(LORVEX_SHORTCUT_VALUE)
#undef LORVEX_SHORTCUT_VALUE
};

struct ItemRow {
  ShortcutHelpItemID id;
  std::string_view shortcutText;
  std::string_view actionKey;
};

struct SectionRow {
  std::string_view id;
  std::span<const ItemRow> items;
};

using enum ShortcutHelpItemID;

// The undo entry stands in "global" and in "review"; the slideshow's review entries reuse the
// review entries' texts, so one action reads the same wherever it is listed.
constexpr ItemRow kGlobal[] = {
    {helpMenu, kShortcutHelpMenuShortcutText, "shortcutHelp.action.helpMenu"},
    {reviewUndoDeleteCandidate, "Ctrl+Z", "shortcutHelp.action.reviewUndoDeleteCandidate"},
};
constexpr ItemRow kFiltering[] = {
    {filterMoveFocus, "Tab / Shift+Tab", "shortcutHelp.action.filterMoveFocus"},
    {filterToggleFocusedControl, "Space", "shortcutHelp.action.filterToggleFocusedControl"},
    {filterAddTypedTag, "Return", "shortcutHelp.action.filterAddTypedTag"},
    {filterClearModel, "Tab \u2192 \u00D7 \u2192 Space", "shortcutHelp.action.filterClearModel"},
};
constexpr ItemRow kGrid[] = {
    {gridMoveSelection, "\u2191 / \u2193 / \u2190 / \u2192", "shortcutHelp.action.gridMoveSelection"},
    {gridOpenPreview, "Space", "shortcutHelp.action.gridOpenPreview"},
    {gridMarkDeleteCandidate, "Delete", "shortcutHelp.action.gridMarkDeleteCandidate"},
    {gridSelectAll, "Ctrl+A", "shortcutHelp.action.gridSelectAll"},
    {gridRangeSelection, "Shift+\u2191/\u2193/\u2190/\u2192 / Shift+Click",
     "shortcutHelp.action.gridRangeSelection"},
    {gridToggleSelection, "Ctrl+Click", "shortcutHelp.action.gridToggleSelection"},
};
constexpr ItemRow kQuickLook[] = {
    {quickLookPreviousNext, "\u2190 / \u2192", "shortcutHelp.action.quickLookPreviousNext"},
    {quickLookClose, "Space / Esc", "shortcutHelp.action.quickLookClose"},
};
constexpr ItemRow kReview[] = {
    {reviewToggleFavorite, "F", "shortcutHelp.action.reviewToggleFavorite"},
    {reviewToggleDeleteCandidate, "D", "shortcutHelp.action.reviewToggleDeleteCandidate"},
    {reviewUndoDeleteCandidate, "Ctrl+Z", "shortcutHelp.action.reviewUndoDeleteCandidate"},
};
constexpr ItemRow kSlideshow[] = {
    {slideshowTogglePlayback, "Space", "shortcutHelp.action.slideshowTogglePlayback"},
    {slideshowPreviousNext, "\u2190 / \u2192", "shortcutHelp.action.slideshowPreviousNext"},
    {slideshowVisibleCount, "\u2191 / \u2193", "shortcutHelp.action.slideshowVisibleCount"},
    {slideshowIntervalChange, "Alt+\u2191 / Alt+\u2193", "shortcutHelp.action.slideshowIntervalChange"},
    {slideshowIntervalFocus, "Tab", "shortcutHelp.action.slideshowIntervalFocus"},
    {slideshowToggleFavorite, "F", "shortcutHelp.action.reviewToggleFavorite"},
    {slideshowToggleDeleteCandidate, "D", "shortcutHelp.action.reviewToggleDeleteCandidate"},
    {slideshowUndoDeleteCandidate, "Ctrl+Z", "shortcutHelp.action.reviewUndoDeleteCandidate"},
    {slideshowClose, "Esc", "shortcutHelp.action.slideshowClose"},
};
constexpr ItemRow kDeleteCandidateReview[] = {
    {trashConfirm, "Return", "shortcutHelp.action.trashConfirm"},
    {trashCancel, "Esc", "shortcutHelp.action.trashCancel"},
};

constexpr SectionRow kSections[] = {
    {"global", kGlobal},
    {"filtering", kFiltering},
    {"grid", kGrid},
    {"quickLook", kQuickLook},
    {"review", kReview},
    {"slideshow", kSlideshow},
    {"deleteCandidateReview", kDeleteCandidateReview},
};

}  // namespace

std::string_view rawValue(ShortcutHelpItemID id) {
  return kRawValues[static_cast<std::size_t>(id)];
}

std::span<const ShortcutHelpItemID, kShortcutHelpItemIDCount> allShortcutHelpItemIDs() {
  return kAllIDs;
}

ShortcutHelpPresentation ShortcutHelpPresentation::make(const ui::AppLocalization& localizer) {
  ShortcutHelpPresentation presentation;
  presentation.title = localizer.lookup("shortcutHelp.title");
  presentation.menuTitle = localizer.lookup("shortcutHelp.menuTitle");
  presentation.visibleButtonTitle = localizer.lookup("shortcutHelp.buttonTitle");
  presentation.menuShortcutText = std::string(kShortcutHelpMenuShortcutText);
  presentation.sections.reserve(std::size(kSections));
  for (const SectionRow& row : kSections) {
    Section section;
    section.id = std::string(row.id);
    section.title = localizer.lookup("shortcutHelp.section." + section.id);
    section.items.reserve(row.items.size());
    for (const ItemRow& item : row.items) {
      section.items.push_back({item.id, std::string(item.shortcutText), localizer.lookup(item.actionKey)});
    }
    presentation.sections.push_back(std::move(section));
  }
  return presentation;
}

}  // namespace lorvex::app
