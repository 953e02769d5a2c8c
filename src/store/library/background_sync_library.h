// BackgroundSyncLibrary: what background sync reads and sets of the library it belongs to. A
// background pass is library work like any other: it waits while other library work runs, raises
// the library's busy flag, runs its scan through the library's indexing runner (with its live
// progress) and records what it scanned where the library keeps its last scan. The library model
// implements it; background sync never reads the library's other fields.
//
// Thread safety: the creating thread only (the main thread).
#pragma once

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>
#include <stop_token>

#include "model/image_library_scan_summary.h"
#include "model/scan_diagnostic_context.h"
#include "services/image_library_servicing.h"

namespace lorvex {

class BackgroundSyncLibrary {
 public:
  // A scan run off the main thread, as the library's indexing runner takes it.
  using IndexingOperation = std::function<std::optional<ImageLibraryScanSummary>(
      const ImageLibraryServicing::ProgressHandler& progress, std::stop_token stop)>;

  virtual ~BackgroundSyncLibrary() = default;

  // Other library work runs (a scan a person asked for, or a background pass).
  virtual bool isLibrarySyncInProgress() const = 0;
  // Raised while a background pass runs, lowered when it leaves by any path.
  virtual void setIsLibrarySyncInProgress(bool value) = 0;
  // Runs `operation` on the utility pool with live progress; its summary, or nothing when there was
  // nothing to record; rethrows its error.
  virtual QCoro::Task<std::optional<ImageLibraryScanSummary>> runIndexingOperation(
      IndexingOperation operation) = 0;
  // Records a finished pass as the library's last scan and its diagnostic context, in that order.
  virtual void recordScan(ImageLibraryScanSummary summary, ImageLibraryScanDiagnosticContext context) = 0;
  // Reloads the sidebar's folder list.
  virtual QCoro::Task<void> loadRegisteredFolderSummaries() = 0;
};

}  // namespace lorvex
