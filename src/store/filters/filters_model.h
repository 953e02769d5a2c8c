// FiltersModel: what limits and orders the results: the saved and selected filter tags, the
// selected tag concepts, the aspects, the model, the favorites and delete-candidate switches, the
// sort, and the character search history, with the operations the sidebar, the popovers and the
// active-filter chips call.
//
// Every observed field has a getter and a change signal; it is stored silently when equal and
// signalled once, after storing, when different. The filters are one such field, `selection` (a
// FilterSelection), so a reset, "is any filter on" and the change signal cover a filter added
// later without naming it. A view that shows the filters as a whole follows filtersChanged(), one
// signal at the end of a turn that changed any of them. Only the model's own operations set its
// fields, except `selectedModelSource`, which tests and staged scenes set directly; tests arrange
// the others through FiltersModelTestAccess.
//
// A change that alters the filters ends with a fresh first page, which the results own: the model
// asks for it (and for the delete-candidate review it closes) through FilterDependents. The
// composition supplies that and wires what the model hears from other features.
//
// Thread safety: the creating thread only (the main thread); flows return to it before they touch
// a field.
#pragma once

#include <qcoro/qcorotask.h>

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/image_aspect.h"
#include "model/image_search_query.h"
#include "model/tag_concept.h"
#include "services/user_defaults_filter_tag_store.h"
#include "store/async/creating_thread.h"
#include "store/async/turn_end_call.h"
#include "store/context/store_context.h"
#include "store/filters/filter_dependents.h"
#include "store/filters/filter_selection.h"

namespace lorvex {

class FiltersModel : public QObject {
  Q_OBJECT

 public:
  // `context` and `dependents` outlive the model. The saved filter tags are read from
  // `filterTagStore` (not null), once, here.
  FiltersModel(StoreContext& context, FilterDependents& dependents,
               std::shared_ptr<FilterTagPersisting> filterTagStore, QObject* parent = nullptr);
  ~FiltersModel() override;

  // The store this model belongs to: its scope is where a view starts flows that use the model.
  StoreContext& context() const { return context_; }
  const std::shared_ptr<FilterTagPersisting>& filterTagStore() const { return filterTagStore_; }

  const FilterSelection& selection() const { return selection_; }
  // The filters of the selection one by one, for a reader that wants one of them.
  const std::vector<std::string>& selectedFilterTags() const { return selection_.selectedFilterTags; }
  const std::vector<TagConcept>& selectedTagConcepts() const { return selection_.selectedTagConcepts; }
  const std::vector<ImageAspectFilter>& selectedAspectFilters() const {
    return selection_.selectedAspectFilters;
  }
  const std::optional<std::string>& selectedModelSource() const { return selection_.selectedModelSource; }
  bool onlyFavorites() const { return selection_.onlyFavorites; }
  bool onlyDeleteCandidates() const { return selection_.onlyDeleteCandidates; }
  ImageSearchSort searchSort() const { return searchSort_; }
  const std::vector<std::string>& savedFilterTags() const { return savedFilterTags_; }
  const std::vector<std::string>& characterSearchHistory() const { return characterSearchHistory_; }

  // Stores the model filter without a refresh, for arranging a state; the views clear it through
  // clearModelFilter.
  void setSelectedModelSource(std::optional<std::string> value);

  // ---- Filter tags ----

  // Tags are compared after whitespace normalisation and ignoring case (text::equalIgnoringCase);
  // a text that normalises to nothing changes nothing. The first written form of a tag is the one
  // kept. Every change of the selection ends with a fresh first page (the grid back at the top); a
  // save writes the whole saved list through the filter-tag store at once, on this thread, before
  // that refresh starts.

  // Saves the tag at the front of the saved tags (under the form already saved, if any), selects
  // it, saves the list and refreshes, even when nothing changed.
  QCoro::Task<void> addFilterTag(std::string tag);
  // Deselects a selected tag (the saved list untouched, nothing saved), or saves and selects one
  // that is not selected, as addFilterTag; refreshes either way.
  QCoro::Task<void> toggleFilterTag(std::string tag);
  bool isFilterTagSelected(std::string_view tag) const;
  // Deselects the tag; refreshes only when it was selected. Never saves.
  QCoro::Task<void> removeSelectedFilterTag(std::string tag);
  // Forgets a saved tag and deselects it, and saves the shorter list; refreshes only when it was
  // selected. A tag that is not saved changes nothing, even when it is selected.
  QCoro::Task<void> removeSavedFilterTag(std::string tag);

  // ---- Filter switches and sort ----

  // Each operation changes its fields and then refreshes the first page (the grid back at the
  // top); one that would change nothing returns without a refresh. Turning the delete-candidate
  // filter off always closes the delete-candidate review.

  // Removes a selected aspect, or adds one keeping the order portrait, landscape, square.
  QCoro::Task<void> toggleAspectFilter(ImageAspectFilter aspect);
  bool isAspectFilterSelected(ImageAspectFilter aspect) const;
  QCoro::Task<void> removeAspectFilter(ImageAspectFilter aspect);
  // The favorites switch.
  QCoro::Task<void> setOnlyFavoritesFilter(bool value);
  QCoro::Task<void> clearOnlyFavoritesFilter();
  // The delete-candidate switch; turning it on does not open the review.
  QCoro::Task<void> setOnlyDeleteCandidatesFilter(bool value);
  // Turns the filter off and closes the review; refreshes also when only the review was shown.
  QCoro::Task<void> clearOnlyDeleteCandidatesFilter();
  // The sort menu.
  QCoro::Task<void> selectSearchSort(ImageSearchSort sort);
  // Limits the results to the model `text` names (trimmed) and refreshes. A blank text changes
  // nothing, and so does the model already selected (compared exactly, letter case counting).
  QCoro::Task<void> selectModelSource(std::string text);
  // Clears the model filter and refreshes; with no model selected it changes nothing and runs no
  // search (a second quick click on the clear button or the chip).
  QCoro::Task<void> clearModelFilter();
  // Empties every filter (tags, concepts, aspects, model, both switches) and closes the
  // delete-candidate review; the saved tags and the sort stay.
  QCoro::Task<void> clearAllFilters();

  // ---- Tag concept filters ----

  // Selects the concept as a filter, or deselects every entry with its id; the list stays in
  // ascending id order. Always ends with a fresh first page.
  QCoro::Task<void> toggleSelectedTagConcept(TagConcept concept_);
  // Deselects the concept with this id (the active-filter chip); a concept that is not selected
  // changes nothing and runs no search.
  QCoro::Task<void> removeSelectedTagConcept(std::int64_t conceptID);
  // A created or renamed concept the selection holds shows its stored name there, in id order; the
  // filter itself is unchanged, so no search. The composition calls it when a concept is stored.
  void showStoredTagConceptInSelection(const TagConcept& concept_);

  // ---- Character search history ----

  // The number of character searches the history keeps.
  static constexpr std::size_t kCharacterSearchHistoryLimit = 10;
  // Puts a character search at the front of the history (trimmed; an entry differing only in
  // letter case goes), keeping the newest kCharacterSearchHistoryLimit. Absent or blank: nothing.
  // The results call it for every search they start.
  void recordCharacterSearch(const std::optional<std::string>& text);

 Q_SIGNALS:
  void selectionChanged();
  // Sent after selectionChanged() when that change altered this one filter. Only these three have
  // their own signal, as a view follows each of them alone: the filter-tag popover lists the
  // selected tags and concepts, the model popover marks the selected model, and the detail panel's
  // filter-tags section marks the selected tags. Anything that shows the filters together follows
  // filtersChanged().
  void selectedFilterTagsChanged();
  void selectedTagConceptsChanged();
  void selectedModelSourceChanged();
  void searchSortChanged();
  void savedFilterTagsChanged();
  void characterSearchHistoryChanged();
  // The selection changed (not the saved tags, the sort or the history). Emitted at most once per
  // event-loop turn, after that turn's field signals (see TurnEndCall).
  void filtersChanged();

 private:
  friend struct FiltersModelTestAccess;

  void setSelection(FilterSelection value);
  // Stores `value` in one filter of the selection, as setSelection.
  template <typename T>
  void setSelectionField(T FilterSelection::*field, std::type_identity_t<T> value) {
    FilterSelection selection = selection_;
    selection.*field = std::move(value);
    setSelection(std::move(selection));
  }
  void setSearchSort(ImageSearchSort value);
  void setSavedFilterTags(std::vector<std::string> value);
  void setCharacterSearchHistory(std::vector<std::string> value);

  // Puts the tag at the front of the saved tags under the form already saved (else as given) and
  // returns that form; nothing for a blank tag.
  std::optional<std::string> insertSavedFilterTag(std::string_view tag);
  // Appends the tag to the selected tags, dropping any entry the same ignoring case first.
  void selectFilterTag(const std::string& tag);
  // Writes the saved tags through the filter-tag store.
  void persistSavedFilterTags();
  // Whether any filter restricts the results or the delete-candidate review is shown.
  bool hasActiveFiltersOrReview() const;

  CreatingThread creatingThread_;
  StoreContext& context_;
  FilterDependents& dependents_;
  const std::shared_ptr<FilterTagPersisting> filterTagStore_;
  TurnEndCall filtersChange_{this, [this] { Q_EMIT filtersChanged(); }};

  FilterSelection selection_;
  ImageSearchSort searchSort_{ImageSearchSort::modificationDateDescending};
  std::vector<std::string> savedFilterTags_;
  std::vector<std::string> characterSearchHistory_;
};

}  // namespace lorvex
