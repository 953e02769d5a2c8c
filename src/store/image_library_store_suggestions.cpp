// The folders a search is limited to, and the tag suggestions of the filter sidebar.
#include <exception>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "model/text/whitespace.h"
#include "services/indexing/scan_error_message.h"
#include "store/async/run_blocking.h"
#include "store/image_library_store.h"

namespace lorvex {

std::vector<std::string> ImageLibraryStore::searchRootPaths() const {
  creatingThread_.check();
  const bool onlyAvailable = library_->hasLoadedRegisteredFolderSummaries();
  std::vector<std::string> roots;
  std::unordered_set<std::string_view> seen;
  auto add = [&](const std::string& path) {
    if (seen.insert(path).second) roots.push_back(path);
  };
  for (const auto& summary : library_->registeredFolderSummaries()) {
    if (!onlyAvailable || summary.state == RegisteredFolderAccessState::available) add(summary.path);
  }
  for (const auto& path : library_->activeFolderRegistrationRootPaths()) add(path);
  if (roots.empty()) roots.emplace_back(kNoRegisteredFolderRootPath);
  return roots;
}

namespace {

struct LoadedTagSuggestions {
  std::vector<TagSuggestion> tags;
  std::vector<TagConcept> concepts;
};

}  // namespace

void ImageLibraryStore::beginTagSuggestionLoading() {
  creatingThread_.check();
  setTagSuggestionGeneration(tagSuggestionGeneration_ + 1);
  setIsTagSuggestionLoading(true);
  setTagSuggestions({});
  setTagConceptSuggestions({});
}

QCoro::Task<void> ImageLibraryStore::loadTagSuggestions(std::optional<std::string> searchText) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  const int generation = tagSuggestionGeneration_ + 1;
  setTagSuggestionGeneration(generation);
  std::optional<std::string> trimmedText = searchText ? text::trimmedNonEmpty(*searchText) : std::nullopt;
  const bool readsWholeConceptList = !trimmedText.has_value();
  setActiveTagSuggestionSearchText(std::move(trimmedText));
  setIsTagSuggestionLoading(true);
  setTagSuggestions({});
  setTagConceptSuggestions({});
  // The service gets the text as typed; only the store's record of it is trimmed.
  auto load = [service = service_, conceptsEnabled = featureAvailability_.isTagConceptEnabled,
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
    loaded = co_await runBlocking(*utilityPool_, noStop, load);
  } catch (...) {
    failure = std::current_exception();
  }
  if (generation != tagSuggestionGeneration_) co_return;
  if (failure) {
    setIsTagSuggestionLoading(false);
    context_->showSuggestionLoadFailure(failure);
    co_return;
  }
  setTagSuggestions(std::move(loaded.tags));
  setTagConceptSuggestions(loaded.concepts);
  if (readsWholeConceptList) concepts_->setTagConcepts(std::move(loaded.concepts));
  setIsTagSuggestionLoading(false);
  context_->clearSuggestionLoadFailure();
}

}  // namespace lorvex
