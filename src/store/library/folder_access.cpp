// Changing the registered folder set without scanning: removing a folder, or renewing the access
// to one the user picked again.
#include <exception>
#include <functional>
#include <stop_token>
#include <utility>

#include "store/async/run_blocking.h"
#include "store/library/library_model.h"

namespace lorvex {

QCoro::Task<void> LibraryModel::unregisterFolder(std::string path) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (isLibrarySyncInProgress_ || dependents_.isTrashingDeleteCandidates()) co_return;
  const auto service = context_.service();
  const FolderSetChange change = [service, path] { service->unregisterFolder(path); };
  co_await applyFolderSetChange(change);
}

QCoro::Task<void> LibraryModel::reauthorizeFolder(std::string url, std::string path) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  // Never refused: renewing access changes no indexed data, and a sync that runs meanwhile only
  // gains a folder it can read.
  const auto service = context_.service();
  const FolderSetChange change = [service, url, path] { service->reauthorizeFolder(url, path); };
  if (!co_await applyFolderSetChange(change)) co_return;
  // Last: restarting monitoring may have shown a message the renewed access has made stale.
  context_.setErrorMessage(std::nullopt);
}

QCoro::Task<bool> LibraryModel::applyFolderSetChange(FolderSetChange change) {
  auto frame = co_await context_.scope().enter();
  const std::stop_token noStop;
  std::exception_ptr failure;
  try {
    co_await runBlocking(context_.userInitiatedPool(), noStop, change);
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) {
    context_.setErrorMessage(failure);
    co_return false;
  }
  co_await loadRegisteredFolderSummaries();
  co_await dependents_.reloadResults();
  co_await backgroundSync_->restartBackgroundLibrarySync();
  co_return true;
}

}  // namespace lorvex
