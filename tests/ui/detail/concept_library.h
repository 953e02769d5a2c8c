// A tag-concept library behind the scripted service for the concept widget tests: the concept
// list, aliases and hand assignments change as the calls say, so a store's read-backs see them.
// Answers run on pool threads: the state is guarded.
#pragma once

#include <algorithm>
#include <any>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "store/support/scripted_image_library_service.h"

namespace lorvex::ui::testing {

class ConceptLibrary {
 public:
  ConceptLibrary(lorvex::testing::ScriptedImageLibraryService& service, std::vector<TagConcept> concepts)
      : state_(std::make_shared<State>()) {
    state_->concepts = std::move(concepts);
    auto state = state_;
    using Call = lorvex::testing::ServiceCall;
    service.setAnswer("searchTagConcepts", [state](const Call&) {
      std::lock_guard lock(state->mutex);
      return std::any(state->concepts);
    });
    service.setAnswer("createTagConcept", [state](const Call& call) {
      std::lock_guard lock(state->mutex);
      TagConcept created{state->nextID++, *call.text, 0};
      state->concepts.push_back(created);
      return std::any(created);
    });
    service.setAnswer("renameTagConcept", [state](const Call& call) {
      std::lock_guard lock(state->mutex);
      for (auto& concept_ : state->concepts) {
        if (concept_.id == call.number) {
          concept_.displayName = *call.text;
          return std::any(concept_);
        }
      }
      return std::any(TagConcept{call.number, *call.text, 0});
    });
    service.setAnswer("tagConceptAliases", [state](const Call& call) {
      std::lock_guard lock(state->mutex);
      std::vector<TagConceptAlias> aliases;
      for (const auto& alias : state->aliases) {
        if (alias.conceptID == call.number) aliases.push_back(alias);
      }
      return std::any(aliases);
    });
    service.setAnswer("addTagConceptAlias", [state](const Call& call) {
      std::lock_guard lock(state->mutex);
      state->aliases.push_back({call.number, *call.text});
      return std::any();
    });
    service.setAnswer("removeTagConceptAlias", [state](const Call& call) {
      std::lock_guard lock(state->mutex);
      std::erase(state->aliases, TagConceptAlias{call.number, *call.text});
      return std::any();
    });
    service.setAnswer("tagConceptImageAssignments", [state](const Call& call) {
      std::lock_guard lock(state->mutex);
      std::vector<TagConceptManualAssignment> found;
      for (const auto& assignment : state->assignments) {
        if (std::find(call.paths.begin(), call.paths.end(), assignment.imagePath) != call.paths.end()) {
          found.push_back(assignment);
        }
      }
      return std::any(found);
    });
    service.setAnswer("assignImagesToTagConcept", [state](const Call& call) {
      std::lock_guard lock(state->mutex);
      for (const auto& path : call.paths) {
        if (std::find(state->assignments.begin(), state->assignments.end(),
                      TagConceptManualAssignment{call.number, path}) == state->assignments.end()) {
          state->assignments.push_back({call.number, path});
        }
      }
      return std::any();
    });
    service.setAnswer("unassignImagesFromTagConcept", [state](const Call& call) {
      std::lock_guard lock(state->mutex);
      for (const auto& path : call.paths)
        std::erase(state->assignments, TagConceptManualAssignment{call.number, path});
      return std::any();
    });
  }

  std::vector<TagConceptManualAssignment> assignments() const {
    std::lock_guard lock(state_->mutex);
    return state_->assignments;
  }
  std::vector<TagConceptAlias> aliases() const {
    std::lock_guard lock(state_->mutex);
    return state_->aliases;
  }

 private:
  struct State {
    std::mutex mutex;
    std::vector<TagConcept> concepts;
    std::vector<TagConceptAlias> aliases;
    std::vector<TagConceptManualAssignment> assignments;
    std::int64_t nextID = 100;
  };
  std::shared_ptr<State> state_;
};

}  // namespace lorvex::ui::testing
