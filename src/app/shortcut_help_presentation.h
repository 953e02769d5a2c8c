// The keyboard and mouse reference of the main window: every text the shortcut help sheet, its
// Help-menu item and the results header's help button show. Built by a pure function from a
// localizer; the shortcut texts are fixed key names of this platform (Ctrl, Shift, Alt) and are
// never localized, the titles and action texts are.
//
// Thread safety: values and pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/enum_cases.h"
#include "ui/common/app_localization.h"

namespace lorvex::app {

// clang-format off
#define LORVEX_SHORTCUT_HELP_ITEM_IDS(X)                                                                    \
  X(helpMenu) X(filterMoveFocus) X(filterToggleFocusedControl) X(filterAddTypedTag) X(filterClearModel)      \
  X(gridMoveSelection) X(gridOpenPreview) X(gridMarkDeleteCandidate) X(gridSelectAll) X(gridRangeSelection)  \
  X(gridToggleSelection) X(quickLookPreviousNext) X(quickLookClose) X(reviewToggleFavorite)                  \
  X(reviewToggleDeleteCandidate) X(reviewUndoDeleteCandidate) X(slideshowTogglePlayback)                     \
  X(slideshowPreviousNext) X(slideshowVisibleCount) X(slideshowIntervalChange) X(slideshowIntervalFocus)     \
  X(slideshowToggleFavorite) X(slideshowToggleDeleteCandidate) X(slideshowUndoDeleteCandidate)               \
  X(slideshowClose) X(trashConfirm) X(trashCancel)
// clang-format on

// One entry of the reference; its raw value is the case name.
enum class ShortcutHelpItemID {
#define LORVEX_SHORTCUT_CASE(name) name,
  LORVEX_SHORTCUT_HELP_ITEM_IDS(LORVEX_SHORTCUT_CASE)
#undef LORVEX_SHORTCUT_CASE
};

inline constexpr std::size_t kShortcutHelpItemIDCount = enumCaseCount<ShortcutHelpItemID>();

std::string_view rawValue(ShortcutHelpItemID id);
// Every case in declaration order.
std::span<const ShortcutHelpItemID, kShortcutHelpItemIDCount> allShortcutHelpItemIDs();

// The shortcut of the Help-menu item, as the menu and the reference write it.
inline constexpr std::string_view kShortcutHelpMenuShortcutText = "Ctrl+/";

struct ShortcutHelpPresentation {
  struct Item {
    ShortcutHelpItemID id = ShortcutHelpItemID::helpMenu;
    std::string shortcutText;  // fixed, never localized
    std::string actionText;    // localized
    friend bool operator==(const Item&, const Item&) = default;
  };
  struct Section {
    std::string id;  // "global", "filtering", ...
    std::string title;
    std::vector<Item> items;
    friend bool operator==(const Section&, const Section&) = default;
  };

  std::string title;               // the sheet's title
  std::string menuTitle;           // the Help-menu item
  std::string visibleButtonTitle;  // the results header's button
  std::string menuShortcutText;    // always kShortcutHelpMenuShortcutText
  std::vector<Section> sections;   // seven, in display order

  // Every key looked up without arguments.
  static ShortcutHelpPresentation make(const ui::AppLocalization& localizer);

  friend bool operator==(const ShortcutHelpPresentation&, const ShortcutHelpPresentation&) = default;
};

// The sheet's measures, in device-independent pixels.
struct ShortcutHelpSheetLayout {
  double minimumWidth = 560;
  double idealWidth = 620;
  double minimumHeight = 520;
  double idealHeight = 640;
  double headerHorizontalPadding = 20;
  double headerVerticalPadding = 16;
  double contentHorizontalPadding = 20;
  double contentVerticalPadding = 20;
  double sectionSpacing = 18;
  double sectionTitleSpacing = 8;
  double keyActionSpacing = 14;
  double itemVerticalSpacing = 8;
  double keyBadgeMinimumWidth = 96;

  friend bool operator==(const ShortcutHelpSheetLayout&, const ShortcutHelpSheetLayout&) = default;
};

}  // namespace lorvex::app
