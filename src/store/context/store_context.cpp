#include "store/context/store_context.h"

#include <string>
#include <utility>

#include "platform/log.h"
#include "services/indexing/scan_error_message.h"
#include "services/library_error_translation.h"
#include "store/observed_value.h"

namespace lorvex {

StoreContext::StoreContext(std::shared_ptr<ImageLibraryServicing> service,
                           ProductFeatureAvailability featureAvailability, StoreClock& clock,
                           QThreadPool& userInitiatedPool, QThreadPool& utilityPool, QObject* parent)
    : QObject(parent),
      service_(std::move(service)),
      featureAvailability_(featureAvailability),
      clock_(&clock),
      userInitiatedPool_(&userInitiatedPool),
      utilityPool_(&utilityPool),
      scope_(std::make_unique<CoroutineScope>()) {}

StoreContext::~StoreContext() = default;

void StoreContext::endFlows() {
  creatingThread_.check();
  scope_.reset();
}

void StoreContext::setService(std::shared_ptr<ImageLibraryServicing> value) {
  creatingThread_.check();
  service_ = std::move(value);
}

void StoreContext::setNeedsLiveServicePreparation(bool value) {
  creatingThread_.check();
  assignObserved(needsLiveServicePreparation_, value, this,
                 &StoreContext::needsLiveServicePreparationChanged);
}

StoreTask<void> StoreContext::startDetached(std::function<QCoro::Task<void>()> work) {
  creatingThread_.check();
  auto run = [this, work = std::move(work)](std::stop_token) { return runDetached(work); };
  return startStoreTask(*scope_, std::move(run));
}

QCoro::Task<void> StoreContext::runDetached(std::function<QCoro::Task<void>()> work) {
  auto frame = co_await scope_->enter();
  creatingThread_.check();
  // Nobody awaits this flow, so an error it ends with would otherwise vanish.
  try {
    co_await work();
  } catch (const std::exception& error) {
    platform::logError("Store", std::string("a detached store flow failed: ") + error.what());
  } catch (...) {
    platform::logError("Store", "a detached store flow failed");
  }
}

void StoreContext::setErrorMessage(std::optional<std::string> value) {
  setErrorMessage(std::move(value), std::nullopt);
}

void StoreContext::setErrorMessage(std::optional<std::string> value, std::optional<ErrorNotice> notice) {
  creatingThread_.check();
  if (!value && heldWorkFailure_) {
    value = heldWorkFailure_->first;
    notice = heldWorkFailure_->second;
  } else if (!value) {
    notice.reset();
  } else if (!notice) {
    notice = ErrorNotice{};
  }
  if (value == errorMessage_ && notice == errorNotice_) return;
  errorMessage_ = std::move(value);
  errorNotice_ = std::move(notice);
  Q_EMIT errorMessageChanged();
}

void StoreContext::setErrorMessage(const std::exception_ptr& failure) {
  setErrorMessage(lorvex::errorMessage(failure), lorvex::errorNotice(failure));
}

void StoreContext::holdWorkFailure(const std::exception_ptr& failure) {
  heldWorkFailure_.emplace(lorvex::errorMessage(failure), lorvex::errorNotice(failure));
  setErrorMessage(failure);
}

void StoreContext::releaseWorkFailure() {
  if (!heldWorkFailure_) return;
  const bool isShown = errorMessage_ == heldWorkFailure_->first && errorNotice_ == heldWorkFailure_->second;
  heldWorkFailure_.reset();
  if (isShown) setErrorMessage(std::nullopt);
}

void StoreContext::showSuggestionLoadFailure(const std::exception_ptr& failure) {
  setErrorMessage(failure);
  suggestionLoadFailureMessage_ = errorMessage_;
}

void StoreContext::clearSuggestionLoadFailure() {
  if (suggestionLoadFailureMessage_ && errorMessage_ == suggestionLoadFailureMessage_)
    setErrorMessage(std::nullopt);
  suggestionLoadFailureMessage_.reset();
}

}  // namespace lorvex
