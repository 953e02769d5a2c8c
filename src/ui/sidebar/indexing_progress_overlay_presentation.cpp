#include "ui/sidebar/indexing_progress_overlay_presentation.h"

namespace lorvex::ui {

using Key = AppLocalizationKey;

std::string IndexingProgressOverlayPresentation::message(const AppLocalization& localizer) const {
  if (isPreparingLibrary || !isIndexing) return localizer.lookup(Key::indexingPreparingDatabase);
  if (!indexingProgress) return localizer.lookup(Key::indexingInProgress);
  if (indexingProgress->phase == ImageLibraryIndexingPhase::indexing) {
    return localizer.lookup(Key::indexingProgress,
                            {indexingProgress->processedCount, indexingProgress->totalCount});
  }
  return localizer.lookup(Key::indexingCheckingFiles, {indexingProgress->totalCount});
}

std::string IndexingProgressOverlayPresentation::unavailableText(const AppLocalization& localizer) {
  return localizer.lookup(Key::indexingUnavailableUntilComplete);
}

}  // namespace lorvex::ui
