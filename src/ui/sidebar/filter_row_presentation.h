// What each filter row draws and says: the saved-tag rows and aspect rows of the sidebar, the
// model filter row, and the suggestion rows of the two popovers. Every row leads with a mark (a
// filled check in the accent colour when selected, a secondary symbol otherwise), may carry an
// icon, shows its text on one line (elided in the middle by the widget) and, in the popovers, an
// image count. The selection shows in the mark and, for the sidebar rows, in the accessible
// "selected" state; a click never moves the mark itself, only the store's change does.
//
// Thread safety: pure values and functions, callable from any thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/image_aspect.h"
#include "model/tag_suggestion.h"
#include "ui/common/app_localization.h"
#include "ui/sidebar/library_actions_menu_model.h"

namespace lorvex::ui {

struct FilterRowMark {
  std::string symbol;
  bool isAccent = false;  // accent colour; secondary otherwise
  friend bool operator==(const FilterRowMark&, const FilterRowMark&) = default;
};

struct FilterRowPresentation {
  std::string identifier;  // objectName; empty for rows automation does not find
  FilterRowMark mark;
  std::string iconSymbol;  // empty: no icon
  std::string text;
  bool isTextSecondary = false;
  std::optional<std::string> detailText;  // a second, smaller line (a suggestion's kind)
  std::optional<std::string> countText;   // trailing, fixed-width digits
  std::string trailingSymbol;  // a small symbol at the trailing edge (the model row's "›"); empty: none
  std::string accessibleName;
  bool isSelected = false;  // the accessible selected state
  std::string copyText;     // what the copy item puts on the clipboard; empty: no copy

  friend bool operator==(const FilterRowPresentation&, const FilterRowPresentation&) = default;
};

// A saved filter tag in the sidebar: identifier "sidebar.filter.savedTag." + hash of the tag.
FilterRowPresentation savedFilterTagRow(const std::string& tag, bool isSelected,
                                        const AppLocalization& localizer);

// An aspect row: identifier "sidebar.filter.aspect." + raw value, the aspect's icon.
FilterRowPresentation aspectFilterRow(ImageAspectFilter aspect, bool isSelected,
                                      const AppLocalization& localizer);
std::string aspectSymbol(ImageAspectFilter aspect);

// A row of the tag popover: a raw tag or a concept, its kind as the detail line.
FilterRowPresentation tagSuggestionRow(const TagFilterSuggestion& suggestion, bool isSelected,
                                       const AppLocalization& localizer);

// A row of the model popover; selected when the value, trimmed, is not empty and equals the
// selected model source exactly (case-sensitive).
bool isModelSuggestionSelected(const ModelSuggestion& suggestion,
                               const std::optional<std::string>& selectedModelSource);
FilterRowPresentation modelSuggestionRow(const ModelSuggestion& suggestion, bool isSelected,
                                         const AppLocalization& localizer);

// "common.imageCount.one" for exactly 1, ".other" otherwise.
std::string imageCountText(std::int64_t count, const AppLocalization& localizer);

// The model filter row: set when a model filters the results.
struct ModelFilterRowPresentation {
  FilterRowMark mark;
  std::string text;
  bool isTextSecondary = false;
  bool showsChevron = false;      // unset only
  bool showsClearButton = false;  // set only
  std::string helpText;           // tooltip and accessible description
  std::string accessibleName;
  bool isSelected = false;
  std::string clearHelpText;  // the clear button's tooltip and accessible name

  static ModelFilterRowPresentation make(const std::optional<std::string>& source,
                                         const AppLocalization& localizer);
  friend bool operator==(const ModelFilterRowPresentation&, const ModelFilterRowPresentation&) = default;
};

// The model row's context menu (the same on its select and clear buttons): choose / change, and
// while set a destructive clear.
std::vector<SidebarMenuEntry> makeModelFilterRowMenu(const std::optional<std::string>& source,
                                                     std::function<void()> selectAction,
                                                     std::function<void()> clearAction,
                                                     const AppLocalization& localizer);

// A saved-tag row's context menu: copy the whole tag, then the destructive remove.
std::vector<SidebarMenuEntry> makeSavedFilterTagMenu(std::function<void()> copyAction,
                                                     std::function<void()> removeAction,
                                                     const AppLocalization& localizer);

}  // namespace lorvex::ui
