// Changing tag concepts: create, rename, aliases and hand assignments, each followed by a read-back
// of the concept state it can affect.
#include <algorithm>
#include <exception>
#include <iterator>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "model/text/unicode.h"
#include "model/text/whitespace.h"
#include "services/image_library_service.h"
#include "services/indexing/scan_error_message.h"
#include "store/async/run_blocking.h"
#include "store/image_library_store.h"

namespace lorvex {

ImageLibraryStore::TagConceptMutationReadContext ImageLibraryStore::makeTagConceptMutationReadContext(
    std::optional<std::int64_t> aliasConceptID, const std::optional<std::vector<std::string>>& assignmentPaths) {
  creatingThread_.check();
  TagConceptMutationReadContext context;
  setTagConceptGeneration(tagConceptGeneration_ + 1);
  setTagSuggestionGeneration(tagSuggestionGeneration_ + 1);
  setIsTagSuggestionLoading(false);
  if (aliasConceptID) context.aliasGeneration = advanceTagConceptAliasGeneration(*aliasConceptID);
  if (assignmentPaths) {
    setManualTagConceptAssignmentGeneration(manualTagConceptAssignmentGeneration_ + 1);
    context.assignmentGeneration = manualTagConceptAssignmentGeneration_;
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
  context.conceptGeneration = tagConceptGeneration_;
  context.suggestionGeneration = tagSuggestionGeneration_;
  context.suggestionSearchText = activeTagSuggestionSearchText_;
  return context;
}

QCoro::Task<void> ImageLibraryStore::loadTagConceptMutationReadback(TagConceptMutationReadContext context,
                                                                    std::optional<std::int64_t> aliasConceptID) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  auto read = [service = service_, context, aliasConceptID] {
    TagConceptMutationReadback readback;
    readback.concepts = service->searchTagConcepts(std::nullopt, kTagConceptListLimit);
    readback.suggestions = service->searchTagConcepts(context.suggestionSearchText, kTagConceptListLimit);
    if (aliasConceptID) readback.aliases = service->tagConceptAliases(*aliasConceptID);
    if (context.assignmentPaths) readback.assignments = service->tagConceptImageAssignments(*context.assignmentPaths);
    return readback;
  };
  const std::stop_token noStop;
  // Throws the first service error to the mutation; nothing is applied then.
  TagConceptMutationReadback readback = co_await runBlocking(*utilityPool_, noStop, read);

  // Each part is judged by its own generation: a newer list load does not stop the alias part.
  if (tagConceptGeneration_ == context.conceptGeneration) setTagConcepts(std::move(readback.concepts));
  if (tagSuggestionGeneration_ == context.suggestionGeneration) {
    setTagConceptSuggestions(std::move(readback.suggestions));
    setIsTagSuggestionLoading(false);
  }
  if (aliasConceptID && context.aliasGeneration && readback.aliases) {
    const auto current = tagConceptAliasGenerations_.find(*aliasConceptID);
    if (current != tagConceptAliasGenerations_.end() && current->second == *context.aliasGeneration) {
      auto byID = tagConceptAliasesByID_;
      byID[*aliasConceptID] = std::move(*readback.aliases);
      setTagConceptAliasesByID(std::move(byID));
    }
  }
  if (context.assignmentGeneration && *context.assignmentGeneration == manualTagConceptAssignmentGeneration_ &&
      context.assignmentPaths && readback.assignments) {
    setManualTagConceptAssignmentScopePaths(PathSet(context.assignmentPaths->begin(), context.assignmentPaths->end()));
    setManualTagConceptAssignments(std::unordered_set<TagConceptManualAssignment>(readback.assignments->begin(),
                                                                                  readback.assignments->end()));
  }
}

void ImageLibraryStore::applyMutatedTagConcept(const TagConcept& concept_) {
  creatingThread_.check();
  const auto replaced = [&](const std::vector<TagConcept>& list) {
    std::vector<TagConcept> result;
    result.reserve(list.size() + 1);
    std::copy_if(list.begin(), list.end(), std::back_inserter(result),
                 [&](const TagConcept& entry) { return entry.id != concept_.id; });
    result.push_back(concept_);
    return result;
  };

  // The order the service lists concepts in, so the new entry stands where a reload would put it.
  // Keys are built once per entry: the caseless key is not cheap.
  struct Keyed {
    std::string key;
    TagConcept value;
  };
  std::vector<Keyed> keyed;
  for (TagConcept& entry : replaced(tagConcepts_)) {
    std::string key = text::caselessKey(entry.displayName);
    keyed.push_back(Keyed{std::move(key), std::move(entry)});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (a.value.imageCount != b.value.imageCount) return a.value.imageCount > b.value.imageCount;
    if (a.key != b.key) return a.key < b.key;
    return a.value.id < b.value.id;
  });
  std::vector<TagConcept> concepts;
  concepts.reserve(keyed.size());
  for (Keyed& entry : keyed) concepts.push_back(std::move(entry.value));
  setTagConcepts(std::move(concepts));

  const bool selected = std::any_of(selectedTagConcepts_.begin(), selectedTagConcepts_.end(),
                                    [&](const TagConcept& entry) { return entry.id == concept_.id; });
  if (!selected) return;
  // The chip shows the new name; the filter itself is unchanged, so no search.
  std::vector<TagConcept> selection = replaced(selectedTagConcepts_);
  std::stable_sort(selection.begin(), selection.end(),
                   [](const TagConcept& a, const TagConcept& b) { return a.id < b.id; });
  setSelectedTagConcepts(std::move(selection));
}

QCoro::Task<ImageLibraryStore::TagConceptMutationResult> ImageLibraryStore::runTagConceptMutation(
    TagConceptMutationCall call, std::optional<std::int64_t> aliasConceptID,
    std::optional<std::vector<std::string>> assignmentPaths, AfterTagConceptReadback after) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  TagConceptMutationResult result;
  if (isTagConceptMutationInProgress_) co_return result;
  setIsTagConceptMutationInProgress(true);
  const ScopeExit lowerFlag(scope_.link(), [this] { setIsTagConceptMutationInProgress(false); });
  // Taken and dropped: its bumps make every concept load in flight drop its answer, which may
  // predate the change.
  (void)makeTagConceptMutationReadContext(aliasConceptID, assignmentPaths);

  auto mutate = [service = service_, call = std::move(call)] { return call(*service); };
  const std::stop_token noStop;
  try {
    result.concept_ = co_await runBlocking(*userInitiatedPool_, noStop, mutate);
  } catch (...) {
    setErrorMessage(std::current_exception());
    co_return result;
  }
  result.stored = true;
  if (result.concept_) applyMutatedTagConcept(*result.concept_);

  // Taken after the change: a load started during the call may have read the library before it.
  const TagConceptMutationReadContext context = makeTagConceptMutationReadContext(aliasConceptID, assignmentPaths);
  std::exception_ptr failure;
  try {
    co_await loadTagConceptMutationReadback(context, aliasConceptID);
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) {
    // The change itself is stored; only its echo in the views failed.
    setErrorMessage(failure);
    co_return result;
  }
  if (after == AfterTagConceptReadback::refreshResults) {
    co_await refreshResults(kFirstPageLimit, true);
  } else {
    setErrorMessage(std::nullopt);
  }
  co_return result;
}

QCoro::Task<std::optional<TagConcept>> ImageLibraryStore::storeTagConceptName(std::string displayName,
                                                                              TagConceptNaming naming) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  std::optional<std::string> name = text::normalizedWhitespace(displayName);
  if (!name) co_return std::nullopt;
  TagConceptMutationCall call = [name = std::move(*name), naming = std::move(naming)](ImageLibraryServicing& service) {
    return std::optional<TagConcept>(naming(service, name));
  };
  const std::optional<std::int64_t> noAlias;
  const std::optional<std::vector<std::string>> noPaths;
  const TagConceptMutationResult result =
      co_await runTagConceptMutation(call, noAlias, noPaths, AfterTagConceptReadback::clearErrorMessage);
  co_return result.concept_;
}

QCoro::Task<std::optional<TagConcept>> ImageLibraryStore::createTagConcept(std::string displayName) {
  TagConceptNaming naming = [](ImageLibraryServicing& service, const std::string& name) {
    return service.createTagConcept(name);
  };
  return storeTagConceptName(std::move(displayName), std::move(naming));
}

QCoro::Task<std::optional<TagConcept>> ImageLibraryStore::renameTagConcept(std::int64_t conceptID,
                                                                           std::string displayName) {
  TagConceptNaming naming = [conceptID](ImageLibraryServicing& service, const std::string& name) {
    return service.renameTagConcept(conceptID, name);
  };
  return storeTagConceptName(std::move(displayName), std::move(naming));
}

QCoro::Task<bool> ImageLibraryStore::changeTagConceptAlias(std::int64_t conceptID, std::string tag, bool adds) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  std::optional<std::string> normalized = text::normalizedWhitespace(tag);
  if (!normalized) co_return false;
  TagConceptMutationCall call = [conceptID, tag = std::move(*normalized), adds](ImageLibraryServicing& service) {
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

QCoro::Task<bool> ImageLibraryStore::addTagConceptAlias(std::int64_t conceptID, std::string tag) {
  return changeTagConceptAlias(conceptID, std::move(tag), true);
}

QCoro::Task<void> ImageLibraryStore::removeTagConceptAlias(std::int64_t conceptID, std::string tag) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  const bool adds = false;
  co_await changeTagConceptAlias(conceptID, tag, adds);
}

QCoro::Task<void> ImageLibraryStore::setManualTagConceptAssignment(std::int64_t conceptID,
                                                                   std::vector<std::string> imagePaths, bool assign) {
  auto frame = co_await scope_.enter();
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
