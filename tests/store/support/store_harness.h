// Everything a store test needs around an ImageLibraryStore: a fake clock, pools of its own, the
// scripted service, in-memory preference stores, and a way to let every posted event and pool job
// run to its end.
#pragma once

#include <QThreadPool>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/product_feature_availability.h"
#include "store/async/store_clock.h"
#include "store/image_library_store.h"
#include "store/list_stores.h"
#include "store/presentation/image_library_ui_preferences.h"
#include "store/support/scripted_image_library_service.h"

namespace lorvex::testing {

struct StoreOptions {
  bool needsLiveServicePreparation = false;
  ProductFeatureAvailability featureAvailability{};
  std::optional<std::string> errorMessage;
  std::vector<std::string> savedFilterTags;
  std::vector<std::string> characterSuggestionExclusions;
  ImageLibraryUIPreferences preferences = kDefaultUIPreferences;
  std::uint64_t feedbackDismissDelayNanos = 3'000'000'000;
  LiveServiceFactory liveServiceFactory;
};

class StoreHarness {
 public:
  StoreHarness();
  // Lets every held call go and waits for the pools, so that no job outlives the test.
  ~StoreHarness();
  StoreHarness(const StoreHarness&) = delete;
  StoreHarness& operator=(const StoreHarness&) = delete;

  // A store on this harness's clock, pools and service.
  std::unique_ptr<ImageLibraryStore> makeStore(StoreOptions options = {});

  // Runs the event loop until nothing is posted and every pool job has finished or is held in the
  // scripted service. Fails the test (and returns false) after 5 s instead of hanging.
  bool drainEvents();

  FakeStoreClock clock;
  QThreadPool userInitiatedPool;
  QThreadPool utilityPool;
  std::shared_ptr<ScriptedImageLibraryService> service = std::make_shared<ScriptedImageLibraryService>();
};

// Records for the fake library: path "/library/<folder>/<n>.png", modification dates descending with
// n, so the default sort lists them in the order made.
std::vector<ImageRecord> makeLibraryRecords(std::size_t count, const std::string& folder = "library");

}  // namespace lorvex::testing
