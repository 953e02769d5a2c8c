#include "ui/review/trash_summary_presentation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/results/echo_localization.h"

namespace lorvex::ui {
namespace {

using testing::echoLocalization;

ImageTrashSummary summaryWithFailures(int failures, int trashed = 2) {
  ImageTrashSummary summary;
  summary.requestedCount = failures + trashed;
  for (int i = 0; i < trashed; ++i) summary.trashedPaths.push_back("/p/t" + std::to_string(i) + ".png");
  for (int i = 0; i < failures; ++i) {
    summary.failures.push_back({"/p/f" + std::to_string(i) + ".png", "denied " + std::to_string(i),
                                ImageTrashFailureReason::underlyingError, std::nullopt});
  }
  return summary;
}

TEST(TrashSummaryPresentation, HeadlineListedFailuresAndOverflowByFailureCount) {
  const struct {
    int failures;
    std::string headline;
    std::size_t listed;
    std::optional<std::string> overflow;
  } cases[] = {
      {0, "deleteCandidateReview.summary.moved(#2,#2)", 0, std::nullopt},
      {5, "deleteCandidateReview.summary.movedWithFailures(#2,#7,#5)", 5, std::nullopt},
      {6, "deleteCandidateReview.summary.movedWithFailures(#2,#8,#6)", 5,
       "deleteCandidateReview.summary.failureOverflow.one(#1)"},
      {7, "deleteCandidateReview.summary.movedWithFailures(#2,#9,#7)", 5,
       "deleteCandidateReview.summary.failureOverflow.other(#2)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failures);
    const TrashSummaryPresentation p{summaryWithFailures(c.failures), echoLocalization(), {}};
    EXPECT_EQ(p.headlineText(), c.headline);
    EXPECT_EQ(p.hasFailures(), c.failures > 0);
    const auto visible = p.visibleFailures();
    ASSERT_EQ(visible.size(), c.listed);
    for (std::size_t i = 0; i < visible.size(); ++i) EXPECT_EQ(visible[i], p.summary.failures[i]);
    EXPECT_EQ(p.failureOverflowText(), c.overflow);
    // The recovery sheet lists every failure whatever the summary shows.
    EXPECT_EQ((TrashFailureRecoveryPresentation{p.summary, echoLocalization(), {}}.rows().size()),
              static_cast<std::size_t>(c.failures));
  }
}

TEST(TrashSummaryPresentation, AChangedFileShowsTheFixedTextWhileTheReportKeepsTheStoredMessage) {
  ImageTrashSummary summary;
  summary.requestedCount = 2;
  summary.failures = {
      {"/a/b.png", "size differs", ImageTrashFailureReason::fileChangedSinceReview, std::nullopt},
      {"/a/b.png", "Permission denied", ImageTrashFailureReason::underlyingError,
       ErrorNotice{ErrorNoticeKind::trashLibraryNotUpdated, {}}}};
  const TrashSummaryPresentation summaryPresentation{summary, echoLocalization(), {}};
  EXPECT_EQ(summaryPresentation.failureLineText(summary.failures[0]),
            "b.png: deleteCandidateReview.failure.fileChangedSinceReview");
  // Told by its notice; the library's text stays for the report.
  EXPECT_EQ(summaryPresentation.failureLineText(summary.failures[1]), "b.png: error.trash.libraryNotUpdated");

  const TrashFailureRecoveryPresentation recovery{summary, echoLocalization(), {}};
  const std::vector<TrashFailureRecoveryRow> expected = {
      {"0-/a/b.png", "/a/b.png", "/a/b.png", "b.png", "deleteCandidateReview.failure.fileChangedSinceReview"},
      {"1-/a/b.png", "/a/b.png", "/a/b.png", "b.png", "error.trash.libraryNotUpdated"},
  };
  EXPECT_EQ(recovery.rows(), expected);
  EXPECT_EQ(recovery.diagnosticsText(),
            "Lorvex Trash Failure Diagnostics\nrequested=2\ntrashed=0\nfailed=2\n\nTrashed paths:\n(none)\n\n"
            "Failures:\n/a/b.png\tsize differs\n/a/b.png\tPermission denied");
}

TEST(TrashSummaryPresentation, DiagnosticsWithAndWithoutPathsAndFailures) {
  ImageTrashSummary moved;
  moved.requestedCount = 2;
  moved.trashedPaths = {"/p/a.png", "/p/b.png"};
  EXPECT_EQ((TrashFailureRecoveryPresentation{moved, echoLocalization(), {}}.diagnosticsText()),
            "Lorvex Trash Failure Diagnostics\nrequested=2\ntrashed=2\nfailed=0\n\nTrashed "
            "paths:\n/p/a.png\n/p/b.png\n\n"
            "Failures:\n(none)");
  EXPECT_EQ((TrashFailureRecoveryPresentation{ImageTrashSummary{}, echoLocalization(), {}}.diagnosticsText()),
            "Lorvex Trash Failure Diagnostics\nrequested=0\ntrashed=0\nfailed=0\n\nTrashed paths:\n(none)\n\n"
            "Failures:\n(none)");
}

TEST(TrashSummaryPresentation, RecordingModeRedactsTheHomeInPathsMessagesAndTheReport) {
  ImageTrashSummary summary;
  summary.requestedCount = 3;
  summary.trashedPaths = {"/home/me/Pictures/a.png"};
  // The first without a notice: a failed move, as the library recorded them before notices.
  summary.failures = {{"/home/me/Pictures/b.png", "cannot move /home/me/Pictures/b.png.",
                       ImageTrashFailureReason::underlyingError, std::nullopt},
                      {"/home/mel/c.png", "no access to /home/me", ImageTrashFailureReason::underlyingError,
                       ErrorNotice{ErrorNoticeKind::trashNotIndexed, {"/home/me/c.png"}}}};
  const struct {
    ViewResourceDisplay display;
    std::vector<std::string> displayPaths;
    std::vector<std::string> messages;
    std::string report;
  } cases[] = {
      {{true, "/home/me"},
       {"~/Pictures/b.png", "/home/mel/c.png"},
       {"error.trash.moveFailed", "error.trash.notIndexed(~/c.png)"},
       "Lorvex Trash Failure Diagnostics\nrequested=3\ntrashed=1\nfailed=2\n\nTrashed "
       "paths:\n~/Pictures/a.png\n\n"
       "Failures:\n~/Pictures/b.png\tcannot move ~/Pictures/b.png.\n/home/mel/c.png\tno access to ~"},
      {{false, "/home/me"},
       {"/home/me/Pictures/b.png", "/home/mel/c.png"},
       {"error.trash.moveFailed", "error.trash.notIndexed(/home/me/c.png)"},
       "Lorvex Trash Failure Diagnostics\nrequested=3\ntrashed=1\nfailed=2\n\nTrashed "
       "paths:\n/home/me/Pictures/a.png\n\n"
       "Failures:\n/home/me/Pictures/b.png\tcannot move /home/me/Pictures/b.png.\n/home/mel/c.png\tno access "
       "to "
       "/home/me"},
      {{true, ""},
       {"/home/me/Pictures/b.png", "/home/mel/c.png"},
       {"error.trash.moveFailed", "error.trash.notIndexed(/home/me/c.png)"},
       "Lorvex Trash Failure Diagnostics\nrequested=3\ntrashed=1\nfailed=2\n\nTrashed "
       "paths:\n/home/me/Pictures/a.png\n\n"
       "Failures:\n/home/me/Pictures/b.png\tcannot move /home/me/Pictures/b.png.\n/home/mel/c.png\tno access "
       "to "
       "/home/me"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.display.isRecordingModeEnabled);
    const TrashFailureRecoveryPresentation recovery{summary, echoLocalization(), c.display};
    const auto rows = recovery.rows();
    ASSERT_EQ(rows.size(), 2u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].path, summary.failures[i].path);
      EXPECT_EQ(rows[i].displayPath, c.displayPaths[i]);
      EXPECT_EQ(rows[i].message, c.messages[i]);
    }
    EXPECT_EQ(recovery.diagnosticsText(), c.report);
  }
}

TEST(TrashSummaryPresentation, EqualityIgnoresTheLocalizer) {
  const auto summary = summaryWithFailures(1);
  const AppLocalization other([](std::string_view, const FormatArguments&) { return std::string("x"); });
  EXPECT_EQ((TrashSummaryPresentation{summary, echoLocalization(), {}}),
            (TrashSummaryPresentation{summary, other, {}}));
  EXPECT_NE((TrashSummaryPresentation{summary, echoLocalization(), {}}),
            (TrashSummaryPresentation{summary, echoLocalization(), {true, "/p"}}));
  EXPECT_NE((TrashFailureRecoveryPresentation{summary, echoLocalization(), {}}),
            (TrashFailureRecoveryPresentation{summaryWithFailures(2), echoLocalization(), {}}));
}

}  // namespace
}  // namespace lorvex::ui
