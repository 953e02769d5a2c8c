#include "ui/sidebar/scan_failure_diagnostics_presentation.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "model/raw_value.h"
#include "model/text/graphemes.h"
#include "model/text/paths.h"
#include "ui/common/error_notice_text.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;
using Source = ImageLibraryScanDiagnosticSource;
using FailureKind = ImageLibraryScanFailure::Kind;

Key guidanceKey(FailureKind kind, ScanFailureSubject subject) {
  // Whatever the system said, the person acts on what the name holds now.
  if (subject == ScanFailureSubject::nonRegularFile) return Key::scanFailureGuidanceNotRegular;
  if (subject == ScanFailureSubject::folder) {
    // A folder's failure is never one of a PNG's metadata; whatever else kept it closed is told
    // as a folder that could not be read.
    switch (kind) {
      case FailureKind::permission:
        return Key::scanFailureGuidanceFolderPermission;
      case FailureKind::missing:
        return Key::scanFailureGuidanceFolderMissing;
      case FailureKind::metadata:
      case FailureKind::general:
        break;
    }
    return Key::scanFailureGuidanceFolderGeneral;
  }
  switch (kind) {
    case FailureKind::permission:
      return Key::scanFailureGuidancePermission;
    case FailureKind::missing:
      return Key::scanFailureGuidanceMissing;
    case FailureKind::metadata:
      return Key::scanFailureGuidanceMetadata;
    case FailureKind::general:
      return Key::scanFailureGuidanceGeneral;
  }
  return Key::scanFailureGuidanceGeneral;
}

Key sourceKey(Source source) {
  switch (source) {
    case Source::folderRegistration:
      return Key::scanFailureSourceFolderRegistration;
    case Source::manualSync:
      return Key::scanFailureSourceManualSync;
    case Source::singleFolderSync:
      return Key::scanFailureSourceSingleFolderSync;
    case Source::backgroundFullScan:
      return Key::scanFailureSourceBackgroundFullScan;
    case Source::backgroundChangedPaths:
      return Key::scanFailureSourceBackgroundChangedPaths;
    case Source::resumeInterrupted:
      return Key::scanFailureSourceResumeInterrupted;
  }
  return Key::scanFailureSourceUnknown;
}

bool liesAtOrUnderRoot(std::string_view path, std::string_view root) {
  if (path == root) return true;
  if (!root.empty() && root.back() == '/') return path.starts_with(root);
  return path.size() > root.size() && path.starts_with(root) && path[root.size()] == '/';
}

std::string fileNameOf(std::string_view path) {
  // A file URL's last component ignores trailing slashes.
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return std::string(text::lastPathComponent(path));
}

// The failures that are folders the scan could not read, and the files: each folder also counts
// among the scanned and failed "files" of the summary, as the job queues it like one.
struct FailureCounts {
  std::int64_t folders = 0;
  std::int64_t files = 0;
  std::int64_t scannedFiles = 0;
};

FailureCounts failureCounts(const ImageLibraryScanSummary& summary) {
  FailureCounts counts;
  for (const ImageLibraryScanFailure& failure : summary.failures) {
    if (ImageLibraryScanFailure::concernsFolder(failure.message)) ++counts.folders;
  }
  counts.files = std::max<std::int64_t>(0, summary.failedFileCount - counts.folders);
  counts.scannedFiles = std::max<std::int64_t>(0, summary.scannedFileCount - counts.folders);
  return counts;
}

}  // namespace

std::string ScanFailureDiagnosticsPresentation::makeSummaryText(const ImageLibraryScanSummary& summary,
                                                                const AppLocalization& localizer) {
  const FailureCounts counts = failureCounts(summary);
  if (counts.folders == 0) {
    return localizer.lookup(Key::scanFailureDetailsSummary,
                            {summary.failedFileCount, summary.scannedFileCount, summary.indexedImageCount});
  }
  if (counts.files == 0) {
    return localizer.lookup(pluralKey(counts.folders, Key::scanFailureDetailsSummaryFoldersOne,
                                      Key::scanFailureDetailsSummaryFoldersOther),
                            {counts.folders, summary.indexedImageCount});
  }
  return localizer.lookup(pluralKey(counts.folders, Key::scanFailureDetailsSummaryFilesAndFoldersOne,
                                    Key::scanFailureDetailsSummaryFilesAndFoldersOther),
                          {counts.files, counts.scannedFiles, summary.indexedImageCount, counts.folders});
}

std::string ScanFailureDiagnosticsPresentation::makeFailureCountText(const ImageLibraryScanSummary& summary,
                                                                     const AppLocalization& localizer) {
  const FailureCounts counts = failureCounts(summary);
  if (counts.folders == 0) {
    return localizer.lookup(
        pluralKey(counts.files, Key::libraryFailedFileCountOne, Key::libraryFailedFileCountOther),
        {counts.files});
  }
  if (counts.files == 0) {
    return localizer.lookup(
        pluralKey(counts.folders, Key::libraryFailedFolderCountOne, Key::libraryFailedFolderCountOther),
        {counts.folders});
  }
  return localizer.lookup(Key::libraryFailedFileAndFolderCount, {counts.files + counts.folders});
}

std::string formatSecondsWithMilliseconds(double seconds) {
  if (!std::isfinite(seconds)) return std::isnan(seconds) ? "nan" : (seconds < 0 ? "-inf" : "inf");
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, 3);
  return std::string(buffer, result.ptr);
}

std::string ScanFailureDiagnosticsPresentation::makeContextLine(
    const std::optional<ImageLibraryScanDiagnosticContext>& context, const AppLocalization& localizer) {
  if (!context) return localizer.lookup(Key::scanFailureSourceUnknown);
  if (context->source == Source::backgroundChangedPaths) {
    return localizer.lookup(sourceKey(context->source), {context->changedPathCount.value_or(0)});
  }
  return localizer.lookup(sourceKey(context->source));
}

std::string ScanFailureDiagnosticsPresentation::makeRootPathsLine(
    const std::optional<ImageLibraryScanDiagnosticContext>& context,
    const ViewResourceDisplay& resourceDisplay) {
  if (!context || context->rootPaths.empty()) return "-";
  std::string line;
  for (const std::string& root : context->rootPaths) {
    if (!line.empty()) line += ", ";
    line += resourceDisplay.displayText(root);
  }
  return line;
}

std::optional<std::string> ScanFailureDiagnosticsPresentation::findReauthorizationRootPath(
    const std::vector<ImageLibraryScanFailure>& failures,
    const std::optional<ImageLibraryScanDiagnosticContext>& context) {
  if (!context) return std::nullopt;
  struct Root {
    std::size_t length;
    const std::string* path;
  };
  std::vector<Root> roots;
  roots.reserve(context->rootPaths.size());
  for (const std::string& root : context->rootPaths) roots.push_back({text::graphemeCount(root), &root});
  std::stable_sort(roots.begin(), roots.end(),
                   [](const Root& a, const Root& b) { return a.length > b.length; });
  for (const ImageLibraryScanFailure& failure : failures) {
    if (failure.kind != FailureKind::permission) continue;
    for (const Root& root : roots) {
      if (liesAtOrUnderRoot(failure.path, *root.path)) return *root.path;
    }
  }
  return std::nullopt;
}

std::string ScanFailureDiagnosticsPresentation::makeDiagnosticsText(
    const ImageLibraryScanSummary& summary, const std::optional<ImageLibraryScanDiagnosticContext>& context,
    const std::vector<ScanFailureRecoveryRow>& rows, const ViewResourceDisplay& resourceDisplay) {
  std::string report;
  report += "source=";
  report += context ? std::string(rawValue(context->source)) : std::string("unknown");
  report += "\ncompletedAt=";
  report += context ? formatSecondsWithMilliseconds(context->completedAt) : std::string("-");
  report += "\nroots=";
  if (!context) {
    report += "-";
  } else {
    for (std::size_t i = 0; i < context->rootPaths.size(); ++i) {
      if (i > 0) report += ",";
      report += context->rootPaths[i];
    }
  }
  report += "\nchangedPathCount=";
  report +=
      context && context->changedPathCount ? std::to_string(*context->changedPathCount) : std::string("-");
  report += "\nscanned=" + std::to_string(summary.scannedFileCount);
  report += "\nindexed=" + std::to_string(summary.indexedImageCount);
  report += "\nfailed=" + std::to_string(summary.failedFileCount);
  report += "\nfailures:";
  for (const ScanFailureRecoveryRow& row : rows) {
    report += "\n";
    report += row.path;
    report += "\t";
    report += row.diagnosticMessage;
  }
  return resourceDisplay.displayText(report);
}

ScanFailureDiagnosticsPresentation ScanFailureDiagnosticsPresentation::make(
    const ImageLibraryScanSummary& summary, const std::optional<ImageLibraryScanDiagnosticContext>& context,
    const AppLocalization& localizer, const ViewResourceDisplay& resourceDisplay) {
  ScanFailureDiagnosticsPresentation p;
  p.title = localizer.lookup(Key::scanFailureDetailsTitle);
  p.summaryText = makeSummaryText(summary, localizer);
  p.contextText = localizer.lookup(Key::scanFailureDetailsContext, {makeContextLine(context, localizer)});
  p.rootPathsText =
      localizer.lookup(Key::scanFailureDetailsRoots, {makeRootPathsLine(context, resourceDisplay)});
  p.retryGuidanceText = localizer.lookup(Key::scanFailureRetryGuidance);
  p.copyDiagnosticsButtonTitle = localizer.lookup(Key::scanFailureCopyDiagnostics);
  p.revealInFinderButtonTitle = localizer.lookup(Key::commonOpenInFinder);
  p.rescanButtonTitle = localizer.lookup(Key::librarySyncRegisteredFoldersAction);
  p.reauthorizeButtonTitle = localizer.lookup(Key::libraryAllowAccess);
  p.closeButtonTitle = localizer.lookup(Key::commonClose);
  p.reauthorizationRootPath = findReauthorizationRootPath(summary.failures, context);
  p.failureRows.reserve(summary.failures.size());
  // One text and one guidance per kind of each subject, not two lookups per failure: a scan may
  // leave thousands.
  std::optional<std::string> reason[3][4];
  std::optional<std::string> guidance[3][4];
  for (const ImageLibraryScanFailure& failure : summary.failures) {
    const ScanFailureSubject subject = scanFailureSubject(failure.message);
    const auto kind = static_cast<std::size_t>(failure.kind);
    std::optional<std::string>& kindText = reason[static_cast<std::size_t>(subject)][kind];
    std::optional<std::string>& kindGuidance = guidance[static_cast<std::size_t>(subject)][kind];
    if (!kindText)
      kindText = errorNoticeText(scanFailureNotice(failure.kind, subject), localizer, resourceDisplay);
    if (!kindGuidance) kindGuidance = localizer.lookup(guidanceKey(failure.kind, subject));
    std::string fileName = fileNameOf(failure.path);
    std::string message =
        failureLineText(*kindText, ImageLibraryScanFailure::detail(failure.message), fileName);
    p.failureRows.push_back({failure.path, resourceDisplay.displayText(failure.path), std::move(fileName),
                             std::move(message), failure.message, *kindGuidance, failure.kind});
  }
  p.diagnosticsText = makeDiagnosticsText(summary, context, p.failureRows, resourceDisplay);
  return p;
}

}  // namespace lorvex::ui
