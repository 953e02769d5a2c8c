// Changing tag concepts: create, rename, aliases and hand assignments, each followed by a read-back
// of the concept state it can affect.
#include <algorithm>
#include <exception>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "model/text/unicode.h"
#include "model/text/whitespace.h"
#include "services/image_library_service.h"
#include "store/async/run_blocking.h"
#include "store/async/scope_exit.h"
#include "store/concepts/tag_concepts_model.h"

namespace lorvex {

TagConceptsModel::TagConceptMutationReadContext TagConceptsModel::makeTagConceptMutationReadContext(
    std::optional<std::int64_t> aliasConceptID,
    const std::optional<std::vector<std::string>>& assignmentPaths) {
  creatingThread_.check();
  TagConceptMutationReadContext context;
  context.conceptGeneration = ++tagConceptGeneration_;
  context.suggestions = dependents_.claimTagConceptSuggestions();
  if (aliasConceptID) context.aliasGeneration = advanceTagConceptAliasGeneration(*aliasConceptID);
  if (assignmentPaths) {
    context.assignmentGeneration = ++manualTagConceptAssignmentGeneration_;
    if (manualTagConceptAssignmentScopePaths_.empty()) {
      context.assignmentPaths = uniqueNonEmptyPaths(*assignmentPaths);
    } else {
      // A view's images are loaded as the scope: re-read all of them, not only the changed ones,
      // so the scope stays complete.
      std::vector<std::string> scope(manualTagConceptAssignmentScopePaths_.begin(),
                                     manualTagConceptAssignmentScopePaths_.end());
      std::sort(scope.begin(), scope.end());
      context.assignmentPaths = std::move(scope);
    }
  }
  return context;
}

QCoro::Task<void> TagConceptsModel::loadTagConceptMutationReadback(
    TagConceptMutationReadContext context, std::optional<std::int64_t> aliasConceptID) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  auto read = [service = context_.service(), context, aliasConceptID] {
    TagConceptMutationReadback readback;
    readback.concepts = service->searchTagConcepts(std::nullopt, kTagConceptListLimit);
    readback.suggestions = service->searchTagConcepts(context.suggestions.searchText, kTagConceptListLimit);
    if (aliasConceptID) readback.aliases = service->tagConceptAliases(*aliasConceptID);
    if (context.assignmentPaths)
      readback.assignments = service->tagConceptImageAssignments(*context.assignmentPaths);
    return readback;
  };
  const std::stop_token noStop;
  // Throws the first service error to the mutation; nothing is applied then.
  TagConceptMutationReadback readback = co_await runBlocking(context_.utilityPool(), noStop, read);

  // Each part is judged by its own generation: a newer list load does not stop the alias part.
  if (tagConceptGeneration_ == context.conceptGeneration) setTagConcepts(std::move(readback.concepts));
  dependents_.applyClaimedTagConceptSuggestions(context.suggestions, std::move(readback.suggestions));
  if (aliasConceptID && context.aliasGeneration && readback.aliases) {
    const auto current = tagConceptAliasGenerations_.find(*aliasConceptID);
    if (current != tagConceptAliasGenerations_.end() && current->second == *context.aliasGeneration) {
      auto byID = tagConceptAliasesByID_;
      byID[*aliasConceptID] = std::move(*readback.aliases);
      setTagConceptAliasesByID(std::move(byID));
    }
  }
  if (context.assignmentGeneration &&
      *context.assignmentGeneration == manualTagConceptAssignmentGeneration_ && context.assignmentPaths &&
      readback.assignments) {
    setManualTagConceptAssignmentScopePaths(
        PathSet(context.assignmentPaths->begin(), context.assignmentPaths->end()));
    setManualTagConceptAssignments(std::unordered_set<TagConceptManualAssignment>(
        readback.assignments->begin(), readback.assignments->end()));
  }
}

void TagConceptsModel::applyMutatedTagConcept(const TagConcept& concept_) {
  creatingThread_.check();

  // The order the service lists concepts in, so the new entry stands where a reload would put it.
  // Keys are built once per entry: the caseless key is not cheap.
  struct Keyed {
    std::string key;
    TagConcept value;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(tagConcepts_.size() + 1);
  for (const TagConcept& entry : tagConcepts_) {
    if (entry.id != concept_.id) keyed.push_back(Keyed{text::caselessKey(entry.displayName), entry});
  }
  keyed.push_back(Keyed{text::caselessKey(concept_.displayName), concept_});
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (a.value.imageCount != b.value.imageCount) return a.value.imageCount > b.value.imageCount;
    if (a.key != b.key) return a.key < b.key;
    return a.value.id < b.value.id;
  });
  std::vector<TagConcept> concepts;
  concepts.reserve(keyed.size());
  for (Keyed& entry : keyed) concepts.push_back(std::move(entry.value));
  setTagConcepts(std::move(concepts));

  Q_EMIT tagConceptStored(concept_);
}

QCoro::Task<TagConceptsModel::TagConceptMutationResult> TagConceptsModel::runTagConceptMutation(
    TagConceptMutationCall call, std::optional<std::int64_t> aliasConceptID,
    std::optional<std::vector<std::string>> assignmentPaths, AfterTagConceptReadback after) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  TagConceptMutationResult result;
  if (isTagConceptMutationInProgress_) co_return result;
  setIsTagConceptMutationInProgress(true);
  const ScopeExit lowerFlag(context_.scope().link(), [this] { setIsTagConceptMutationInProgress(false); });
  // Taken and dropped: its bumps make every concept load in flight drop its answer, which may
  // predate the change.
  (void)makeTagConceptMutationReadContext(aliasConceptID, assignmentPaths);

  auto mutate = [service = context_.service(), call = std::move(call)] { return call(*service); };
  const std::stop_token noStop;
  try {
    result.concept_ = co_await runBlocking(context_.userInitiatedPool(), noStop, mutate);
  } catch (...) {
    context_.setErrorMessage(std::current_exception());
    co_return result;
  }
  result.stored = true;
  // Written: a failure that stopped earlier work on the library no longer stands.
  context_.releaseWorkFailure();
  if (result.concept_) applyMutatedTagConcept(*result.concept_);

  // Taken after the change: a load started during the call may have read the library before it.
  const TagConceptMutationReadContext context =
      makeTagConceptMutationReadContext(aliasConceptID, assignmentPaths);
  std::exception_ptr failure;
  try {
    co_await loadTagConceptMutationReadback(context, aliasConceptID);
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) {
    // The change itself is stored; only its echo in the views failed.
    context_.setErrorMessage(failure);
    co_return result;
  }
  if (after == AfterTagConceptReadback::refreshResults) {
    co_await dependents_.refreshResultsAfterTagConceptChange();
  } else {
    context_.setErrorMessage(std::nullopt);
  }
  co_return result;
}

QCoro::Task<std::optional<TagConcept>> TagConceptsModel::storeTagConceptName(std::string displayName,
                                                                             TagConceptNaming naming) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  std::optional<std::string> name = text::normalizedWhitespace(displayName);
  if (!name) co_return std::nullopt;
  TagConceptMutationCall call = [name = std::move(*name),
                                 naming = std::move(naming)](ImageLibraryServicing& service) {
    return std::optional<TagConcept>(naming(service, name));
  };
  const std::optional<std::int64_t> noAlias;
  const std::optional<std::vector<std::string>> noPaths;
  const TagConceptMutationResult result =
      co_await runTagConceptMutation(call, noAlias, noPaths, AfterTagConceptReadback::clearErrorMessage);
  co_return result.concept_;
}

QCoro::Task<std::optional<TagConcept>> TagConceptsModel::createTagConcept(std::string displayName) {
  TagConceptNaming naming = [](ImageLibraryServicing& service, const std::string& name) {
    return service.createTagConcept(name);
  };
  return storeTagConceptName(std::move(displayName), std::move(naming));
}

QCoro::Task<std::optional<TagConcept>> TagConceptsModel::renameTagConcept(std::int64_t conceptID,
                                                                          std::string displayName) {
  TagConceptNaming naming = [conceptID](ImageLibraryServicing& service, const std::string& name) {
    return service.renameTagConcept(conceptID, name);
  };
  return storeTagConceptName(std::move(displayName), std::move(naming));
}

QCoro::Task<bool> TagConceptsModel::changeTagConceptAlias(std::int64_t conceptID, std::string tag,
                                                          bool adds) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  std::optional<std::string> normalized = text::normalizedWhitespace(tag);
  if (!normalized) co_return false;
  TagConceptMutationCall call = [conceptID, tag = std::move(*normalized),
                                 adds](ImageLibraryServicing& service) {
    if (adds) {
      service.addTagConceptAlias(conceptID, tag);
    } else {
      service.removeTagConceptAlias(conceptID, tag);
    }
    return std::optional<TagConcept>();
  };
  const std::optional<std::int64_t> alias = conceptID;
  const std::optional<std::vector<std::string>> noPaths;
  const TagConceptMutationResult result =
      co_await runTagConceptMutation(call, alias, noPaths, AfterTagConceptReadback::refreshResults);
  co_return result.stored;
}

QCoro::Task<bool> TagConceptsModel::addTagConceptAlias(std::int64_t conceptID, std::string tag) {
  return changeTagConceptAlias(conceptID, std::move(tag), true);
}

QCoro::Task<void> TagConceptsModel::removeTagConceptAlias(std::int64_t conceptID, std::string tag) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  const bool adds = false;
  co_await changeTagConceptAlias(conceptID, tag, adds);
}

QCoro::Task<void> TagConceptsModel::setManualTagConceptAssignment(std::int64_t conceptID,
                                                                  std::vector<std::string> imagePaths,
                                                                  bool assign) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  std::vector<std::string> paths = uniqueNonEmptyPaths(imagePaths);
  if (paths.empty()) co_return;
  TagConceptMutationCall call = [conceptID, paths, assign](ImageLibraryServicing& service) {
    if (assign) {
      service.assignImagesToTagConcept(conceptID, paths);
    } else {
      service.unassignImagesFromTagConcept(conceptID, paths);
    }
    return std::optional<TagConcept>();
  };
  const std::optional<std::int64_t> noAlias;
  const std::optional<std::vector<std::string>> changed = std::move(paths);
  co_await runTagConceptMutation(call, noAlias, changed, AfterTagConceptReadback::refreshResults);
}

}  // namespace lorvex
