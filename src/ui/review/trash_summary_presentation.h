// The outcome of the last move to the Trash as the review sheet shows it: a headline counting what
// moved, the first few failures with their reason, a count of the failures not listed, and, for the
// recovery sheet, every failure as a row and a plain-text diagnostics report to copy.
//
// A failure is shown by its kind in the window's language, followed by the system's reason and
// its code name when the system gave one; a file that changed after it was reviewed shows the
// fixed localized text. The diagnostics report keeps the stored message (with the code name)
// whatever the reason: it is what someone helping the user needs.
//
// Thread safety: plain values and pure functions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/image_trash_summary.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"

namespace lorvex::ui {

// The summary lists at most this many failures; the recovery sheet lists all.
inline constexpr std::size_t kTrashSummaryVisibleFailureLimit = 5;

// The last path component of a path ("b.png" for "/a/b.png").
std::string trashFileName(std::string_view path);

// The message of a failure as the user reads it: the fixed text of a changed file, else the
// notice's text, then ": " and its detail when it has one (without the text's closing full stop).
std::string trashFailureDisplayMessage(const ImageTrashFailure& failure, const AppLocalization& localizer,
                                       const ViewResourceDisplay& resourceDisplay);

struct TrashSummaryPresentation {
  ImageTrashSummary summary;
  AppLocalization localizer;
  ViewResourceDisplay resourceDisplay;

  bool hasFailures() const { return !summary.failures.empty(); }
  // "moved" (trashed, requested) without failures, else "movedWithFailures" (trashed, requested,
  // failed).
  std::string headlineText() const;
  // The first kTrashSummaryVisibleFailureLimit failures in stored order.
  std::vector<ImageTrashFailure> visibleFailures() const;
  // "file name: display message" of one failure.
  std::string failureLineText(const ImageTrashFailure& failure) const;
  // How many failures are not listed, as a text; nothing when all are listed.
  std::optional<std::string> failureOverflowText() const;

  // The localizer takes no part.
  friend bool operator==(const TrashSummaryPresentation& a, const TrashSummaryPresentation& b) {
    return a.summary == b.summary && a.resourceDisplay == b.resourceDisplay;
  }
};

struct TrashFailureRecoveryRow {
  std::string id;  // "<position>-<path>": unique even for two failures of one path
  std::string path;
  std::string displayPath;
  std::string fileName;
  std::string message;

  friend bool operator==(const TrashFailureRecoveryRow&, const TrashFailureRecoveryRow&) = default;
};

struct TrashFailureRecoveryPresentation {
  ImageTrashSummary summary;
  AppLocalization localizer;
  ViewResourceDisplay resourceDisplay;

  // One row per failure, in stored order.
  std::vector<TrashFailureRecoveryRow> rows() const;
  std::size_t rowCount() const { return summary.failures.size(); }
  // The row of the failure at `index` (below rowCount()), built alone: a list of thousands builds
  // only the rows it shows.
  TrashFailureRecoveryRow row(std::size_t index) const;
  // The report copied for support: counts, the trashed paths and every failure's path and stored
  // message, lines joined by "\n" without a final one, then passed once through the resource
  // display.
  std::string diagnosticsText() const;

  friend bool operator==(const TrashFailureRecoveryPresentation& a,
                         const TrashFailureRecoveryPresentation& b) {
    return a.summary == b.summary && a.resourceDisplay == b.resourceDisplay;
  }
};

}  // namespace lorvex::ui
