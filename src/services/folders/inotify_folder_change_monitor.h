// Folder change monitoring on Linux, through inotify.
//
// One monitor thread per start: it watches every folder below the roots (inotify watches are per
// folder, so the tree is armed recursively on that thread and starting costs the caller only a
// few system calls), keeps the watches right as folders are created and moved, and gathers
// changes for one latency period (1.0 s) after the first change before delivering them as one
// batch. Each batch carries the id of the process-wide folder event counter at delivery.
//
// A batch requires a full rescan (and names no paths) when changes may have been missed: the
// kernel's event queue overflowed, a root folder was deleted, moved or replaced, a root that was
// unavailable appeared, or start was given a `sinceEventID` — inotify cannot replay history, so
// everything after that id up to the moment the watches were complete (which is always later) is
// caught up by rescanning. A new folder is reported as a changed path once its watch is armed, so
// the files written into it before that are found by scanning it. Folders whose names begin with
// "." below the roots are neither watched nor reported: nothing in them is indexed, and each watch
// counts against the per-user inotify limit. Unavailable roots are looked at again every few
// seconds.
//
// Every delay (the latency, the root recheck, the pairing of a move's two halves) is measured on
// the injected clock's monotonic reading, so tests drive the monitor with a ManualClock and
// `catchUp` instead of sleeping.
//
// Thread safety: see FolderChangeMonitoring. The change and failure handlers run on the monitor
// thread.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "services/folders/folder_change_monitoring.h"

namespace lorvex {
namespace platform {
class Clock;
}  // namespace platform

class InotifyFolderChangeMonitor final : public FolderChangeMonitoring {
 public:
  struct Options {
    std::chrono::milliseconds latency{1000};
    std::chrono::milliseconds rootRecheckInterval{3000};
    // The clock the delays are measured on; the system clock when null. Must outlive the monitor.
    const platform::Clock* clock = nullptr;
  };

  InotifyFolderChangeMonitor();
  explicit InotifyFolderChangeMonitor(Options options);
  ~InotifyFolderChangeMonitor() override;
  InotifyFolderChangeMonitor(const InotifyFolderChangeMonitor&) = delete;
  InotifyFolderChangeMonitor& operator=(const InotifyFolderChangeMonitor&) = delete;

  std::uint64_t currentEventID() override;
  // Throws streamCreationFailed (no inotify instance or wake-up descriptor), streamStartFailed (no
  // thread) or watchLimitReached (a root could not be watched for the per-user limit).
  // `onFailure` is called on the monitor thread when monitoring ends on its own: the watch limit was
  // reached while arming folders below the roots. The failure is logged as well.
  void start(const std::vector<std::string>& roots, std::optional<std::uint64_t> sinceEventID,
             FolderChangeHandler onChange, FolderMonitoringFailureHandler onFailure) override;
  void stop() override;

  // Waits until the running monitor has armed its watches; false on timeout or when not running.
  bool waitUntilWatching(std::chrono::milliseconds timeout);
  // Waits until the running monitor has handled every change the kernel reported before this call
  // and acted on the clock's current reading: a batch that is due has been delivered (its handler
  // has returned) and roots due for a recheck have been looked at. For tests that move a
  // ManualClock. False on timeout or when not running. Never call it from the change handler.
  bool catchUp(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // The number of folders the running monitor watches (0 when stopped); for tests and benchmarks.
  std::size_t watchedFolderCount();
  // Makes the running monitor behave as if the kernel's event queue had overflowed (tests).
  void simulateQueueOverflow();

 private:
  class Session;
  std::shared_ptr<Session> currentSession();

  // Stops the session's thread (if any) and joins it and those stopped earlier from their own
  // handler.
  void endSession(const std::shared_ptr<Session>& session);

  Options options_;
  std::mutex lock_;  // guards session_ and selfStopped_
  std::shared_ptr<Session> session_;
  // Threads of sessions stopped from their own handler: joined by the next start or stop made from
  // another thread, so that none is left running when the program ends.
  std::vector<std::thread> selfStopped_;
};

}  // namespace lorvex
