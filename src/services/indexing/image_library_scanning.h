// Indexing the library's folders: a full scan of given roots, a scan limited to paths that folder
// monitoring reported, and the resumption of a scan an earlier run left unfinished. Each returns
// the summary of its indexing job; files that could not be indexed are listed there and never
// stop a scan.
//
// Every call can be stopped through its stop token, which is looked at between files: a stopped
// call throws ScanCancelledError once the file in hand is done, and its job stays unfinished
// exactly as if the process had been killed there, for resumeInterruptedJob to finish later.
//
// Thread safety: every call runs synchronously on the caller's thread; the progress handler is
// called on that thread and the scan goes on only when it returns.
#pragma once

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "model/image_library_scan_summary.h"
#include "model/indexing_job.h"
#include "model/library_error.h"

namespace lorvex {

// A scan whose caller requested a stop; its job is left for resumption.
class ScanCancelledError : public LibraryError {
 public:
  ScanCancelledError() : LibraryError(Kind::cancelled, "The scan was cancelled") {}
};

class ImageLibraryScanning {
 public:
  using ProgressHandler = std::function<void(const ImageLibraryIndexingProgress&)>;

  virtual ~ImageLibraryScanning() = default;

  // Indexes every PNG file under the roots (absolute paths) and marks the library's files under
  // them that are gone as missing. A file found at a new place whose content was at an old one
  // that is gone takes the review state it had there: an old place below the roots that no longer
  // holds it, or a missing record of that content from any earlier scan (a registered folder moved
  // away, whose files the caller has marked missing, among them). The old place gives the state up.
  // Throws when the job cannot be started or kept (a database error) or a root cannot be read; the
  // job then stays running for resumeInterruptedJob.
  virtual ImageLibraryScanSummary scan(const std::vector<std::string>& roots, const ProgressHandler& progress,
                                       std::stop_token stop) = 0;

  // Looks only at `changedPaths` that lie at or under one of `roots` (all registered folders): a
  // path that is gone has its files marked missing, a file is indexed when it changed, a folder is
  // walked and its files that the walk did not see are marked missing. A file found at a new place
  // takes the review state it had at a place reported gone, as in scan(). Throws as scan() does.
  virtual ImageLibraryScanSummary scanChangedPaths(const std::vector<std::string>& changedPaths,
                                                   const std::vector<std::string>& roots,
                                                   const ProgressHandler& progress, std::stop_token stop) = 0;

  // Finishes the most recently updated unfinished job over those of its roots that still exist, as
  // scan() would have (its former places included); nothing when no job is unfinished.
  virtual std::optional<ImageLibraryScanSummary> resumeInterruptedJob(const ProgressHandler& progress,
                                                                      std::stop_token stop) = 0;
};

}  // namespace lorvex
