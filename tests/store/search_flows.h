// What the tests of a search's road share: a library of numbered images under one registered
// folder, newest first, and a way to start a store flow and watch it finish.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "model/image_record.h"
#include "model/library_error.h"
#include "store/async/store_task.h"
#include "store/image_library_store.h"
#include "store/support/store_harness.h"

namespace lorvex::testing {

inline constexpr const char* kLibraryRoot = "/lib";

// "/lib/img-00042.png": the paths sort as the numbers do.
inline std::string imagePath(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "/img-%05d.png", number);
  return std::string(kLibraryRoot) + name;
}

// Image `number` is older the larger its number: under the default sort (newest first) the
// library answers in ascending numbers.
inline ImageRecord libraryImage(int number, bool favorite = false, bool deleteCandidate = false,
                                bool isMissing = false) {
  ImageRecord record;
  record.file.path = imagePath(number);
  record.file.fileSize = 1000 + number;
  record.file.modificationDate = 1'700'000'000.0 - number;
  record.reviewState.favorite = favorite;
  record.reviewState.deleteCandidate = deleteCandidate;
  record.isMissing = isMissing;
  return record;
}

// Images first .. first + count - 1.
inline std::vector<ImageRecord> libraryImages(int first, int count) {
  std::vector<ImageRecord> images;
  images.reserve(static_cast<std::size_t>(count));
  for (int number = first; number < first + count; ++number) images.push_back(libraryImage(number));
  return images;
}

inline std::vector<std::string> imagePaths(int first, int count) {
  std::vector<std::string> paths;
  for (int number = first; number < first + count; ++number) paths.push_back(imagePath(number));
  return paths;
}

inline std::exception_ptr libraryFailure(const std::string& text) {
  return std::make_exception_ptr(LibraryError(LibraryError::Kind::database, text));
}

// A store still waiting for its live service.
inline StoreOptions notReadyStoreOptions() {
  StoreOptions options;
  options.needsLiveServicePreparation = true;
  return options;
}

// Starts `flow(stop)` (a coroutine of the store) as a task of the store's scope; the handle tells
// when it has finished and gives its value.
template <typename Flow>
auto startFlow(ImageLibraryStore& store, Flow flow) {
  return startStoreTask(store.context().scope(), std::move(flow));
}

// A flow started on the store whose value the test reads once it has finished.
template <typename T>
struct StartedFlow {
  StoreTask<void> task;
  std::shared_ptr<std::optional<T>> value = std::make_shared<std::optional<T>>();

  bool isFinished() const { return task.isFinished(); }
  // The flow's value; fails the test (and gives a default) when it has not finished.
  T result() const {
    EXPECT_TRUE(value->has_value()) << "the flow has not finished";
    return value->value_or(T{});
  }
};

// Starts `call(stop)` (a coroutine of the store giving a T) and keeps its value.
template <typename T, typename Call>
StartedFlow<T> startValueFlow(ImageLibraryStore& store, Call call) {
  StartedFlow<T> flow;
  ImageLibraryStore* self = &store;
  flow.task = startFlow(store, [self, call, value = flow.value](std::stop_token stop) -> QCoro::Task<void> {
    auto frame = co_await self->context().scope().enter();
    const T result = co_await call(stop);
    *value = result;
  });
  return flow;
}

}  // namespace lorvex::testing
