// Tag-concept state the concept views load: the concept list, one concept's aliases, and the hand
// assignments of the images a view shows, with the count read from them.
#include <algorithm>
#include <exception>
#include <stop_token>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "services/image_library_service.h"
#include "services/indexing/scan_error_message.h"
#include "store/async/run_blocking.h"
#include "store/image_library_store.h"

namespace lorvex {

QCoro::Task<void> ImageLibraryStore::loadTagConcepts() {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  const int generation = tagConceptGeneration_ + 1;
  setTagConceptGeneration(generation);
  if (!featureAvailability_.isTagConceptEnabled) {
    setTagConcepts({});
    co_return;
  }
  auto load = [service = service_] { return service->searchTagConcepts(std::nullopt, kTagConceptListLimit); };
  // A superseded load is never stopped: it runs out and its outcome is dropped below.
  const std::stop_token noStop;
  std::vector<TagConcept> concepts;
  std::exception_ptr failure;
  try {
    concepts = co_await runBlocking(*utilityPool_, noStop, load);
  } catch (...) {
    failure = std::current_exception();
  }
  if (generation != tagConceptGeneration_) co_return;
  if (failure) {
    showSuggestionLoadFailure(failure);
    co_return;
  }
  setTagConcepts(std::move(concepts));
  clearSuggestionLoadFailure();
}

int ImageLibraryStore::advanceTagConceptAliasGeneration(std::int64_t conceptID) {
  std::map<std::int64_t, int> generations = tagConceptAliasGenerations_;
  const int generation = ++generations[conceptID];
  setTagConceptAliasGenerations(std::move(generations));
  return generation;
}

QCoro::Task<void> ImageLibraryStore::loadTagConceptAliases(std::int64_t conceptID) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  const int generation = advanceTagConceptAliasGeneration(conceptID);
  std::vector<TagConceptAlias> aliases;
  std::exception_ptr failure;
  if (featureAvailability_.isTagConceptEnabled) {
    auto load = [service = service_, conceptID] { return service->tagConceptAliases(conceptID); };
    const std::stop_token noStop;
    try {
      aliases = co_await runBlocking(*utilityPool_, noStop, load);
    } catch (...) {
      failure = std::current_exception();
    }
    const auto current = tagConceptAliasGenerations_.find(conceptID);
    if (current == tagConceptAliasGenerations_.end() || current->second != generation) co_return;
  }
  if (failure) {
    showSuggestionLoadFailure(failure);
    co_return;
  }
  auto byID = tagConceptAliasesByID_;
  byID[conceptID] = std::move(aliases);
  setTagConceptAliasesByID(std::move(byID));
  if (featureAvailability_.isTagConceptEnabled) clearSuggestionLoadFailure();
}

QCoro::Task<void> ImageLibraryStore::loadManualTagConceptAssignments(std::vector<std::string> imagePaths) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  const int generation = manualTagConceptAssignmentGeneration_ + 1;
  setManualTagConceptAssignmentGeneration(generation);
  std::vector<std::string> paths = uniqueNonEmptyPaths(imagePaths);
  PathSet scope(paths.begin(), paths.end());
  // The old scope's assignments go before the new ones arrive: no count may read them for these
  // images meanwhile.
  setManualTagConceptAssignmentScopePaths(scope);
  setManualTagConceptAssignments({});
  if (paths.empty() || !featureAvailability_.isTagConceptEnabled) co_return;

  auto load = [service = service_, paths = std::move(paths)] { return service->tagConceptImageAssignments(paths); };
  const std::stop_token noStop;
  std::vector<TagConceptManualAssignment> assignments;
  std::exception_ptr failure;
  try {
    assignments = co_await runBlocking(*utilityPool_, noStop, load);
  } catch (...) {
    failure = std::current_exception();
  }
  if (generation != manualTagConceptAssignmentGeneration_) co_return;
  if (failure) {
    // The scope stays and its assignments empty: counts read 0 rather than a guess.
    showSuggestionLoadFailure(failure);
    co_return;
  }
  setManualTagConceptAssignmentScopePaths(std::move(scope));
  setManualTagConceptAssignments(
      std::unordered_set<TagConceptManualAssignment>(assignments.begin(), assignments.end()));
  clearSuggestionLoadFailure();
}

int ImageLibraryStore::manualTagConceptAssignmentCount(std::int64_t conceptID,
                                                       const std::vector<std::string>& imagePaths) const {
  creatingThread_.check();
  const std::vector<std::string> paths = uniqueNonEmptyPaths(imagePaths);
  if (paths.empty() || manualTagConceptAssignmentScopePaths_.size() < paths.size()) return 0;
  // An image outside the scope has assignments nobody loaded: the count would be a guess.
  const bool covered = std::all_of(paths.begin(), paths.end(), [&](const std::string& path) {
    return manualTagConceptAssignmentScopePaths_.contains(path);
  });
  if (!covered) return 0;
  const PathSet wanted(paths.begin(), paths.end());
  return static_cast<int>(std::count_if(
      manualTagConceptAssignments_.begin(), manualTagConceptAssignments_.end(),
      [&](const TagConceptManualAssignment& assignment) {
        return assignment.conceptID == conceptID && wanted.contains(assignment.imagePath);
      }));
}

}  // namespace lorvex
