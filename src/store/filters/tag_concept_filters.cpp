// Tag concepts as search filters: the popover's concept rows toggle them, the summary bar's chips
// remove them.
#include <algorithm>
#include <utility>
#include <vector>

#include "store/filters/filters_model.h"

namespace lorvex {

namespace {

bool holdsConcept(const std::vector<TagConcept>& concepts, std::int64_t conceptID) {
  return std::any_of(concepts.begin(), concepts.end(),
                     [&](const TagConcept& entry) { return entry.id == conceptID; });
}

std::vector<TagConcept> withoutConcept(std::vector<TagConcept> concepts, std::int64_t conceptID) {
  std::erase_if(concepts, [&](const TagConcept& entry) { return entry.id == conceptID; });
  return concepts;
}

}  // namespace

QCoro::Task<void> FiltersModel::toggleSelectedTagConcept(TagConcept concept_) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  // Matched by id only: an entry whose name is out of date is still the same filter.
  std::vector<TagConcept> selection = selection_.selectedTagConcepts;
  if (holdsConcept(selection, concept_.id)) {
    selection = withoutConcept(std::move(selection), concept_.id);
  } else {
    selection.push_back(std::move(concept_));
  }
  setSelectionField(&FilterSelection::selectedTagConcepts, selection);
  std::stable_sort(selection.begin(), selection.end(),
                   [](const TagConcept& a, const TagConcept& b) { return a.id < b.id; });
  setSelectionField(&FilterSelection::selectedTagConcepts, std::move(selection));
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::removeSelectedTagConcept(std::int64_t conceptID) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!holdsConcept(selection_.selectedTagConcepts, conceptID)) co_return;
  setSelectionField(&FilterSelection::selectedTagConcepts,
                    withoutConcept(selection_.selectedTagConcepts, conceptID));
  co_await dependents_.refreshResultsAfterFilterChange();
}

void FiltersModel::showStoredTagConceptInSelection(const TagConcept& concept_) {
  creatingThread_.check();
  if (!holdsConcept(selection_.selectedTagConcepts, concept_.id)) return;
  std::vector<TagConcept> selection = withoutConcept(selection_.selectedTagConcepts, concept_.id);
  selection.push_back(concept_);
  std::stable_sort(selection.begin(), selection.end(),
                   [](const TagConcept& a, const TagConcept& b) { return a.id < b.id; });
  setSelectionField(&FilterSelection::selectedTagConcepts, std::move(selection));
}

}  // namespace lorvex
