// What the views read from the store: whether the focused record may be reviewed, the sidebar's and
// tag panel's lists, the Trash review's permissions; and the one signal that tells the views to
// read them (and the results' projections) again.
#include <QMetaObject>
#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "store/image_library_store.h"

namespace lorvex {

namespace {

std::vector<RecordRef> trashableRecordsAmong(const std::vector<RecordRef>& records, const PathSet& paths) {
  std::vector<RecordRef> result;
  if (paths.empty()) return result;
  for (const auto& record : records) {
    if (paths.contains(record->file.path) && TrashCandidateBrowser::isTrashable(*record))
      result.push_back(record);
  }
  return result;
}

}  // namespace

bool ImageLibraryStore::canReviewFocusedRecord() const {
  return results_->selectedRecord() != nullptr && !results_->isLoadingNextPage() &&
         !isTrashingDeleteCandidates_ && !presentation_->isTagAdditionPopoverPresented() &&
         !presentation_->isModelSelectionPopoverPresented();
}

bool ImageLibraryStore::canReviewFocusedRecordInSlideshow() const {
  if (!canReviewFocusedRecord()) return false;
  return !presentation_->isSlideshowPresented() || results_->slideshowVisibleRecordIndices().size() < 2;
}

std::vector<std::string> ImageLibraryStore::visibleSavedFilterTags() const {
  creatingThread_.check();
  const std::vector<std::string>& saved = filters_->savedFilterTags();
  if (presentation_->isFilterTagListExpanded() || saved.size() <= kCollapsedSavedFilterTagCount) return saved;
  return {saved.begin(), saved.begin() + kCollapsedSavedFilterTagCount};
}

std::vector<TagFilterSuggestion> ImageLibraryStore::tagFilterSuggestions() const {
  creatingThread_.check();
  std::vector<TagFilterSuggestion> rows;
  rows.reserve(tagSuggestions_.size() + tagConceptSuggestions_.size());
  for (const auto& tag : tagSuggestions_) rows.push_back(TagFilterSuggestion{tag});
  if (featureAvailability_.isTagConceptEnabled) {
    for (const auto& tagConcept : tagConceptSuggestions_) rows.push_back(TagFilterSuggestion{tagConcept});
  }
  // Stable, so rows the order leaves unordered (raw tags differing only in case) keep their
  // suggestion order from one call to the next.
  sortTagFilterSuggestions(rows);
  return rows;
}

std::vector<RecordRef> ImageLibraryStore::selectedTrashReviewRecords() const {
  creatingThread_.check();
  return trashableRecordsAmong(trashReviewBrowser_->records(), trashReviewBrowser_->selectedPaths());
}

int ImageLibraryStore::trashableLoadedTrashReviewRecordCount() const {
  creatingThread_.check();
  const auto& records = trashReviewBrowser_->records();
  return static_cast<int>(std::count_if(records.begin(), records.end(), [](const RecordRef& record) {
    return TrashCandidateBrowser::isTrashable(*record);
  }));
}

std::vector<RecordRef> ImageLibraryStore::retryableFailedTrashRecords() const {
  creatingThread_.check();
  if (!lastTrashSummary_) return {};
  // A path can fail in one step of the move and be trashed by a later one: only what is still
  // untrashed is worth another try.
  PathSet failed;
  for (const auto& failure : lastTrashSummary_->failures) failed.insert(failure.path);
  for (const auto& trashed : lastTrashSummary_->trashedPaths) failed.erase(trashed);
  std::vector<RecordRef> records = trashableRecordsAmong(trashReviewBrowser_->records(), failed);
  // A retry takes the files as the person first reviewed them: a reload may have brought records
  // of content that changed since, and that content was never the one decided on.
  for (RecordRef& record : records) {
    const auto found = firstReviewedTrashRecords_.find(record->file.path);
    if (found != firstReviewedTrashRecords_.end()) record = found->second;
  }
  return records;
}

bool ImageLibraryStore::isLibraryReadyForTrash() const {
  return !needsLiveServicePreparation() && !library_->isPreparingLibrary() && !library_->isIndexing() &&
         !isTrashingDeleteCandidates_;
}

bool ImageLibraryStore::isTrashReviewLoading() const {
  return trashReviewBrowser_->isReloading() || trashReviewBrowser_->isLoadingMore() ||
         static_cast<bool>(deleteCandidateTrashReviewLoadMoreTask_);
}

bool ImageLibraryStore::trashReviewAllowsTrashing() const {
  return presentation_->isDeleteCandidateTrashReviewPresented() && isLibraryReadyForTrash() &&
         !isTrashReviewLoading();
}

bool ImageLibraryStore::canTrash(const std::vector<RecordRef>& records) const {
  return trashReviewAllowsTrashing() && !records.empty();
}

bool ImageLibraryStore::canTrashSelectedTrashReviewRecords() const {
  // The records are gathered only once nothing else forbids the move.
  return trashReviewAllowsTrashing() && !selectedTrashReviewRecords().empty();
}

bool ImageLibraryStore::canRetryFailedTrash() const {
  return trashReviewAllowsTrashing() && !retryableFailedTrashRecords().empty();
}

bool ImageLibraryStore::canTrashLoadedTrashReviewRecords() const {
  return trashReviewAllowsTrashing() && trashableLoadedTrashReviewRecordCount() != 0;
}

DeleteCandidateTrashBlockers ImageLibraryStore::trashBlockers() const {
  return DeleteCandidateTrashBlockers{
      .trashing = isTrashingDeleteCandidates_,
      .notPrepared = needsLiveServicePreparation() || library_->isPreparingLibrary(),
      .indexing = library_->isIndexing(),
      .loading = isTrashReviewLoading(),
  };
}

std::optional<DeleteCandidateTrashDisabledReason> ImageLibraryStore::trashSelectedDisabledReason() const {
  if (canTrashSelectedTrashReviewRecords()) return std::nullopt;
  if (const auto blocked = blockingReason(trashBlockers())) return blocked;
  // Nothing blocks: either nothing is ticked, or the review is not shown.
  if (!selectedTrashReviewRecords().empty()) return std::nullopt;
  return trashableLoadedTrashReviewRecordCount() != 0 ? DeleteCandidateTrashDisabledReason::noSelection
                                                      : DeleteCandidateTrashDisabledReason::noCandidates;
}

std::optional<DeleteCandidateTrashDisabledReason> ImageLibraryStore::trashLoadedDisabledReason() const {
  if (canTrashLoadedTrashReviewRecords()) return std::nullopt;
  if (const auto blocked = blockingReason(trashBlockers())) return blocked;
  if (trashableLoadedTrashReviewRecordCount() == 0) return DeleteCandidateTrashDisabledReason::noCandidates;
  return std::nullopt;
}

void ImageLibraryStore::connectDerivedValueInputs() {
  const auto schedule = [this] { scheduleDerivedValuesChanged(); };
  for (const auto changed : {
           &ImageLibraryStore::lastTrashSummaryChanged,
           &ImageLibraryStore::tagSuggestionsChanged,
           &ImageLibraryStore::tagConceptSuggestionsChanged,
           &ImageLibraryStore::needsLiveServicePreparationChanged,
           &ImageLibraryStore::isTrashingDeleteCandidatesChanged,
           &ImageLibraryStore::deleteCandidateTrashReviewLoadMoreTaskChanged,
       }) {
    connect(this, changed, this, schedule);
  }
  connect(filters_.get(), &FiltersModel::savedFilterTagsChanged, this, schedule);
  connect(results_.get(), &ResultsModel::isLoadingNextPageChanged, this, schedule);
  connect(resultWindow_, &SearchResultWindow::recordsChanged, this, schedule);
  connect(resultWindow_, &SearchResultWindow::hasMoreRecordsChanged, this, schedule);
  for (const auto changed : {&ResultSelection::primaryPathChanged, &ResultSelection::selectedPathsChanged,
                             &ResultSelection::anchorPathChanged}) {
    connect(selection_, changed, this, schedule);
  }
  for (const auto changed :
       {&TrashCandidateBrowser::recordsChanged, &TrashCandidateBrowser::selectedPathsChanged,
        &TrashCandidateBrowser::isReloadingChanged, &TrashCandidateBrowser::isLoadingMoreChanged}) {
    connect(trashReviewBrowser_.get(), changed, this, schedule);
  }
  for (const auto changed : {
           &ImageLibraryPresentationState::isFilterTagListExpandedChanged,
           &ImageLibraryPresentationState::isTagAdditionPopoverPresentedChanged,
           &ImageLibraryPresentationState::isModelSelectionPopoverPresentedChanged,
           &ImageLibraryPresentationState::isDeleteCandidateTrashReviewPresentedChanged,
           &ImageLibraryPresentationState::isSlideshowPresentedChanged,
           &ImageLibraryPresentationState::slideshowVisibleCountChanged,
       }) {
    connect(presentation_.get(), changed, this, schedule);
  }
}

void ImageLibraryStore::scheduleDerivedValuesChanged() {
  creatingThread_.check();
  if (isDerivedValuesChangeQueued_) return;
  isDerivedValuesChangeQueued_ = true;
  // Queued behind this turn's work: however many inputs one operation changes, the views read
  // the projections once, after every field signal of the turn.
  QMetaObject::invokeMethod(
      this,
      [this] {
        isDerivedValuesChangeQueued_ = false;
        Q_EMIT derivedValuesChanged();
      },
      Qt::QueuedConnection);
}

}  // namespace lorvex
