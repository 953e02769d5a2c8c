// The bookkeeping behind background library sync: whether folder monitoring must stop, keep
// running or restart for the registered and available folders; the change batches gathered until
// the store's debounce fires, handed out as one merged batch; and the change events the program
// caused itself by moving delete candidates to the Trash, which are dropped once.
//
// A plain value: no threads, no locks, no system calls apart from resolving folder paths. The
// store keeps one and uses it on the main thread only. It reads and writes `isMonitoring`,
// `monitoredRootURLs` and `locallyHandledTrashPaths` itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "model/registered_folder.h"

namespace lorvex {

struct RegisteredFolderMonitoringDecision {
  enum class Kind { stop, keep, start };
  Kind kind = Kind::stop;
  std::vector<std::string> roots;  // for `start`: the folders to monitor
  // Every registered folder is monitored and nothing else is.
  bool coversAllRegisteredFolders = false;

  friend bool operator==(const RegisteredFolderMonitoringDecision&,
                         const RegisteredFolderMonitoringDecision&) = default;
};

struct RegisteredFolderSyncPlanner {
  // More pending paths than this turn the pending batch into a full rescan.
  static constexpr std::size_t kMaxPendingPaths = 20'000;

  bool isMonitoring = false;
  std::vector<std::string> monitoredRootURLs;  // the roots of the running monitor, as started
  // Files the program itself moved to the Trash while monitoring; their next change is ignored.
  std::unordered_set<std::string> locallyHandledTrashPaths;
  bool hasPendingBatch = false;
  std::unordered_set<std::string> pendingChangedPaths;
  std::vector<std::string> pendingChangedURLs;  // first-seen order, one per standardised path
  std::optional<std::uint64_t> pendingLastEventID;
  bool pendingRequiresFullRescan = false;

  // What monitoring needs for these registered folders (paths) and the available ones (their
  // resolved locations). A monitored folder that became unavailable stays among the roots.
  RegisteredFolderMonitoringDecision monitoringDecision(
      const std::vector<std::string>& registeredPaths,
      const std::vector<std::string>& availableRootURLs) const;

  void enqueue(const RegisteredFolderChangeBatch& batch);

  // The merged pending batch (paths sorted), or nothing when nothing was enqueued since the last
  // take; the pending state is emptied.
  std::optional<RegisteredFolderChangeBatch> takePendingBatch();

  // The batch without the changes of files the program trashed itself; nothing when every change
  // was such a file and the batch carries no event id.
  std::optional<RegisteredFolderChangeBatch> removingLocallyHandledChanges(
      const RegisteredFolderChangeBatch& batch);

  // Forgets the trashed files at or below these roots (after a full scan of them).
  void clearLocallyHandledTrashPaths(const std::vector<std::string>& roots);
};

}  // namespace lorvex
