// The concept state the concept views load: the concept list, one concept's aliases, and the hand
// assignments of the images a view shows, with the count read from them.
#include "store/concepts/tag_concepts_model.h"

#include <algorithm>
#include <exception>
#include <stop_token>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "services/image_library_service.h"
#include "store/async/run_blocking.h"
#include "store/observed_value.h"

namespace lorvex {

TagConceptsModel::TagConceptsModel(StoreContext& context, TagConceptDependents& dependents, QObject* parent)
    : QObject(parent), context_(context), dependents_(dependents) {}

TagConceptsModel::~TagConceptsModel() = default;

void TagConceptsModel::setTagConcepts(std::vector<TagConcept> value) {
  creatingThread_.check();
  assignObserved(tagConcepts_, std::move(value), this, &TagConceptsModel::tagConceptsChanged);
}

void TagConceptsModel::setTagConceptAliasesByID(std::map<std::int64_t, std::vector<TagConceptAlias>> value) {
  creatingThread_.check();
  assignObserved(tagConceptAliasesByID_, std::move(value), this,
                 &TagConceptsModel::tagConceptAliasesByIDChanged);
}

void TagConceptsModel::setManualTagConceptAssignments(std::unordered_set<TagConceptManualAssignment> value) {
  creatingThread_.check();
  assignObserved(manualTagConceptAssignments_, std::move(value), this,
                 &TagConceptsModel::manualTagConceptAssignmentsChanged);
}

void TagConceptsModel::setManualTagConceptAssignmentScopePaths(PathSet value) {
  creatingThread_.check();
  assignObserved(manualTagConceptAssignmentScopePaths_, std::move(value), this,
                 &TagConceptsModel::manualTagConceptAssignmentScopePathsChanged);
}

void TagConceptsModel::setIsTagConceptMutationInProgress(bool value) {
  creatingThread_.check();
  assignObserved(isTagConceptMutationInProgress_, value, this,
                 &TagConceptsModel::isTagConceptMutationInProgressChanged);
}

QCoro::Task<void> TagConceptsModel::loadTagConcepts() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  const int generation = tagConceptGeneration_ + 1;
  tagConceptGeneration_ = generation;
  if (!context_.featureAvailability().isTagConceptEnabled) {
    setTagConcepts({});
    co_return;
  }
  auto load = [service = context_.service()] {
    return service->searchTagConcepts(std::nullopt, kTagConceptListLimit);
  };
  // A superseded load is never stopped: it runs out and its outcome is dropped below.
  const std::stop_token noStop;
  std::vector<TagConcept> concepts;
  std::exception_ptr failure;
  try {
    concepts = co_await runBlocking(context_.utilityPool(), noStop, load);
  } catch (...) {
    failure = std::current_exception();
  }
  if (generation != tagConceptGeneration_) co_return;
  if (failure) {
    context_.showSuggestionLoadFailure(failure);
    co_return;
  }
  setTagConcepts(std::move(concepts));
  context_.clearSuggestionLoadFailure();
}

int TagConceptsModel::advanceTagConceptAliasGeneration(std::int64_t conceptID) {
  return ++tagConceptAliasGenerations_[conceptID];
}

QCoro::Task<void> TagConceptsModel::loadTagConceptAliases(std::int64_t conceptID) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  const int generation = advanceTagConceptAliasGeneration(conceptID);
  std::vector<TagConceptAlias> aliases;
  std::exception_ptr failure;
  if (context_.featureAvailability().isTagConceptEnabled) {
    auto load = [service = context_.service(), conceptID] { return service->tagConceptAliases(conceptID); };
    const std::stop_token noStop;
    try {
      aliases = co_await runBlocking(context_.utilityPool(), noStop, load);
    } catch (...) {
      failure = std::current_exception();
    }
    const auto current = tagConceptAliasGenerations_.find(conceptID);
    if (current == tagConceptAliasGenerations_.end() || current->second != generation) co_return;
  }
  if (failure) {
    context_.showSuggestionLoadFailure(failure);
    co_return;
  }
  auto byID = tagConceptAliasesByID_;
  byID[conceptID] = std::move(aliases);
  setTagConceptAliasesByID(std::move(byID));
  if (context_.featureAvailability().isTagConceptEnabled) context_.clearSuggestionLoadFailure();
}

QCoro::Task<void> TagConceptsModel::loadManualTagConceptAssignments(std::vector<std::string> imagePaths) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  const int generation = manualTagConceptAssignmentGeneration_ + 1;
  manualTagConceptAssignmentGeneration_ = generation;
  std::vector<std::string> paths = uniqueNonEmptyPaths(imagePaths);
  PathSet scope(paths.begin(), paths.end());
  // The old scope's assignments go before the new ones arrive: no count may read them for these
  // images meanwhile.
  setManualTagConceptAssignmentScopePaths(scope);
  setManualTagConceptAssignments({});
  if (paths.empty() || !context_.featureAvailability().isTagConceptEnabled) co_return;

  auto load = [service = context_.service(), paths = std::move(paths)] {
    return service->tagConceptImageAssignments(paths);
  };
  const std::stop_token noStop;
  std::vector<TagConceptManualAssignment> assignments;
  std::exception_ptr failure;
  try {
    assignments = co_await runBlocking(context_.utilityPool(), noStop, load);
  } catch (...) {
    failure = std::current_exception();
  }
  if (generation != manualTagConceptAssignmentGeneration_) co_return;
  if (failure) {
    // The scope stays and its assignments empty: counts read 0 rather than a guess.
    context_.showSuggestionLoadFailure(failure);
    co_return;
  }
  setManualTagConceptAssignmentScopePaths(std::move(scope));
  setManualTagConceptAssignments(
      std::unordered_set<TagConceptManualAssignment>(assignments.begin(), assignments.end()));
  context_.clearSuggestionLoadFailure();
}

int TagConceptsModel::manualTagConceptAssignmentCount(std::int64_t conceptID,
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
  return static_cast<int>(
      std::count_if(manualTagConceptAssignments_.begin(), manualTagConceptAssignments_.end(),
                    [&](const TagConceptManualAssignment& assignment) {
                      return assignment.conceptID == conceptID && wanted.contains(assignment.imagePath);
                    }));
}

}  // namespace lorvex
