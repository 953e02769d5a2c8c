#include "services/folders/registered_folder_sync_planner.h"

#include <algorithm>
#include <map>
#include <set>

#include "model/text/paths.h"
#include "services/folders/canonical_folder_path.h"

namespace lorvex {
namespace {

void eraseAtOrUnder(std::unordered_set<std::string>& paths, const std::string& folder) {
  std::erase_if(paths, [&](const std::string& path) { return text::isPathAtOrUnder(path, folder); });
}

}  // namespace

RegisteredFolderMonitoringDecision RegisteredFolderSyncPlanner::monitoringDecision(
    const std::vector<std::string>& registeredPaths,
    const std::vector<std::string>& availableRootURLs) const {
  std::set<std::string> registered;
  for (const auto& path : registeredPaths) registered.insert(canonicalFolderPath(path));

  std::map<std::string, std::string> rootsByCanonicalPath;
  std::vector<std::string> monitoredCanonical;
  monitoredCanonical.reserve(monitoredRootURLs.size());
  for (const auto& root : monitoredRootURLs) {
    std::string canonical = canonicalFolderPath(root);
    if (registered.contains(canonical)) rootsByCanonicalPath[canonical] = root;
    monitoredCanonical.push_back(std::move(canonical));
  }
  for (const auto& root : availableRootURLs) rootsByCanonicalPath[canonicalFolderPath(root)] = root;

  RegisteredFolderMonitoringDecision decision;
  std::vector<std::string> rootPaths;
  for (const auto& [canonical, root] : rootsByCanonicalPath) {
    rootPaths.push_back(canonical);
    decision.roots.push_back(root);
  }
  decision.coversAllRegisteredFolders =
      std::set<std::string>(rootPaths.begin(), rootPaths.end()) == registered;
  std::sort(monitoredCanonical.begin(), monitoredCanonical.end());
  if (decision.roots.empty()) {
    decision.kind = RegisteredFolderMonitoringDecision::Kind::stop;
  } else if (rootPaths == monitoredCanonical) {
    decision.kind = RegisteredFolderMonitoringDecision::Kind::keep;
  } else {
    decision.kind = RegisteredFolderMonitoringDecision::Kind::start;
    return decision;
  }
  decision.roots.clear();
  return decision;
}

void RegisteredFolderSyncPlanner::enqueue(const RegisteredFolderChangeBatch& batch) {
  hasPendingBatch = true;
  if (!pendingLastEventID) {
    pendingLastEventID = batch.lastEventID;
  } else if (batch.lastEventID) {
    pendingLastEventID = std::max(*pendingLastEventID, *batch.lastEventID);
  }
  pendingRequiresFullRescan = pendingRequiresFullRescan || batch.requiresFullRescan;
  for (const auto& url : batch.changedURLs) {
    std::string path = text::standardizedPath(url);
    if (pendingChangedPaths.insert(path).second) pendingChangedURLs.push_back(std::move(path));
  }
  if (pendingChangedPaths.size() > kMaxPendingPaths) {
    pendingRequiresFullRescan = true;
    pendingChangedPaths.clear();
    pendingChangedURLs.clear();
  }
}

std::optional<RegisteredFolderChangeBatch> RegisteredFolderSyncPlanner::takePendingBatch() {
  if (!hasPendingBatch) return std::nullopt;
  RegisteredFolderChangeBatch batch;
  batch.changedURLs = std::move(pendingChangedURLs);
  std::stable_sort(batch.changedURLs.begin(), batch.changedURLs.end());
  batch.lastEventID = pendingLastEventID;
  batch.requiresFullRescan = pendingRequiresFullRescan;
  hasPendingBatch = false;
  pendingChangedPaths.clear();
  pendingChangedURLs.clear();
  pendingLastEventID.reset();
  pendingRequiresFullRescan = false;
  return batch;
}

std::optional<RegisteredFolderChangeBatch> RegisteredFolderSyncPlanner::removingLocallyHandledChanges(
    const RegisteredFolderChangeBatch& batch) {
  if (locallyHandledTrashPaths.empty()) return batch;
  if (batch.requiresFullRescan) {
    locallyHandledTrashPaths.clear();
    return batch;
  }
  std::vector<std::string> remaining;
  bool droppedAny = false;
  for (const auto& url : batch.changedURLs) {
    if (locallyHandledTrashPaths.erase(url) > 0) {
      droppedAny = true;
      continue;
    }
    eraseAtOrUnder(locallyHandledTrashPaths, url);
    remaining.push_back(url);
  }
  if (!droppedAny) return batch;
  if (remaining.empty() && !batch.lastEventID) return std::nullopt;
  return RegisteredFolderChangeBatch{std::move(remaining), batch.lastEventID, false};
}

void RegisteredFolderSyncPlanner::clearLocallyHandledTrashPaths(const std::vector<std::string>& roots) {
  for (const auto& root : roots) eraseAtOrUnder(locallyHandledTrashPaths, root);
}

}  // namespace lorvex
