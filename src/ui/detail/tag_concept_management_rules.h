// The tag-concept management panel's rules, without widgets: which concept stays selected when the
// store's concept list changes, what the rename field shows, which mutation controls may act, and
// the identity of the panel's keyed load (aliases of the selected concept and assignments of the
// panel's images), which restarts whenever that identity changes.
//
// Thread safety: pure values and functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/tag_concept.h"

namespace lorvex::ui {

// The keyed load of the panel: equal when both ids are absent or both present and equal, and the
// paths are equal in order.
struct TagConceptAssignmentLoadID {
  std::optional<std::int64_t> conceptID;
  std::vector<std::string> imagePaths;

  friend bool operator==(const TagConceptAssignmentLoadID&, const TagConceptAssignmentLoadID&) = default;
};

// The first concept with this id; null when the id is absent or no concept has it. Points into
// `concepts`.
const TagConcept* selectedTagConcept(std::optional<std::int64_t> selectedID,
                                     const std::vector<TagConcept>& concepts);

// Keep-valid: the selection stays while the list holds it; otherwise the first concept, or none
// for an empty list.
std::optional<std::int64_t> keepValidTagConceptSelection(std::optional<std::int64_t> selectedID,
                                                         const std::vector<TagConcept>& concepts);

// Rename-field sync: the selected concept's name, or empty.
std::string tagConceptRenameFieldText(std::optional<std::int64_t> selectedID,
                                      const std::vector<TagConcept>& concepts);

// What the panel's mutation controls may do now. Every one is off while a mutation runs; the
// picker is never gated.
struct TagConceptManagementControlStates {
  bool canCreate = false;
  bool canRename = false;
  bool canAddAlias = false;
  bool canRemoveAlias = false;
  bool canChangeAssignment = false;

  friend bool operator==(const TagConceptManagementControlStates&,
                         const TagConceptManagementControlStates&) = default;
};

struct TagConceptManagementInputs {
  bool isMutationInProgress = false;
  std::string_view createName;
  std::string_view renameValue;
  std::string_view aliasValue;
  const TagConcept* selectedConcept = nullptr;
};

// Create: a name that is not blank. Rename: a name that is not blank and, normalised, differs from
// the selected concept's name (letter case counting). Add alias: a text that is not blank.
TagConceptManagementControlStates tagConceptManagementControlStates(const TagConceptManagementInputs& inputs);

}  // namespace lorvex::ui

// Presence (0, or 1 then the id), the number of paths, then each path in order.
template <>
struct std::hash<lorvex::ui::TagConceptAssignmentLoadID> {
  std::size_t operator()(const lorvex::ui::TagConceptAssignmentLoadID& id) const noexcept {
    std::size_t seed = lorvex::hashCombine(0, id.conceptID ? 1 : 0);
    if (id.conceptID) seed = lorvex::hashCombine(seed, *id.conceptID);
    seed = lorvex::hashCombine(seed, id.imagePaths.size());
    for (const auto& path : id.imagePaths) seed = lorvex::hashCombine(seed, path);
    return seed;
  }
};
