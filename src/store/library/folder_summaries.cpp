// The sidebar's registered folder list.
#include <exception>
#include <stop_token>
#include <tuple>
#include <utility>

#include "model/library_error.h"
#include "services/library_error_translation.h"
#include "store/async/run_blocking.h"
#include "store/library/library_model.h"

namespace lorvex {

namespace {

std::string failureText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const LibraryError& libraryError) {
    return libraryError.localizedDescription();
  } catch (const std::exception& other) {
    return other.what();
  } catch (...) {
    return "The registered folders could not be loaded.";
  }
}

}  // namespace

QCoro::Task<void> LibraryModel::loadRegisteredFolderSummaries() {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (context_.needsLiveServicePreparation()) co_return;
  const std::uint64_t generation = ++registeredFolderSummariesGeneration_;
  setIsLoadingRegisteredFolders(true);
  // The service in use now, even if the launch installs another while the call runs. A rebuilt
  // library's notice counts the marks that scans have given back by now.
  const bool recovering = libraryRecoveryNotice_ && libraryRecoveryNotice_->recoveredMarkCount;
  auto load = [service = context_.service(), recovering] {
    return std::pair(service->registeredFolderSummaries(),
                     recovering ? service->libraryRecoveryNotice() : std::nullopt);
  };
  // Nothing cancels a summaries load; named, as every argument of a co_await expression must be.
  const std::stop_token noStop;
  std::vector<RegisteredFolderSummary> summaries;
  std::optional<LibraryRecoveryNotice> notice;
  std::exception_ptr failure;
  try {
    std::tie(summaries, notice) = co_await runBlocking(context_.utilityPool(), noStop, load);
  } catch (...) {
    failure = std::current_exception();
  }
  if (generation != registeredFolderSummariesGeneration_) co_return;
  if (failure) {
    // The failure's own text, and its kind for the window (a folder list that cannot be read, a
    // library that cannot be), which the text alone does not tell.
    context_.setErrorMessage(failureText(failure), errorNotice(failure));
  } else {
    if (notice) setLibraryRecoveryNotice(std::move(notice));
    setRegisteredFolderSummaries(std::move(summaries));
    setHasLoadedRegisteredFolderSummaries(true);
    context_.setErrorMessage(std::nullopt);
  }
  setIsLoadingRegisteredFolders(false);
}

}  // namespace lorvex
