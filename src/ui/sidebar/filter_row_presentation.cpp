#include "ui/sidebar/filter_row_presentation.h"

#include "model/raw_value.h"
#include "model/text/whitespace.h"
#include "ui/common/accessibility_identifiers.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;

constexpr std::string_view kSelectedMark = "checkmark.circle.fill";

FilterRowMark rowMark(bool isSelected, std::string_view unselectedSymbol) {
  return {std::string(isSelected ? kSelectedMark : unselectedSymbol), isSelected};
}

SidebarMenuEntry menuItem(std::string title, std::string symbol, std::function<void()> action,
                          bool destructive = false) {
  return {SidebarMenuEntry::Kind::action,
          std::move(title),
          std::move(symbol),
          true,
          destructive,
          std::move(action)};
}

}  // namespace

std::string imageCountText(std::int64_t count, const AppLocalization& localizer) {
  return localizer.lookup(pluralKey(count, Key::commonImageCountOne, Key::commonImageCountOther), {count});
}

std::string aspectSymbol(ImageAspectFilter aspect) {
  switch (aspect) {
    case ImageAspectFilter::portrait:
      return "rectangle.portrait";
    case ImageAspectFilter::landscape:
      return "rectangle";
    case ImageAspectFilter::square:
      return "square";
  }
  return "rectangle";
}

FilterRowPresentation savedFilterTagRow(const std::string& tag, bool isSelected,
                                        const AppLocalization& localizer) {
  FilterRowPresentation row;
  row.identifier = accessibility_id::savedFilterTagIdentifier(tag);
  row.mark = rowMark(isSelected, "circle");
  row.text = tag;
  row.accessibleName = localizer.lookup(Key::filterModelFilterBy, {tag});
  row.isSelected = isSelected;
  row.copyText = tag;
  return row;
}

FilterRowPresentation aspectFilterRow(ImageAspectFilter aspect, bool isSelected,
                                      const AppLocalization& localizer) {
  FilterRowPresentation row;
  row.identifier = std::string(accessibility_id::kSidebarFilterAspectPrefix) + std::string(rawValue(aspect));
  row.mark = rowMark(isSelected, "circle");
  row.iconSymbol = aspectSymbol(aspect);
  row.text = localizer.lookup(aspectFilterNameKey(aspect));
  row.accessibleName = localizer.lookup(Key::filterModelFilterBy, {row.text});
  row.isSelected = isSelected;
  return row;
}

FilterRowPresentation tagSuggestionRow(const TagFilterSuggestion& suggestion, bool isSelected,
                                       const AppLocalization& localizer) {
  FilterRowPresentation row;
  row.mark = rowMark(isSelected, "plus.circle");
  row.text = suggestion.label();
  row.detailText = localizer.lookup(suggestion.isTagConcept() ? Key::tagSelectionKindConcept
                                                              : Key::tagSelectionKindRawTag);
  row.countText = imageCountText(suggestion.imageCount(), localizer);
  row.accessibleName = localizer.lookup(
      isSelected ? Key::filterTagRemoveValueFromFilter : Key::filterTagAddValueToFilter, {row.text});
  row.copyText = row.text;
  return row;
}

bool isModelSuggestionSelected(const ModelSuggestion& suggestion,
                               const std::optional<std::string>& selectedModelSource) {
  const std::optional<std::string> trimmed = text::trimmedNonEmpty(suggestion.value);
  return trimmed && selectedModelSource && *trimmed == *selectedModelSource;
}

FilterRowPresentation modelSuggestionRow(const ModelSuggestion& suggestion, bool isSelected,
                                         const AppLocalization& localizer) {
  FilterRowPresentation row;
  row.mark = rowMark(isSelected, "cpu");
  row.text = suggestion.value;
  row.countText = imageCountText(suggestion.imageCount, localizer);
  row.accessibleName = localizer.lookup(Key::filterModelFilterBy, {suggestion.value});
  return row;
}

ModelFilterRowPresentation ModelFilterRowPresentation::make(const std::optional<std::string>& source,
                                                            const AppLocalization& localizer) {
  ModelFilterRowPresentation row;
  const bool set = source.has_value();
  row.mark = rowMark(set, "circle");
  row.text = set ? *source : localizer.lookup(Key::filterModelAll);
  row.isTextSecondary = !set;
  row.showsChevron = !set;
  row.showsClearButton = set;
  row.helpText = localizer.lookup(set ? Key::filterModelChange : Key::filterModelChoose);
  row.accessibleName = set ? localizer.lookup(Key::filterModelFilterBy, {*source}) : row.text;
  row.isSelected = set;
  row.clearHelpText = localizer.lookup(Key::filterModelClear);
  return row;
}

std::vector<SidebarMenuEntry> makeModelFilterRowMenu(const std::optional<std::string>& source,
                                                     std::function<void()> selectAction,
                                                     std::function<void()> clearAction,
                                                     const AppLocalization& localizer) {
  std::vector<SidebarMenuEntry> entries;
  entries.push_back(menuItem(localizer.lookup(source ? Key::filterModelChange : Key::filterModelChoose),
                             "cpu", std::move(selectAction)));
  if (source) {
    entries.push_back(
        menuItem(localizer.lookup(Key::filterModelClear), "xmark.circle", std::move(clearAction), true));
  }
  return entries;
}

std::vector<SidebarMenuEntry> makeSavedFilterTagMenu(std::function<void()> copyAction,
                                                     std::function<void()> removeAction,
                                                     const AppLocalization& localizer) {
  return {menuItem(localizer.lookup(Key::metadataCopyTag), "doc.on.doc", std::move(copyAction)),
          menuItem(localizer.lookup(Key::filterTagRemoveFromFilter), "trash", std::move(removeAction), true)};
}

}  // namespace lorvex::ui
