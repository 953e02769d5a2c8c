// The saved and selected filter tags.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/text/unicode.h"
#include "model/text/whitespace.h"
#include "store/filters/filters_model.h"

namespace lorvex {

namespace {

bool containsIgnoringCase(const std::vector<std::string>& tags, std::string_view tag) {
  return std::any_of(tags.begin(), tags.end(),
                     [tag](const std::string& entry) { return text::equalIgnoringCase(entry, tag); });
}

std::vector<std::string> withoutIgnoringCase(std::vector<std::string> tags, std::string_view tag) {
  std::erase_if(tags, [tag](const std::string& entry) { return text::equalIgnoringCase(entry, tag); });
  return tags;
}

}  // namespace

std::optional<std::string> FiltersModel::insertSavedFilterTag(std::string_view tag) {
  std::optional<std::string> normalized = text::normalizedWhitespace(tag);
  if (!normalized) return std::nullopt;
  // The form saved first stays the tag's form: adding "cat" to a saved "Cat" moves "Cat".
  const auto saved =
      std::find_if(savedFilterTags_.begin(), savedFilterTags_.end(),
                   [&](const std::string& entry) { return text::equalIgnoringCase(entry, *normalized); });
  std::string canonical = saved != savedFilterTags_.end() ? *saved : std::move(*normalized);
  std::vector<std::string> tags = withoutIgnoringCase(savedFilterTags_, canonical);
  tags.insert(tags.begin(), canonical);
  setSavedFilterTags(std::move(tags));
  return canonical;
}

void FiltersModel::selectFilterTag(const std::string& tag) {
  std::vector<std::string> tags = withoutIgnoringCase(selection_.selectedFilterTags, tag);
  tags.push_back(tag);
  setSelectionField(&FilterSelection::selectedFilterTags, std::move(tags));
}

void FiltersModel::persistSavedFilterTags() {
  filterTagStore_->saveFilterTags(savedFilterTags_);
}

bool FiltersModel::isFilterTagSelected(std::string_view tag) const {
  creatingThread_.check();
  const std::optional<std::string> normalized = text::normalizedWhitespace(tag);
  return normalized && containsIgnoringCase(selection_.selectedFilterTags, *normalized);
}

QCoro::Task<void> FiltersModel::addFilterTag(std::string tag) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  const std::optional<std::string> canonical = insertSavedFilterTag(tag);
  if (!canonical) co_return;
  selectFilterTag(*canonical);
  persistSavedFilterTags();
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::toggleFilterTag(std::string tag) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  const std::optional<std::string> normalized = text::normalizedWhitespace(tag);
  if (!normalized) co_return;
  if (containsIgnoringCase(selection_.selectedFilterTags, *normalized)) {
    setSelectionField(&FilterSelection::selectedFilterTags,
                      withoutIgnoringCase(selection_.selectedFilterTags, *normalized));
  } else {
    const std::optional<std::string> canonical = insertSavedFilterTag(*normalized);
    if (!canonical) co_return;
    selectFilterTag(*canonical);
    persistSavedFilterTags();
  }
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::removeSelectedFilterTag(std::string tag) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  const std::optional<std::string> normalized = text::normalizedWhitespace(tag);
  if (!normalized || !containsIgnoringCase(selection_.selectedFilterTags, *normalized)) co_return;
  setSelectionField(&FilterSelection::selectedFilterTags,
                    withoutIgnoringCase(selection_.selectedFilterTags, *normalized));
  co_await dependents_.refreshResultsAfterFilterChange();
}

QCoro::Task<void> FiltersModel::removeSavedFilterTag(std::string tag) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  const std::optional<std::string> normalized = text::normalizedWhitespace(tag);
  if (!normalized || !containsIgnoringCase(savedFilterTags_, *normalized)) co_return;
  const bool wasSelected = containsIgnoringCase(selection_.selectedFilterTags, *normalized);
  setSavedFilterTags(withoutIgnoringCase(savedFilterTags_, *normalized));
  setSelectionField(&FilterSelection::selectedFilterTags,
                    withoutIgnoringCase(selection_.selectedFilterTags, *normalized));
  persistSavedFilterTags();
  if (wasSelected) co_await dependents_.refreshResultsAfterFilterChange();
}

}  // namespace lorvex
