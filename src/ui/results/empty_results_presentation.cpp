#include "ui/results/empty_results_presentation.h"

#include <algorithm>
#include <utility>

#include "store/filters/filters_model.h"
#include "store/library/library_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/results/results_model.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;

constexpr std::string_view kCheckingFoldersSymbol = "folder";
constexpr std::string_view kFirstRunSymbol = "folder.badge.plus";
constexpr std::string_view kIndexingSymbol = "clock.arrow.circlepath";
constexpr std::string_view kAccessSymbol = "lock.open";
constexpr std::string_view kDeleteCandidatesSymbol = "trash";
constexpr std::string_view kNoResultsSymbol = "photo.on.rectangle";

bool needsAccessAgain(const RegisteredFolderSummary& folder) {
  return folder.state == RegisteredFolderAccessState::accessDenied ||
         folder.state == RegisteredFolderAccessState::bookmarkInvalid;
}

EmptyResultsPresentation indexingState(const EmptyResultsPresentationContext& context,
                                       const AppLocalization& localizer) {
  return {localizer.lookup(Key::resultEmptyIndexingTitle),
          std::string(kIndexingSymbol),
          true,
          localizer.lookup(Key::resultEmptyIndexingDescription),
          indexingProgressText(context.indexingProgress, localizer),
          std::nullopt,
          std::nullopt};
}

}  // namespace

EmptyResultsPresentationContext EmptyResultsPresentationContext::from(
    const LibraryModel& library, const FiltersModel& filters,
    const ImageLibraryPresentationState& presentation, const AppLocalization& localizer) {
  return {library.registeredFolderSummaries(),
          library.isCheckingRegisteredFolders(),
          library.isLibrarySyncInProgress(),
          library.indexingProgress(),
          presentation.isDeleteCandidateReviewPresented(),
          ActiveFilterSummaryPresentation::make(
              ActiveFilterSummaryInputs::withoutTagConcepts(filters, presentation), localizer)};
}

EmptyResultsPresentation EmptyResultsPresentation::make(const EmptyResultsPresentationContext& context,
                                                        const AppLocalization& localizer) {
  if (context.isLoadingRegisteredFolders) {
    return {localizer.lookup(Key::libraryCheckingFolders),
            std::string(kCheckingFoldersSymbol),
            true,
            localizer.lookup(Key::onboardingFirstRunPermission),
            std::nullopt,
            std::nullopt,
            std::nullopt};
  }
  const bool syncing = context.isLibrarySyncOperationInProgress;
  if (context.registeredFolderSummaries.empty()) {
    if (syncing) return indexingState(context, localizer);
    return {localizer.lookup(Key::onboardingFirstRunTitle),
            std::string(kFirstRunSymbol),
            false,
            localizer.lookup(Key::onboardingFirstRunDescription),
            localizer.lookup(Key::onboardingFirstRunPermission),
            localizer.lookup(Key::libraryAddFolder),
            EmptyResultsPrimaryAction{EmptyResultsPrimaryAction::ChooseFolder{}}};
  }
  const auto& folders = context.registeredFolderSummaries;
  if (const auto folder = std::find_if(folders.begin(), folders.end(), needsAccessAgain);
      folder != folders.end()) {
    const bool denied = folder->state == RegisteredFolderAccessState::accessDenied;
    return {localizer.lookup(denied ? Key::resultEmptyPermissionTitle : Key::resultEmptyBookmarkInvalidTitle),
            std::string(kAccessSymbol),
            false,
            localizer.lookup(denied ? Key::resultEmptyPermissionDescription
                                    : Key::resultEmptyBookmarkInvalidDescription),
            std::nullopt,
            localizer.lookup(Key::libraryAllowAccess),
            EmptyResultsPrimaryAction{EmptyResultsPrimaryAction::AllowAccess{folder->path}}};
  }
  if (context.isDeleteCandidateReviewPresented) {
    return {localizer.lookup(Key::resultEmptyDeleteCandidatesTitle),
            std::string(kDeleteCandidatesSymbol),
            false,
            localizer.lookup(Key::resultEmptyDeleteCandidatesDescription),
            std::nullopt,
            std::nullopt,
            std::nullopt};
  }
  if (syncing && context.indexingProgress) return indexingState(context, localizer);
  EmptyResultsPresentation noResults{localizer.lookup(Key::resultEmptyNoResultsTitle),
                                     std::string(kNoResultsSymbol),
                                     false,
                                     localizer.lookup(Key::resultEmptyNoResultsDescription),
                                     std::nullopt,
                                     std::nullopt,
                                     std::nullopt};
  const auto& filters = context.activeFilterPresentation;
  if (!filters.isEmpty()) {
    noResults.secondaryDescription = filters.localizer.lookup(Key::filterSummaryEmptyResetDescription);
    noResults.primaryActionTitle = filters.localizer.lookup(Key::filterSummaryResetAll);
    noResults.primaryAction = EmptyResultsPrimaryAction{EmptyResultsPrimaryAction::ResetFilters{}};
  }
  return noResults;
}

std::string indexingProgressText(const std::optional<ImageLibraryIndexingProgress>& progress,
                                 const AppLocalization& localizer) {
  if (!progress) return localizer.lookup(Key::indexingInProgress);
  if (progress->phase == ImageLibraryIndexingPhase::discovering) {
    return localizer.lookup(Key::indexingCheckingFiles, {progress->totalCount});
  }
  return localizer.lookup(Key::indexingProgress, {progress->processedCount, progress->totalCount});
}

ResultsOverlay chooseResultsOverlay(bool isLoading, bool hasRecords) {
  if (isLoading) return ResultsOverlay::searching;
  return hasRecords ? ResultsOverlay::none : ResultsOverlay::emptyResults;
}

ResultsOverlay chooseResultsOverlay(const ResultsModel& results) {
  return chooseResultsOverlay(results.isLoading(), !results.resultWindow().records().empty());
}

std::string searchingIndicatorText(const AppLocalization& localizer) {
  return localizer.lookup(Key::resultSearching);
}

}  // namespace lorvex::ui
