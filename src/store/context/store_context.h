// StoreContext: what every feature model of the store works with. The service every library call
// goes through (replaced when the live library is installed) and whether it is still the stand-in
// that waits for the live library, the coroutine scope every flow runs in, the clock, the two
// thread pools, which product features are switched on, and the one error message the window shows.
//
// The composition (ImageLibraryStore) owns the context and hands it to each feature model by
// reference; a model never owns or replaces it. Nothing here is the state of a feature.
//
// Lifetime: endFlows() destroys the scope (stopping and freeing every flow) while everything the
// flows touch still exists; the composition calls it first when it goes. Any later use of scope()
// is a fault.
//
// Thread safety: the creating thread only (the main thread).
#pragma once

#include <qcoro/qcorotask.h>

#include <QObject>
#include <QThreadPool>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "model/error_notice.h"
#include "services/image_library_servicing.h"
#include "services/product_feature_availability.h"
#include "store/async/coroutine_scope.h"
#include "store/async/creating_thread.h"
#include "store/async/store_clock.h"
#include "store/async/store_task.h"

namespace lorvex {

class StoreContext : public QObject {
  Q_OBJECT

 public:
  // `service` is the service to start with (not null).
  StoreContext(std::shared_ptr<ImageLibraryServicing> service, ProductFeatureAvailability featureAvailability,
               StoreClock& clock, QThreadPool& userInitiatedPool, QThreadPool& utilityPool,
               QObject* parent = nullptr);
  ~StoreContext() override;

  // The service in use now. A flow that suspends copies it first: a running task keeps the
  // service it started with.
  const std::shared_ptr<ImageLibraryServicing>& service() const { return service_; }
  void setService(std::shared_ptr<ImageLibraryServicing> value);
  // The service in use is the stand-in the launch replaces with the live library: library work
  // waits for it (the flows that need the library do nothing meanwhile). Cleared by the launch
  // once the live service, or an unavailable one holding the failure, is installed.
  bool needsLiveServicePreparation() const { return needsLiveServicePreparation_; }
  void setNeedsLiveServicePreparation(bool value);

  const ProductFeatureAvailability& featureAvailability() const { return featureAvailability_; }
  StoreClock& clock() const { return *clock_; }
  // Blocking calls a person waits for (searches, page loads, scans they asked for), and the rest
  // (suggestion lists, read-backs, background passes), at lower priority.
  QThreadPool& userInitiatedPool() const { return *userInitiatedPool_; }
  QThreadPool& utilityPool() const { return *utilityPool_; }

  // Owns every flow of the store's models; they end when endFlows() runs.
  CoroutineScope& scope() { return *scope_; }
  // Stops and frees every flow of the scope. Called once, by the owner, before anything the flows
  // use goes.
  void endFlows();

  // Starts `work` as a flow of the scope, for a caller with nowhere to keep it: the flow never
  // outlives the store, but may outlive the starting widget; its coroutine must enter the scope
  // before it suspends on anything but another coroutine (the models' own operations do). An
  // exception it ends with is logged. The handle may be dropped.
  StoreTask<void> startDetached(std::function<QCoro::Task<void>()> work);

  // The error line. A text without a notice is told as `unexpected`; no text clears both.
  // errorMessageChanged signals a change of either.
  const std::optional<std::string>& errorMessage() const { return errorMessage_; }
  // What a window shows for errorMessage, in its own language; present exactly when errorMessage
  // is. errorMessage keeps the library's own text, for logs and diagnostics.
  const std::optional<ErrorNotice>& errorNotice() const { return errorNotice_; }
  void setErrorMessage(std::optional<std::string> value);
  void setErrorMessage(std::optional<std::string> value, std::optional<ErrorNotice> notice);
  // The failure's text and its notice (services' errorMessage and errorNotice).
  void setErrorMessage(const std::exception_ptr& failure);

  // A failure that stopped library work (a scan on a full disk): it stays on the error line until
  // releaseWorkFailure(), as the reads that follow succeed on a library that still cannot be
  // written and would wipe it at once. A later error shows meanwhile; clearing that one shows the
  // held failure again.
  void holdWorkFailure(const std::exception_ptr& failure);
  // Library work completed, or a write to the library succeeded since: the held failure, if any,
  // leaves the error line.
  void releaseWorkFailure();

  // The loads that fill the filter sidebar and the concept views show their failures through
  // these. A later successful load clears the message only while it is still the one a failed load
  // put there: launch, registration and the syncs reload the suggestions right after a result
  // refresh, and a refresh's failure must not be wiped a moment later by their success.
  void showSuggestionLoadFailure(const std::exception_ptr& failure);
  void clearSuggestionLoadFailure();

 Q_SIGNALS:
  void needsLiveServicePreparationChanged();
  void errorMessageChanged();

 private:
  // The flow startDetached starts: runs `work` in the scope and logs what it throws.
  QCoro::Task<void> runDetached(std::function<QCoro::Task<void>()> work);

  CreatingThread creatingThread_;
  std::shared_ptr<ImageLibraryServicing> service_;
  bool needsLiveServicePreparation_{false};
  const ProductFeatureAvailability featureAvailability_;
  StoreClock* clock_;
  QThreadPool* userInitiatedPool_;
  QThreadPool* utilityPool_;
  std::optional<std::string> errorMessage_;
  std::optional<ErrorNotice> errorNotice_;
  std::optional<std::string> suggestionLoadFailureMessage_;
  std::optional<std::pair<std::string, ErrorNotice>> heldWorkFailure_;
  // Last: reset by endFlows(), else destroyed before any field its flows use.
  std::unique_ptr<CoroutineScope> scope_;
};

}  // namespace lorvex
