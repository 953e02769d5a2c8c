// What the tests of the library workflows (registration, the syncs, unregistering and
// reauthorising) share: a store on the scripted service, a way to run a workflow to its end, and
// readings of the calls the service saw.
#pragma once

#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

#include <algorithm>
#include <any>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "event_loop.h"
#include "model/library_error.h"
#include "store/image_library_store.h"
#include "store/support/store_harness.h"

namespace lorvex::testing {

using Paths = std::vector<std::string>;

struct LibraryWorkflowFixture {
  LibraryWorkflowFixture() {
    // Monitoring restarts after the folder set changed; with a position to start from it starts
    // and clears the error message, as it does in the application.
    answer("folderEventCheckpoint",
           std::optional<RegisteredFolderEventCheckpoint>(RegisteredFolderEventCheckpoint{}));
  }

  ScriptedImageLibraryService& service() { return *harness.service; }

  // Every call named `name` answers `value`.
  template <typename T>
  void answer(const std::string& name, T value) {
    service().setAnswer(name, [value](const ServiceCall&) { return std::any(value); });
  }
  void fail(const std::string& name, std::exception_ptr error) {
    service().setAnswer(name, [error](const ServiceCall&) -> std::any { std::rethrow_exception(error); });
  }

  // Runs the event loop until `task` has finished and everything it started has settled; gives its
  // value or rethrows its error.
  template <typename T>
  T finish(QCoro::Task<T>& task) {
    runEventsUntil([&] { return task.isReady(); });
    harness.drainEvents();
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    std::exception_ptr error;
    // The task has finished, so this takes its outcome without suspending.
    auto take = [&]() -> QCoro::Task<void> {
      try {
        if constexpr (std::is_void_v<T>) {
          co_await task;
        } else {
          value = co_await task;
        }
      } catch (...) {
        error = std::current_exception();
      }
    };
    if (task.isReady()) take();
    if (error) std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>) return value.value_or(T{});
  }

  // The names of the calls the service saw, in order, leaving out the first `skipped`.
  Paths callNames(std::size_t skipped = 0) const {
    Paths names;
    for (const auto& call : harness.service->calls()) names.push_back(call.name);
    names.erase(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(std::min(skipped, names.size())));
    return names;
  }
  bool sawCall(const std::string& name) const { return !harness.service->calls(name).empty(); }

  // Every workflow ends with its busy flags down, its progress cleared and no registration roots
  // left in the searches, whichever way it ended.
  void expectLibraryWorkEnded() const {
    EXPECT_FALSE(store->library().isIndexing());
    EXPECT_FALSE(store->library().isLibrarySyncInProgress());
    EXPECT_FALSE(store->library().indexingProgress().has_value());
    EXPECT_TRUE(store->library().activeFolderRegistrationRootPaths().empty());
  }

  StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store = harness.makeStore();
};

// Whether `names` appear in `calls` in this order (each after the one before).
inline ::testing::AssertionResult inOrder(const Paths& calls, const Paths& names) {
  auto from = calls.begin();
  for (const auto& name : names) {
    from = std::find(from, calls.end(), name);
    if (from == calls.end()) return ::testing::AssertionFailure() << name << " missing or out of order";
    ++from;
  }
  return ::testing::AssertionSuccess();
}

inline RegisteredFolderSummary folderSummary(
    std::string path, RegisteredFolderAccessState state = RegisteredFolderAccessState::available) {
  RegisteredFolderSummary summary;
  summary.displayName = path.substr(path.rfind('/') + 1);
  summary.path = std::move(path);
  summary.state = state;
  return summary;
}

inline std::exception_ptr libraryFailure(const std::string& text) {
  return std::make_exception_ptr(LibraryError(LibraryError::Kind::database, text));
}

inline ImageLibraryScanSummary scanSummary(std::int64_t scanned, std::int64_t indexed,
                                           Paths failedPaths = {}) {
  ImageLibraryScanSummary summary{.scannedFileCount = scanned,
                                  .indexedImageCount = indexed,
                                  .failedFileCount = static_cast<std::int64_t>(failedPaths.size()),
                                  .failures = {}};
  for (auto& path : failedPaths)
    summary.failures.push_back(ImageLibraryScanFailure::classified(std::move(path), "unreadable"));
  return summary;
}

}  // namespace lorvex::testing
