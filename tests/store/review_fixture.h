// What the tests of review marks, their undo and their banner share: a store on the scripted
// service whose window holds chosen images of the fake library (marks and all), and readings of
// the library's marks and of the window.
#pragma once

#include <gtest/gtest.h>

#include <any>
#include <exception>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "search_flows.h"
#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"
#include "store_records.h"

namespace lorvex::testing {

// The place a scan found image `number` at after it was renamed: its date, and with it its place
// in the results, stays.
inline std::string renamedPath(int number) {
  return std::string(kLibraryRoot) + "/renamed-" + std::to_string(number) + ".png";
}

// Image `number`, or with -n image n at its renamed place.
inline std::string pathOf(int number) {
  return number < 0 ? renamedPath(-number) : imagePath(number);
}

struct ReviewFixture {
  // The library holds `library`; the window holds those of its images listed in `loaded`, in
  // that order (all of them when `loaded` is empty), put there directly rather than searched for,
  // so that a test may load marks the filters would not let a search show.
  explicit ReviewFixture(std::vector<ImageRecord> library, std::vector<int> loaded = {},
                         StoreOptions options = {})
      : store(harness.makeStore(std::move(options))) {
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {kLibraryRoot});
    harness.service->setRecords(library);
    std::vector<RecordRef> window;
    if (loaded.empty()) {
      for (const ImageRecord& record : library) window.push_back(makeRecordRef(record));
    }
    for (int number : loaded) {
      for (const ImageRecord& record : library) {
        if (record.file.path == imagePath(number)) window.push_back(makeRecordRef(record));
      }
    }
    store->results().resultWindow().replaceRecords(std::move(window), false, 0);
    store->results().selection().selectSingle(std::nullopt);
  }

  static int numberOf(const std::string& path) {
    return std::stoi(path.substr(std::string(kLibraryRoot).size() + 5, 5));
  }

  // The loaded records of these images, in the order given.
  std::vector<RecordRef> loaded(const std::vector<int>& numbers) const {
    std::vector<RecordRef> records;
    for (int number : numbers) {
      const auto index = store->results().resultWindow().index(imagePath(number));
      if (index)
        records.push_back(store->results().resultWindow().records()[static_cast<std::size_t>(*index)]);
    }
    return records;
  }

  // The library's review state of image `number`.
  ReviewState libraryState(int number) const {
    for (const ImageRecord& record : harness.service->records()) {
      if (record.file.path == imagePath(number)) return record.reviewState;
    }
    ADD_FAILURE() << "image " << number << " is not in the library";
    return {};
  }

  std::vector<int> windowNumbers() const {
    std::vector<int> numbers;
    for (const RecordRef& record : store->results().resultWindow().records())
      numbers.push_back(numberOf(record->file.path));
    return numbers;
  }

  // Focuses image `focus` and selects `selected` (focus included or not, as given).
  void select(int focus, const std::vector<int>& selected, std::optional<int> anchor = std::nullopt) {
    PathSet paths;
    for (int number : selected) paths.insert(imagePath(number));
    store->results().selection().setPrimaryPath(imagePath(focus));
    store->results().selection().setSelectedPaths(std::move(paths));
    store->results().selection().setAnchorPath(imagePath(anchor.value_or(focus)));
  }

  void failCall(const std::string& name, const std::string& text) {
    const std::exception_ptr error = libraryFailure(text);
    harness.service->setAnswer(name,
                               [error](const ServiceCall&) -> std::any { std::rethrow_exception(error); });
  }

  std::size_t callCount(const std::string& name) const { return harness.service->calls(name).size(); }

  StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
};

}  // namespace lorvex::testing
