#include "ui/review/trash_summary_presentation.h"

#include <algorithm>

#include "model/text/paths.h"
#include "ui/common/error_notice_text.h"

namespace lorvex::ui {

using Key = AppLocalizationKey;

std::string trashFileName(std::string_view path) {
  // A path read as a file URL drops its trailing slashes before naming its last component.
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return std::string(text::lastPathComponent(path));
}

std::string trashFailureDisplayMessage(const ImageTrashFailure& failure, const AppLocalization& localizer,
                                       const ViewResourceDisplay& resourceDisplay) {
  switch (failure.reason) {
    case ImageTrashFailureReason::fileChangedSinceReview:
      return localizer.lookup(Key::deleteCandidateReviewFailureFileChangedSinceReview);
    case ImageTrashFailureReason::underlyingError:
      break;
  }
  // The message is the library's text (kept for the diagnostics); a failure recorded without a
  // notice was a move that failed. The kind is told in the window's language, then why, as the
  // system said it: "Could not be moved to the Trash: Operation not permitted (EPERM)".
  return errorNoticeTextWithReason(failure.notice.value_or(ErrorNotice{ErrorNoticeKind::trashMoveFailed, {}}),
                                   localizer, resourceDisplay);
}

std::string TrashSummaryPresentation::headlineText() const {
  const auto trashed = static_cast<std::int64_t>(summary.trashedPaths.size());
  if (summary.failures.empty()) {
    return localizer.lookup(Key::deleteCandidateReviewSummaryMoved, {trashed, summary.requestedCount});
  }
  return localizer.lookup(
      Key::deleteCandidateReviewSummaryMovedWithFailures,
      {trashed, summary.requestedCount, static_cast<std::int64_t>(summary.failures.size())});
}

std::vector<ImageTrashFailure> TrashSummaryPresentation::visibleFailures() const {
  const std::size_t count = std::min(summary.failures.size(), kTrashSummaryVisibleFailureLimit);
  return {summary.failures.begin(), summary.failures.begin() + static_cast<std::ptrdiff_t>(count)};
}

std::string TrashSummaryPresentation::failureLineText(const ImageTrashFailure& failure) const {
  return trashFileName(failure.path) + ": " + trashFailureDisplayMessage(failure, localizer, resourceDisplay);
}

std::optional<std::string> TrashSummaryPresentation::failureOverflowText() const {
  if (summary.failures.size() <= kTrashSummaryVisibleFailureLimit) return std::nullopt;
  const auto hidden = static_cast<std::int64_t>(summary.failures.size() - kTrashSummaryVisibleFailureLimit);
  return localizer.lookup(pluralKey(hidden, Key::deleteCandidateReviewSummaryFailureOverflowOne,
                                    Key::deleteCandidateReviewSummaryFailureOverflowOther),
                          {hidden});
}

std::vector<TrashFailureRecoveryRow> TrashFailureRecoveryPresentation::rows() const {
  std::vector<TrashFailureRecoveryRow> rows;
  rows.reserve(summary.failures.size());
  for (std::size_t i = 0; i < summary.failures.size(); ++i) rows.push_back(row(i));
  return rows;
}

TrashFailureRecoveryRow TrashFailureRecoveryPresentation::row(std::size_t index) const {
  const ImageTrashFailure& failure = summary.failures.at(index);
  return TrashFailureRecoveryRow{
      .id = std::to_string(index) + "-" + failure.path,
      .path = failure.path,
      .displayPath = resourceDisplay.displayText(failure.path),
      .fileName = trashFileName(failure.path),
      .message = trashFailureDisplayMessage(failure, localizer, resourceDisplay),
  };
}

std::string TrashFailureRecoveryPresentation::diagnosticsText() const {
  std::vector<std::string> lines = {
      "Lorvex Trash Failure Diagnostics",
      "requested=" + std::to_string(summary.requestedCount),
      "trashed=" + std::to_string(summary.trashedPaths.size()),
      "failed=" + std::to_string(summary.failures.size()),
      "",
      "Trashed paths:",
  };
  if (summary.trashedPaths.empty()) lines.emplace_back("(none)");
  for (const std::string& path : summary.trashedPaths) lines.push_back(path);
  lines.emplace_back("");
  lines.emplace_back("Failures:");
  if (summary.failures.empty()) lines.emplace_back("(none)");
  for (const ImageTrashFailure& failure : summary.failures)
    lines.push_back(failure.path + "\t" + failure.message);

  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  return resourceDisplay.displayText(text);
}

}  // namespace lorvex::ui
