#include "ui/detail/tag_concept_management_rules.h"

#include "model/text/whitespace.h"

namespace lorvex::ui {

const TagConcept* selectedTagConcept(std::optional<std::int64_t> selectedID,
                                     const std::vector<TagConcept>& concepts) {
  if (!selectedID) return nullptr;
  for (const auto& concept_ : concepts) {
    if (concept_.id == *selectedID) return &concept_;
  }
  return nullptr;
}

std::optional<std::int64_t> keepValidTagConceptSelection(std::optional<std::int64_t> selectedID,
                                                         const std::vector<TagConcept>& concepts) {
  if (selectedTagConcept(selectedID, concepts)) return selectedID;
  if (concepts.empty()) return std::nullopt;
  return concepts.front().id;
}

std::string tagConceptRenameFieldText(std::optional<std::int64_t> selectedID,
                                      const std::vector<TagConcept>& concepts) {
  const TagConcept* selected = selectedTagConcept(selectedID, concepts);
  return selected ? selected->displayName : std::string();
}

TagConceptManagementControlStates tagConceptManagementControlStates(
    const TagConceptManagementInputs& inputs) {
  if (inputs.isMutationInProgress) return {};
  TagConceptManagementControlStates states;
  states.canCreate = text::normalizedWhitespace(inputs.createName).has_value();
  const auto rename = text::normalizedWhitespace(inputs.renameValue);
  states.canRename = rename && inputs.selectedConcept && *rename != inputs.selectedConcept->displayName;
  states.canAddAlias = text::normalizedWhitespace(inputs.aliasValue).has_value();
  states.canRemoveAlias = true;
  states.canChangeAssignment = true;
  return states;
}

}  // namespace lorvex::ui
