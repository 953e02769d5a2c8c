#include "store/projections/store_projections.h"

#include "store/context/store_context.h"
#include "store/filters/filters_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/results/results_model.h"
#include "store/trash/trash_model.h"

namespace lorvex {

StoreProjections::StoreProjections(const StoreContext& context, const FiltersModel& filters,
                                   const ResultsModel& results, const TrashModel& trash,
                                   const ImageLibraryPresentationState& presentation, QObject* parent)
    : QObject(parent), filters_(filters), results_(results), trash_(trash), presentation_(presentation) {
  connectInputs(context);
}

bool StoreProjections::canReviewFocusedRecord() const {
  return results_.selectedRecord() != nullptr && !results_.isLoadingNextPage() &&
         !trash_.isTrashingDeleteCandidates() && !presentation_.isTagAdditionPopoverPresented() &&
         !presentation_.isModelSelectionPopoverPresented();
}

bool StoreProjections::canReviewFocusedRecordInSlideshow() const {
  if (!canReviewFocusedRecord()) return false;
  return !presentation_.isSlideshowPresented() || results_.slideshowVisibleRecordIndices().size() < 2;
}

std::vector<std::string> StoreProjections::visibleSavedFilterTags() const {
  creatingThread_.check();
  const std::vector<std::string>& saved = filters_.savedFilterTags();
  if (presentation_.isFilterTagListExpanded() || saved.size() <= kCollapsedSavedFilterTagCount) return saved;
  return {saved.begin(), saved.begin() + kCollapsedSavedFilterTagCount};
}

void StoreProjections::connectInputs(const StoreContext& context) {
  const auto schedule = [this] { scheduleDerivedValuesChanged(); };
  connect(&context, &StoreContext::needsLiveServicePreparationChanged, this, schedule);
  connect(&filters_, &FiltersModel::savedFilterTagsChanged, this, schedule);
  connect(&results_, &ResultsModel::isLoadingNextPageChanged, this, schedule);
  const SearchResultWindow& window = results_.resultWindow();
  connect(&window, &SearchResultWindow::recordsChanged, this, schedule);
  connect(&window, &SearchResultWindow::hasMoreRecordsChanged, this, schedule);
  for (const auto changed : {&ResultSelection::primaryPathChanged, &ResultSelection::selectedPathsChanged,
                             &ResultSelection::anchorPathChanged}) {
    connect(&results_.selection(), changed, this, schedule);
  }
  for (const auto changed : {
           &ImageLibraryPresentationState::isFilterTagListExpandedChanged,
           &ImageLibraryPresentationState::isTagAdditionPopoverPresentedChanged,
           &ImageLibraryPresentationState::isModelSelectionPopoverPresentedChanged,
           &ImageLibraryPresentationState::isDeleteCandidateTrashReviewPresentedChanged,
           &ImageLibraryPresentationState::isSlideshowPresentedChanged,
           &ImageLibraryPresentationState::slideshowVisibleCountChanged,
       }) {
    connect(&presentation_, changed, this, schedule);
  }
}

void StoreProjections::scheduleDerivedValuesChanged() {
  creatingThread_.check();
  // At the end of this turn: however many inputs one operation changes, the views read the
  // projections once, after every field signal of the turn.
  derivedValuesChange_.schedule();
}

}  // namespace lorvex
