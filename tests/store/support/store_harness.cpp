#include "store/support/store_harness.h"

#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <chrono>

#include "store/event_loop.h"
#include "store/presentation/transient_image_library_ui_preference_store.h"

namespace lorvex::testing {

namespace {

// Held calls occupy a pool thread each; a test holds a few dozen at most.
constexpr int kTestPoolThreads = 128;

}  // namespace

StoreHarness::StoreHarness() {
  application();
  userInitiatedPool.setMaxThreadCount(kTestPoolThreads);
  utilityPool.setMaxThreadCount(kTestPoolThreads);
}

StoreHarness::~StoreHarness() {
  service->shutDown();
  userInitiatedPool.waitForDone();
  utilityPool.waitForDone();
}

std::unique_ptr<ImageLibraryStore> StoreHarness::makeStore(StoreOptions options) {
  return std::make_unique<ImageLibraryStore>(
      service, std::move(options.errorMessage), options.featureAvailability,
      std::make_shared<ListExclusionStore>(std::move(options.characterSuggestionExclusions)),
      std::make_shared<ListFilterTagStore>(std::move(options.savedFilterTags)),
      std::make_shared<TransientImageLibraryUIPreferenceStore>(options.preferences),
      options.feedbackDismissDelayNanos, std::move(options.liveServiceFactory),
      options.needsLiveServicePreparation, clock, userInitiatedPool, utilityPool);
}

bool StoreHarness::drainEvents() {
  application();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  auto* dispatcher = QAbstractEventDispatcher::instance();
  // A job may post its result and end between a turn of the loop and the look at the pools, so
  // quiet is believed only when it holds for two turns in a row.
  int quietTurns = 0;
  while (quietTurns < 2) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "events or pool jobs were still running after 5 s";
      return false;
    }
    QCoreApplication::sendPostedEvents();
    const bool didWork = dispatcher != nullptr && dispatcher->processEvents(QEventLoop::AllEvents);
    const auto running =
        static_cast<std::size_t>(userInitiatedPool.activeThreadCount() + utilityPool.activeThreadCount());
    if (!didWork && running <= service->blockedCount()) {
      ++quietTurns;
    } else {
      quietTurns = 0;
      if (running > service->blockedCount()) QThread::yieldCurrentThread();
    }
  }
  return true;
}

std::vector<ImageRecord> makeLibraryRecords(std::size_t count, const std::string& folder) {
  std::vector<ImageRecord> records;
  records.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    ImageRecord record;
    record.file.path = "/" + folder + "/" + std::to_string(i) + ".png";
    record.file.fileSize = 1000 + static_cast<std::int64_t>(i);
    record.file.modificationDate = 1'700'000'000.0 - static_cast<double>(i);
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace lorvex::testing
