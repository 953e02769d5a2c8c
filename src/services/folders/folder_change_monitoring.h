// Folder change monitoring: reports changes below the registered folders as batches, so the
// library can rescan only what changed. The store's background sync starts monitoring with the
// event id of its last handled batch and stores the id of every batch it has handled.
//
// Thread safety: start, stop and currentEventID may be called from any thread; the change handler
// and failure handlers are called on the monitor's own thread, one call at a time, and may call stop
// (but not start).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/library_error.h"
#include "model/registered_folder.h"

namespace lorvex {

class FolderChangeMonitorError : public LibraryError {
 public:
  enum class Code {
    streamCreationFailed,  // the monitor's system resources could not be created
    streamStartFailed,     // the monitor's thread could not be started
    watchLimitReached,     // the per-user limit of watched folders is exhausted
  };

  explicit FolderChangeMonitorError(Code code);

  Code code() const { return code_; }

 private:
  Code code_;
};

using FolderChangeHandler = std::function<void(const RegisteredFolderChangeBatch&)>;
// Told why monitoring ended on its own after a start succeeded (the watch limit was reached while
// arming the folders below the roots); no batch follows. Never called for a stop or a replacement.
using FolderMonitoringFailureHandler = std::function<void(const FolderChangeMonitorError&)>;

class FolderChangeMonitoring {
 public:
  virtual ~FolderChangeMonitoring() = default;

  // An event id at or after every event reported so far; ids only grow, across launches too.
  virtual std::uint64_t currentEventID() = 0;

  // Monitors `roots` (absolute canonical folder paths) from now on, replacing the monitoring that
  // was running; an empty list stops monitoring. `sinceEventID` is the id of the last batch the
  // caller handled: changes after it that cannot be replayed are reported as a full-rescan batch.
  // `onFailure` belongs to this start: it hears only of this monitoring ending on its own.
  // Throws FolderChangeMonitorError; the previous monitoring then keeps running.
  virtual void start(const std::vector<std::string>& roots, std::optional<std::uint64_t> sinceEventID,
                     FolderChangeHandler onChange, FolderMonitoringFailureHandler onFailure) = 0;

  // Ends monitoring; no batch is delivered after it returns (when called from the handler, the
  // running call is the last). Does nothing when stopped.
  virtual void stop() = 0;
};

// The next id of the process-wide folder event counter: the realtime clock in nanoseconds, or one
// more than the previous id when the clock has not moved past it. Below 2^63.
std::uint64_t nextFolderEventID();

}  // namespace lorvex
