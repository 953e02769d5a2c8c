// Changing the registered folder set without scanning: removing a folder, or renewing the access
// to one the user picked again.
#include <exception>
#include <functional>
#include <stop_token>
#include <utility>

#include "services/indexing/scan_error_message.h"
#include "store/async/run_blocking.h"
#include "store/image_library_store.h"

namespace lorvex {

QCoro::Task<void> ImageLibraryStore::unregisterFolder(std::string path) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (isLibrarySyncInProgress_ || isTrashingDeleteCandidates_) co_return;
  const auto service = service_;
  const FolderSetChange change = [service, path] { service->unregisterFolder(path); };
  co_await applyFolderSetChange(change);
}

QCoro::Task<void> ImageLibraryStore::reauthorizeFolder(std::string url, std::string path) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  // Never refused: renewing access changes no indexed data, and a sync that runs meanwhile only
  // gains a folder it can read.
  const auto service = service_;
  const FolderSetChange change = [service, url, path] { service->reauthorizeFolder(url, path); };
  if (!co_await applyFolderSetChange(change)) co_return;
  // Last: restarting monitoring may have shown a message the renewed access has made stale.
  setErrorMessage(std::nullopt);
}

QCoro::Task<bool> ImageLibraryStore::applyFolderSetChange(FolderSetChange change) {
  auto frame = co_await scope_.enter();
  const std::stop_token noStop;
  std::exception_ptr failure;
  try {
    co_await runBlocking(*userInitiatedPool_, noStop, change);
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) {
    setErrorMessage(failure);
    co_return false;
  }
  co_await loadRegisteredFolderSummaries();
  co_await results_->refreshResults(ResultsModel::kFirstPageLimit, false);
  co_await restartBackgroundLibrarySync();
  co_return true;
}

}  // namespace lorvex
