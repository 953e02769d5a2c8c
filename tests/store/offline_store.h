// A store on the test harness whose window and selection a test fills by hand, for what the store
// computes and changes on its own thread: projections, selection, navigation.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "event_loop.h"
#include "store/support/store_harness.h"
#include "store_records.h"

namespace lorvex::testing {

struct OfflineStoreSetup {
  std::vector<std::string> filterTags{};
  bool isTagConceptEnabled = true;
};

struct OfflineStore {
  explicit OfflineStore(OfflineStoreSetup setup = {})
      : storeObject(harness.makeStore(options(setup))), store(*storeObject), clock(harness.clock) {
    application();
  }

  static StoreOptions options(const OfflineStoreSetup& setup) {
    StoreOptions options;
    options.featureAvailability.isTagConceptEnabled = setup.isTagConceptEnabled;
    options.savedFilterTags = setup.filterTags;
    return options;
  }

  // `count` records named /r0, /r1, ...
  static std::vector<std::string> numberedPaths(int count) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) paths.push_back("/r" + std::to_string(i));
    return paths;
  }
  void load(const std::vector<std::string>& paths, bool hasMoreRecords = false) {
    store.results().resultWindow().replaceRecords(records(paths), hasMoreRecords, 0);
  }
  void select(std::optional<std::string> primary, PathSet selected, std::optional<std::string> anchor) {
    store.results().selection().setPrimaryPath(std::move(primary));
    store.results().selection().setSelectedPaths(std::move(selected));
    store.results().selection().setAnchorPath(std::move(anchor));
  }
  ResultSelection::Snapshot selection() const { return store.results().selection().snapshot(); }

  StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> storeObject;
  ImageLibraryStore& store;
  FakeStoreClock& clock;
};

}  // namespace lorvex::testing
