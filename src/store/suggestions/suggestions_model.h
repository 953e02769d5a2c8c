// SuggestionsModel: what the filter sidebar's popovers offer while the person types: the tag
// suggestions with the matching tag concepts, the model suggestions, and the character suggestions
// with the names the person excluded from them, with the loads that fill them.
//
// Every observed field has a getter and a change signal; it is stored silently when equal and
// signalled once, after storing, when different. The character fields have a getter only: nothing
// changes them after construction, which reads the exclusions from their store. Only the model's
// own operations set the fields; the generations that drop stale answers and the text the tag
// suggestions were loaded for are the model's own (tests reach them through
// SuggestionsModelTestAccess).
//
// A tag suggestion load without text reads the whole concept list, which the concepts model shows;
// the model tells it (tagConceptListLoaded) and the composition wires that. A concept change
// claims and replaces the concept suggestions through claimTagConceptSuggestions and
// applyClaimedTagConceptSuggestions.
//
// Thread safety: the creating thread only (the main thread); flows return to it before they touch
// a field.
#pragma once

#include <qcoro/qcorotask.h>

#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/tag_concept.h"
#include "model/tag_suggestion.h"
#include "services/user_defaults_character_suggestion_exclusion_store.h"
#include "store/async/creating_thread.h"
#include "store/concepts/tag_concept_dependents.h"
#include "store/context/store_context.h"

namespace lorvex {

class SuggestionsModel : public QObject {
  Q_OBJECT

 public:
  // `context` outlives the model. The character exclusions are read from
  // `characterSuggestionExclusionStore` (not null), once, here.
  SuggestionsModel(StoreContext& context,
                   std::shared_ptr<CharacterSuggestionExclusionPersisting> characterSuggestionExclusionStore,
                   QObject* parent = nullptr);
  ~SuggestionsModel() override;

  // The store this model belongs to: its scope is where a view starts flows that use the model.
  StoreContext& context() const { return context_; }
  const std::shared_ptr<CharacterSuggestionExclusionPersisting>& characterSuggestionExclusionStore() const {
    return characterSuggestionExclusionStore_;
  }

  const std::vector<TagSuggestion>& tagSuggestions() const { return tagSuggestions_; }
  const std::vector<TagConcept>& tagConceptSuggestions() const { return tagConceptSuggestions_; }
  bool isTagSuggestionLoading() const { return isTagSuggestionLoading_; }
  const std::vector<ModelSuggestion>& modelSuggestions() const { return modelSuggestions_; }
  bool isModelSuggestionLoading() const { return isModelSuggestionLoading_; }
  const std::vector<std::string>& characterSuggestionExclusions() const {
    return characterSuggestionExclusions_;
  }

  // ---- Tag suggestions ----

  // At most this many tags (and concepts) are suggested for one text.
  static constexpr std::int64_t kTagSuggestionLimit = 500;

  // Reloads the filter sidebar's tag suggestions (and, with tag concepts enabled, the matching
  // concepts) for `searchText` on the utility pool. The lists empty and the loading flag rises at
  // once; of overlapping loads only the one started last applies its lists or its error and ends
  // the flag. With no text (or only whitespace) the concept suggestions are the whole concept
  // list, so they are also told as tagConceptListLoaded. Returns once the outcome was applied or
  // dropped.
  QCoro::Task<void> loadTagSuggestions(std::optional<std::string> searchText);
  // The tag popover's text changed: loads in flight count for nothing now, and both lists show
  // empty and loading until the next load ends.
  void beginTagSuggestionLoading();

  // The tag addition panel's rows: every raw tag suggestion and, with tag concepts switched on,
  // every concept suggestion; larger image counts first, then by name ignoring case, a raw tag
  // before a concept of the same name. Computed when asked; the projections' derivedValuesChanged
  // tells that an input changed.
  std::vector<TagFilterSuggestion> tagFilterSuggestions() const;

  // A concept change outdates every tag suggestion load in flight (it may have read the library
  // before the change) and ends their loading state; the claim says what its read-back re-reads.
  TagConceptSuggestionClaim claimTagConceptSuggestions();
  // Shows the read-back's concept suggestions, unless a load started after `claim` took them.
  void applyClaimedTagConceptSuggestions(const TagConceptSuggestionClaim& claim,
                                         std::vector<TagConcept> suggestions);

  // ---- Model suggestions ----

  // At most this many models are suggested for one text.
  static constexpr std::int64_t kModelSuggestionLimit = 100;

  // The model popover's text changed: loads in flight count for nothing now, and the list shows
  // empty and loading until the next load ends.
  void beginModelSuggestionLoading();
  // Loads the models matching `text` (passed to the service as typed) on the utility pool. Of
  // overlapping loads only the one started last applies its list or its error and ends the
  // loading flag; a superseded load runs out and is dropped. Returns once its outcome was applied
  // or dropped.
  QCoro::Task<void> loadModelSuggestions(std::string text);

 Q_SIGNALS:
  void tagSuggestionsChanged();
  void tagConceptSuggestionsChanged();
  void isTagSuggestionLoadingChanged();
  void modelSuggestionsChanged();
  void isModelSuggestionLoadingChanged();
  // A tag suggestion load without text read the whole concept list; emitted with it after the
  // concept suggestions were stored, before the loading flag ends.
  void tagConceptListLoaded(const std::vector<lorvex::TagConcept>& concepts);

 private:
  friend struct SuggestionsModelTestAccess;

  void setTagSuggestions(std::vector<TagSuggestion> value);
  void setTagConceptSuggestions(std::vector<TagConcept> value);
  void setIsTagSuggestionLoading(bool value);
  void setModelSuggestions(std::vector<ModelSuggestion> value);
  void setIsModelSuggestionLoading(bool value);

  CreatingThread creatingThread_;
  StoreContext& context_;
  const std::shared_ptr<CharacterSuggestionExclusionPersisting> characterSuggestionExclusionStore_;

  std::vector<TagSuggestion> tagSuggestions_;
  std::vector<TagConcept> tagConceptSuggestions_;
  bool isTagSuggestionLoading_{false};
  std::vector<ModelSuggestion> modelSuggestions_;
  bool isModelSuggestionLoading_{false};
  std::vector<std::string> characterSuggestionExclusions_;

  // Advanced by every load of their kind that starts (and, for tags, by every concept change); an
  // answer applies only while the generation it took is current.
  int tagSuggestionGeneration_{0};
  int modelSuggestionGeneration_{0};
  // The text the tag suggestions are loaded for, trimmed; nothing for the whole list.
  std::optional<std::string> activeTagSuggestionSearchText_;
};

}  // namespace lorvex
