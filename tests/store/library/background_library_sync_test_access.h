// How tests reach what BackgroundLibrarySync keeps to itself: the handles of its debounce and its
// recovery loop, and the fields only its own flows set, for arranging a monitoring state (a planner,
// intervals, the busy flag) without running the monitor.
#pragma once

#include <cstdint>
#include <utility>

#include "store/library/background_library_sync.h"

namespace lorvex {

struct BackgroundLibrarySyncTestAccess {
  static const StoreTask<void>& backgroundLibrarySyncTask(const BackgroundLibrarySync& sync) {
    return sync.backgroundLibrarySyncTask_;
  }
  static const StoreTask<void>& backgroundLibrarySyncMonitorRecoveryTask(const BackgroundLibrarySync& sync) {
    return sync.backgroundLibrarySyncMonitorRecoveryTask_;
  }

  static void setIsBackgroundSyncing(BackgroundLibrarySync& sync, bool value) {
    sync.setIsBackgroundSyncing(value);
  }
  static void setBackgroundLibrarySyncDebounceSeconds(BackgroundLibrarySync& sync, double value) {
    sync.setBackgroundLibrarySyncDebounceSeconds(value);
  }
  static void setMonitorRecoveryIntervalNanos(BackgroundLibrarySync& sync, std::uint64_t value) {
    sync.setMonitorRecoveryIntervalNanos(value);
  }
  static void setBackgroundSyncPlanner(BackgroundLibrarySync& sync, RegisteredFolderSyncPlanner value) {
    sync.setBackgroundSyncPlanner(std::move(value));
  }
  static void setBackgroundLibrarySyncTask(BackgroundLibrarySync& sync, StoreTask<void> value) {
    sync.setBackgroundLibrarySyncTask(std::move(value));
  }
  static void setBackgroundLibrarySyncMonitorRecoveryTask(BackgroundLibrarySync& sync,
                                                          StoreTask<void> value) {
    sync.setBackgroundLibrarySyncMonitorRecoveryTask(std::move(value));
  }
};

}  // namespace lorvex
