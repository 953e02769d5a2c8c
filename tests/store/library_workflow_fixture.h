// What the tests of the library workflows (registration, the syncs, unregistering and
// reauthorising) share: a store on the scripted service, a way to run a workflow to its end, and
// readings of the calls the service saw.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <any>
#include <cstdint>
#include <exception>
#include <type_traits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <qcoro/qcorotask.h>

#include "event_loop.h"
#include "model/library_error.h"
#include "store/image_library_store.h"
#include "store/support/store_harness.h"

namespace lorvex::testing {

struct LibraryWorkflowFixture {
  LibraryWorkflowFixture() {
    // Monitoring restarts after registration and the folder set changes; give it something to
    // start on, so that it clears the error message as it does when it succeeds.
    service().setAnswer("folderEventCheckpoint", [](const ServiceCall&) {
      return std::make_any<std::optional<RegisteredFolderEventCheckpoint>>(RegisteredFolderEventCheckpoint{});
    });
  }

  ScriptedImageLibraryService& service() { return *harness.service; }

  // Runs the event loop until `task` has finished and everything it started has settled, and
  // gives its value or rethrows its error.
  template <typename T>
  T finish(QCoro::Task<T>& task) {
    runEventsUntil([&] { return task.isReady(); });
    harness.drainEvents();
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    std::exception_ptr error;
    if (task.isReady()) {
      // Finished already, so this takes its outcome without suspending.
      auto take = [&]() -> QCoro::Task<void> {
        try {
          if constexpr (std::is_void_v<T>) {
            co_await task;
            value = true;
          } else {
            value = co_await task;
          }
        } catch (...) {
          error = std::current_exception();
        }
      };
      take();
    }
    if (error) std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>) return value.value_or(T{});
  }

  // The names of the calls the service saw, in order, from call `afterID` on.
  std::vector<std::string> callNames(std::uint64_t afterID = 0) const {
    std::vector<std::string> names;
    for (const auto& call : harness.service->calls()) {
      if (call.id > afterID) names.push_back(call.name);
    }
    return names;
  }
  std::uint64_t lastCallID() const {
    const auto all = harness.service->calls();
    return all.empty() ? 0 : all.back().id;
  }
  bool sawCall(const std::string& name) const { return !harness.service->calls(name).empty(); }

  // Answers each call named `name` with the next of `ids`, the last one from then on.
  void answerEventIDs(const std::string& name, std::vector<std::uint64_t> ids) {
    auto next = std::make_shared<std::size_t>(0);
    service().setAnswer(name, [ids, next](const ServiceCall&) {
      const std::uint64_t id = ids[std::min(*next, ids.size() - 1)];
      ++*next;
      return std::make_any<std::uint64_t>(id);
    });
  }

  // Every workflow ends with its busy flags down, its progress cleared and no registration roots
  // left in the searches, whichever way it ended.
  void expectLibraryWorkEnded() const {
    EXPECT_FALSE(store->isIndexing());
    EXPECT_FALSE(store->isLibrarySyncInProgress());
    EXPECT_FALSE(store->indexingProgress().has_value());
    EXPECT_TRUE(store->activeFolderRegistrationRootPaths().empty());
  }

  StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store = harness.makeStore();
};

// The order `names` appear in `calls` (each at its first occurrence), or a failure naming the
// first one out of place or missing.
inline ::testing::AssertionResult inOrder(const std::vector<std::string>& calls, const std::vector<std::string>& names) {
  auto from = calls.begin();
  for (const auto& name : names) {
    const auto found = std::find(from, calls.end(), name);
    if (found == calls.end()) return ::testing::AssertionFailure() << name << " missing or out of order";
    from = found + 1;
  }
  return ::testing::AssertionSuccess();
}

inline RegisteredFolderSummary folderSummary(std::string path,
                                           RegisteredFolderAccessState state = RegisteredFolderAccessState::available) {
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
                                           std::vector<std::string> failedPaths = {}) {
  ImageLibraryScanSummary summary;
  summary.scannedFileCount = scanned;
  summary.indexedImageCount = indexed;
  for (auto& path : failedPaths) {
    ImageLibraryScanFailure failure;
    failure.path = std::move(path);
    failure.message = "unreadable";
    summary.failures.push_back(std::move(failure));
  }
  summary.failedFileCount = static_cast<std::int64_t>(summary.failures.size());
  return summary;
}

}  // namespace lorvex::testing
