// The tag suggestions of the filter sidebar, and the concept suggestions a concept change claims.
#include <exception>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "model/text/whitespace.h"
#include "store/async/run_blocking.h"
#include "store/suggestions/suggestions_model.h"

namespace lorvex {

namespace {

struct LoadedTagSuggestions {
  std::vector<TagSuggestion> tags;
  std::vector<TagConcept> concepts;
};

}  // namespace

void SuggestionsModel::beginTagSuggestionLoading() {
  creatingThread_.check();
  ++tagSuggestionGeneration_;
  setIsTagSuggestionLoading(true);
  setTagSuggestions({});
  setTagConceptSuggestions({});
}

QCoro::Task<void> SuggestionsModel::loadTagSuggestions(std::optional<std::string> searchText) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  const int generation = tagSuggestionGeneration_ + 1;
  tagSuggestionGeneration_ = generation;
  std::optional<std::string> trimmedText = searchText ? text::trimmedNonEmpty(*searchText) : std::nullopt;
  const bool readsWholeConceptList = !trimmedText.has_value();
  activeTagSuggestionSearchText_ = std::move(trimmedText);
  setIsTagSuggestionLoading(true);
  setTagSuggestions({});
  setTagConceptSuggestions({});
  // The service gets the text as typed; only the store's record of it is trimmed.
  auto load = [service = context_.service(),
               conceptsEnabled = context_.featureAvailability().isTagConceptEnabled,
               searchText = std::move(searchText)] {
    LoadedTagSuggestions loaded;
    loaded.tags = service->tagSuggestions(searchText, kTagSuggestionLimit);
    if (conceptsEnabled) loaded.concepts = service->searchTagConcepts(searchText, kTagSuggestionLimit);
    return loaded;
  };
  // An older load is never stopped: it runs out and its outcome is dropped below.
  const std::stop_token noStop;
  LoadedTagSuggestions loaded;
  std::exception_ptr failure;
  try {
    loaded = co_await runBlocking(context_.utilityPool(), noStop, load);
  } catch (...) {
    failure = std::current_exception();
  }
  if (generation != tagSuggestionGeneration_) co_return;
  if (failure) {
    setIsTagSuggestionLoading(false);
    context_.showSuggestionLoadFailure(failure);
    co_return;
  }
  setTagSuggestions(std::move(loaded.tags));
  setTagConceptSuggestions(loaded.concepts);
  if (readsWholeConceptList) Q_EMIT tagConceptListLoaded(loaded.concepts);
  setIsTagSuggestionLoading(false);
  context_.clearSuggestionLoadFailure();
}

TagConceptSuggestionClaim SuggestionsModel::claimTagConceptSuggestions() {
  creatingThread_.check();
  ++tagSuggestionGeneration_;
  setIsTagSuggestionLoading(false);
  return TagConceptSuggestionClaim{tagSuggestionGeneration_, activeTagSuggestionSearchText_};
}

void SuggestionsModel::applyClaimedTagConceptSuggestions(const TagConceptSuggestionClaim& claim,
                                                         std::vector<TagConcept> suggestions) {
  creatingThread_.check();
  if (tagSuggestionGeneration_ != claim.generation) return;
  setTagConceptSuggestions(std::move(suggestions));
  setIsTagSuggestionLoading(false);
}

}  // namespace lorvex
