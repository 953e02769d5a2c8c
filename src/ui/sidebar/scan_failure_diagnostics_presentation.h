// Everything the scan-failure sheet shows after a scan that left files unindexed: its texts, one
// recovery row per failed file or unreadable folder with guidance for the failure's kind (a
// folder's told as a folder's), the registered root whose access should be granted again, and the
// plain-text report the copy button puts on the clipboard.
//
// Shown paths and messages go through the recording-mode display rule; a row keeps the real path
// (for reveal) and the report is passed through the rule once as a whole.
//
// Thread safety: pure values and functions, callable from any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/image_library_scan_summary.h"
#include "model/scan_diagnostic_context.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"

namespace lorvex::ui {

struct ScanFailureRecoveryRow {
  std::string path;  // as the scan reported it
  std::string displayPath;
  std::string fileName;           // the last component of the real path
  std::string message;            // what went wrong, in the window's language (by the kind)
  std::string diagnosticMessage;  // the library's own text, for the copied report
  std::string guidance;
  ImageLibraryScanFailure::Kind kind = ImageLibraryScanFailure::Kind::general;

  const std::string& id() const { return path; }
  friend bool operator==(const ScanFailureRecoveryRow&, const ScanFailureRecoveryRow&) = default;
};

struct ScanFailureDiagnosticsPresentation {
  std::string title;
  std::string summaryText;
  std::string contextText;
  std::string rootPathsText;
  std::string retryGuidanceText;
  std::string copyDiagnosticsButtonTitle;
  std::string revealInFinderButtonTitle;
  std::string rescanButtonTitle;
  std::string reauthorizeButtonTitle;
  std::string closeButtonTitle;
  std::optional<std::string> reauthorizationRootPath;
  std::vector<ScanFailureRecoveryRow> failureRows;  // the summary's failures, in order
  std::string diagnosticsText;

  // Every text but summaryText and the rows' is the summary's alone. summaryText counts the
  // folders the scan could not read apart from the files, which the summary's counts include
  // (makeSummaryText).
  static ScanFailureDiagnosticsPresentation make(
      const ImageLibraryScanSummary& summary, const std::optional<ImageLibraryScanDiagnosticContext>& context,
      const AppLocalization& localizer, const ViewResourceDisplay& resourceDisplay);

  // "Files not indexed: 1 of 11, and 1 folder could not be read. Images indexed: 10."
  static std::string makeSummaryText(const ImageLibraryScanSummary& summary,
                                     const AppLocalization& localizer);
  // The sidebar's line for the same failures: "2 files could not be read", "1 folder could not be
  // read", or, for both, "3 files and folders could not be read".
  static std::string makeFailureCountText(const ImageLibraryScanSummary& summary,
                                          const AppLocalization& localizer);
  // What started the scan, localized ("scanFailure.source.*").
  static std::string makeContextLine(const std::optional<ImageLibraryScanDiagnosticContext>& context,
                                     const AppLocalization& localizer);
  // The roots, shown, joined by ", "; "-" without a context or roots.
  static std::string makeRootPathsLine(const std::optional<ImageLibraryScanDiagnosticContext>& context,
                                       const ViewResourceDisplay& resourceDisplay);
  // The longest root (in characters; ties keep the context's order) containing the first
  // permission failure that lies under any root; a root "/a/b" does not contain "/a/bc/x.png".
  static std::optional<std::string> findReauthorizationRootPath(
      const std::vector<ImageLibraryScanFailure>& failures,
      const std::optional<ImageLibraryScanDiagnosticContext>& context);
  // The clipboard report: eight "key=value" lines ending in "failures:", then
  // "path<TAB>diagnosticMessage" per row; no line feed after the last line.
  static std::string makeDiagnosticsText(const ImageLibraryScanSummary& summary,
                                         const std::optional<ImageLibraryScanDiagnosticContext>& context,
                                         const std::vector<ScanFailureRecoveryRow>& rows,
                                         const ViewResourceDisplay& resourceDisplay);

  friend bool operator==(const ScanFailureDiagnosticsPresentation&,
                         const ScanFailureDiagnosticsPresentation&) = default;
};

// Seconds since 1970 with three decimals and a full stop, whatever the process locale.
std::string formatSecondsWithMilliseconds(double seconds);

}  // namespace lorvex::ui
