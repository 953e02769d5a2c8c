// The suggestions model's fields, and the tag addition panel's rows made from them.
#include "store/suggestions/suggestions_model.h"

#include <utility>

#include "store/observed_value.h"

namespace lorvex {

SuggestionsModel::SuggestionsModel(
    StoreContext& context,
    std::shared_ptr<CharacterSuggestionExclusionPersisting> characterSuggestionExclusionStore,
    QObject* parent)
    : QObject(parent),
      context_(context),
      characterSuggestionExclusionStore_(std::move(characterSuggestionExclusionStore)) {
  characterSuggestionExclusions_ = characterSuggestionExclusionStore_->loadExclusions();
}

SuggestionsModel::~SuggestionsModel() = default;

void SuggestionsModel::setTagSuggestions(std::vector<TagSuggestion> value) {
  creatingThread_.check();
  assignObserved(tagSuggestions_, std::move(value), this, &SuggestionsModel::tagSuggestionsChanged);
}

void SuggestionsModel::setTagConceptSuggestions(std::vector<TagConcept> value) {
  creatingThread_.check();
  assignObserved(tagConceptSuggestions_, std::move(value), this,
                 &SuggestionsModel::tagConceptSuggestionsChanged);
}

void SuggestionsModel::setIsTagSuggestionLoading(bool value) {
  creatingThread_.check();
  assignObserved(isTagSuggestionLoading_, value, this, &SuggestionsModel::isTagSuggestionLoadingChanged);
}

void SuggestionsModel::setModelSuggestions(std::vector<ModelSuggestion> value) {
  creatingThread_.check();
  assignObserved(modelSuggestions_, std::move(value), this, &SuggestionsModel::modelSuggestionsChanged);
}

void SuggestionsModel::setIsModelSuggestionLoading(bool value) {
  creatingThread_.check();
  assignObserved(isModelSuggestionLoading_, value, this, &SuggestionsModel::isModelSuggestionLoadingChanged);
}

std::vector<TagFilterSuggestion> SuggestionsModel::tagFilterSuggestions() const {
  creatingThread_.check();
  std::vector<TagFilterSuggestion> rows;
  rows.reserve(tagSuggestions_.size() + tagConceptSuggestions_.size());
  for (const auto& tag : tagSuggestions_) rows.push_back(TagFilterSuggestion{tag});
  if (context_.featureAvailability().isTagConceptEnabled) {
    for (const auto& tagConcept : tagConceptSuggestions_) rows.push_back(TagFilterSuggestion{tagConcept});
  }
  // Stable, so rows the order leaves unordered (raw tags differing only in case) keep their
  // suggestion order from one call to the next.
  sortTagFilterSuggestions(rows);
  return rows;
}

}  // namespace lorvex
