// The filters model's fields, and the character search history the results add to.
#include "store/filters/filters_model.h"

#include <utility>

#include "model/text/unicode.h"
#include "model/text/whitespace.h"
#include "store/observed_value.h"

namespace lorvex {

FiltersModel::FiltersModel(StoreContext& context, FilterDependents& dependents,
                           std::shared_ptr<FilterTagPersisting> filterTagStore, QObject* parent)
    : QObject(parent),
      context_(context),
      dependents_(dependents),
      filterTagStore_(std::move(filterTagStore)) {
  // The filter-tag stores already normalise what they load; normalising again keeps the sidebar
  // free of duplicates whatever store the application composed.
  savedFilterTags_ = normalizedFilterTags(filterTagStore_->loadFilterTags());
  // However many changes one operation makes (toggling a concept stores the selection twice), the
  // views that show the filters hear of it once, after the last.
  connect(this, &FiltersModel::selectionChanged, this, [this] { filtersChange_.schedule(); });
}

FiltersModel::~FiltersModel() = default;

void FiltersModel::setSelection(FilterSelection value) {
  creatingThread_.check();
  if (value == selection_) return;
  const FilterSelection previous = std::exchange(selection_, std::move(value));
  Q_EMIT selectionChanged();
  if (previous.selectedFilterTags != selection_.selectedFilterTags) Q_EMIT selectedFilterTagsChanged();
  if (previous.selectedTagConcepts != selection_.selectedTagConcepts) Q_EMIT selectedTagConceptsChanged();
  if (previous.selectedModelSource != selection_.selectedModelSource) Q_EMIT selectedModelSourceChanged();
}

void FiltersModel::setSearchSort(ImageSearchSort value) {
  creatingThread_.check();
  assignObserved(searchSort_, value, this, &FiltersModel::searchSortChanged);
}

void FiltersModel::setSavedFilterTags(std::vector<std::string> value) {
  creatingThread_.check();
  assignObserved(savedFilterTags_, std::move(value), this, &FiltersModel::savedFilterTagsChanged);
}

void FiltersModel::setSelectedModelSource(std::optional<std::string> value) {
  setSelectionField(&FilterSelection::selectedModelSource, std::move(value));
}

void FiltersModel::setCharacterSearchHistory(std::vector<std::string> value) {
  creatingThread_.check();
  assignObserved(characterSearchHistory_, std::move(value), this,
                 &FiltersModel::characterSearchHistoryChanged);
}

void FiltersModel::recordCharacterSearch(const std::optional<std::string>& text) {
  creatingThread_.check();
  if (!text.has_value()) return;
  const std::optional<std::string> trimmed = text::trimmedNonEmpty(*text);
  if (!trimmed.has_value()) return;
  const std::string folded = text::caseFolded(*trimmed);
  // Three steps, each signalled, as the views follow the history one change at a time.
  std::vector<std::string> history = characterSearchHistory_;
  std::erase_if(history, [&](const std::string& entry) { return text::caseFolded(entry) == folded; });
  setCharacterSearchHistory(history);
  history.insert(history.begin(), *trimmed);
  setCharacterSearchHistory(history);
  if (history.size() > kCharacterSearchHistoryLimit) {
    history.resize(kCharacterSearchHistoryLimit);
    setCharacterSearchHistory(std::move(history));
  }
}

}  // namespace lorvex
