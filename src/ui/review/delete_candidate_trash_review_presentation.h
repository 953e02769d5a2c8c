// What the Trash review sheet reads: the counts, the busy flag and the two disabled reasons of the
// trash model at one moment, turned into the sheet's texts. Rebuilt on every store change and never
// kept, so no text lags behind the store. Which reason applies is the trash model's decision; this
// only words it.
//
// Thread safety: the texts are pure; fromTrash reads the trash model on its thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/image_trash_summary.h"
#include "store/delete_candidate_trash_disabled_reason.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"

namespace lorvex {
class TrashModel;
}

namespace lorvex::ui {

struct DeleteCandidateTrashReviewPresentation {
  std::optional<ImageTrashSummary> lastTrashSummary;
  int loadedDeleteCandidateCount = 0;
  int selectedDeleteCandidateCount = 0;
  bool isTrashingDeleteCandidates = false;
  // The move still waits for a scan to end (and may be cancelled).
  bool isWaitingForLibrarySync = false;
  std::optional<DeleteCandidateTrashDisabledReason> trashSelectedDisabledReason;
  std::optional<DeleteCandidateTrashDisabledReason> trashLoadedDisabledReason;
  AppLocalization localizer;
  ViewResourceDisplay resourceDisplay;

  static DeleteCandidateTrashReviewPresentation fromTrash(const TrashModel& trash, AppLocalization localizer,
                                                          ViewResourceDisplay resourceDisplay);

  std::string titleText() const;
  std::string explanationText() const;
  std::string loadedScopeText() const;
  std::string selectedScopeText() const;
  // What the move is doing: waiting for the scan, or moving.
  std::string movingProgressText() const;
  std::string bulkActionScopeText() const;
  std::string selectLoadedTitle() const;
  // Loaded count first, then selected, 0 included.
  std::string footerSummaryText() const;
  std::string trashSelectedTitle() const;
  std::string trashLoadedTitle() const;
  std::optional<std::string> trashSelectedDisabledReasonText() const;
  std::optional<std::string> trashLoadedDisabledReasonText() const;
  std::string candidateAccessibilityLabel(std::string_view fileName, bool isSelected) const;
  std::string selectionAccessibilityValue(bool isSelected) const;
  // The path as the user may see it (the home folder as "~" in recording mode); no lookup.
  std::string displayPath(std::string_view path) const;
};

}  // namespace lorvex::ui
