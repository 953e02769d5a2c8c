// What the views read from the store: whether the focused record may be reviewed and the sidebar's
// saved tags; and the one signal that tells the views to read them (and the results', trash and
// suggestions models' projections) again.
#include <QMetaObject>
#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "store/image_library_store.h"

namespace lorvex {

bool ImageLibraryStore::canReviewFocusedRecord() const {
  return results_->selectedRecord() != nullptr && !results_->isLoadingNextPage() &&
         !trash_->isTrashingDeleteCandidates() && !presentation_->isTagAdditionPopoverPresented() &&
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

void ImageLibraryStore::connectDerivedValueInputs() {
  const auto schedule = [this] { scheduleDerivedValuesChanged(); };
  connect(this, &ImageLibraryStore::needsLiveServicePreparationChanged, this, schedule);
  connect(filters_.get(), &FiltersModel::savedFilterTagsChanged, this, schedule);
  connect(results_.get(), &ResultsModel::isLoadingNextPageChanged, this, schedule);
  connect(resultWindow_, &SearchResultWindow::recordsChanged, this, schedule);
  connect(resultWindow_, &SearchResultWindow::hasMoreRecordsChanged, this, schedule);
  for (const auto changed : {&ResultSelection::primaryPathChanged, &ResultSelection::selectedPathsChanged,
                             &ResultSelection::anchorPathChanged}) {
    connect(selection_, changed, this, schedule);
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
