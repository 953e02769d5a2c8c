// Registering the folders chosen in the folder picker: the service records them, a full scan
// indexes them with live progress, and everything that depends on the folder set follows.
#include <atomic>
#include <exception>
#include <memory>
#include <unordered_set>
#include <utility>

#include "services/folders/canonical_folder_path.h"
#include "store/async/scope_exit.h"
#include "store/library/library_model.h"

namespace lorvex {

namespace {

// The roots a search includes while the registration runs: each folder in its canonical form,
// once, in the order chosen (the same folder picked twice, once through a symbolic link, counts
// once).
std::vector<std::string> registrationRootPaths(const std::vector<std::string>& folderURLs) {
  std::vector<std::string> roots;
  std::unordered_set<std::string> seen;
  for (const auto& url : folderURLs) {
    std::string root = canonicalFolderPath(url);
    if (seen.insert(root).second) roots.push_back(std::move(root));
  }
  return roots;
}

}  // namespace

QCoro::Task<void> LibraryModel::registerFolders(std::vector<std::string> folderURLs) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (folderURLs.empty() || isLibrarySyncInProgress_ || dependents_.isTrashingDeleteCandidates()) co_return;
  // Whether the service took the folders on before something failed: they are registered then,
  // scanned or not, and the sidebar and monitoring must know them.
  const auto registered = std::make_shared<std::atomic<bool>>(false);
  RequestedScanOutcome outcome;
  {
    const auto libraryWork = beginRequestedScan();
    // Declared after the flags' guard, so the roots go first: no search takes them while the flags
    // still say a registration runs.
    const ScopeExit clearRoots(context_.scope().link(), [this] { setActiveFolderRegistrationRootPaths({}); });
    setActiveFolderRegistrationRootPaths(registrationRootPaths(folderURLs));

    const auto service = context_.service();
    // Taken before the service work begins: changes made to the folders while they are scanned
    // come again from monitoring, which starts from this position.
    const std::uint64_t checkpoint = service->currentFolderEventID();
    const IndexingOperation operation = [service, folderURLs, checkpoint, registered](
                                            const ImageLibraryServicing::ProgressHandler& progress,
                                            std::stop_token stop) -> std::optional<ImageLibraryScanSummary> {
      service->registerFolders(folderURLs);
      registered->store(true);
      ImageLibraryScanSummary summary = service->scanLibrary(folderURLs, progress, stop);
      // Whatever the failure count: the failed files were looked at and are in the summary.
      service->storeFolderEventID(folderURLs, checkpoint);
      return summary;
    };
    outcome = co_await runRequestedScan(operation, folderURLs,
                                        ImageLibraryScanDiagnosticSource::folderRegistration);
  }
  // Monitoring restarts once the registration's flags are down: a folder left without a stored
  // position gets its full pass from the recovery loop at once, which other library work would
  // refuse.
  if (outcome.failure) {
    if (registered->load()) {
      // Both clear the error message when they succeed, so the failure is shown after them.
      co_await loadRegisteredFolderSummaries();
      co_await backgroundSync_->restartBackgroundLibrarySync();
    }
    context_.setErrorMessage(outcome.failure);
    co_return;
  }
  // Monitoring follows the new folder set.
  if (outcome.recorded) co_await backgroundSync_->restartBackgroundLibrarySync();
}

}  // namespace lorvex
