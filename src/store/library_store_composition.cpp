#include "store/library_store_composition.h"

#include <exception>
#include <utility>

#include "platform/settings.h"
#include "services/library_error_translation.h"
#include "services/live_image_library_service.h"
#include "services/ui_testing_launch.h"
#include "services/unavailable_image_library_service.h"
#include "services/user_defaults_character_suggestion_exclusion_store.h"
#include "services/user_defaults_filter_tag_store.h"
#include "store/async/store_thread_pools.h"
#include "store/presentation/user_defaults_ui_preference_store.h"

namespace lorvex {

namespace {

// The store over `userDefaults`, starting with `service`; tag-concept features are off unless the
// runtime switches them on (never in the application).
std::unique_ptr<ImageLibraryStore> composeStore(const platform::Settings& userDefaults,
                                                std::shared_ptr<ImageLibraryServicing> service,
                                                std::optional<std::string> errorMessage,
                                                LiveServiceFactory liveServiceFactory,
                                                bool needsLiveServicePreparation,
                                                const LibraryStoreRuntime& runtime) {
  return std::make_unique<ImageLibraryStore>(
      std::move(service), std::move(errorMessage),
      ProductFeatureAvailability{.isTagConceptEnabled = runtime.tagConceptsEnabled},
      std::make_shared<UserDefaultsCharacterSuggestionExclusionStore>(userDefaults),
      std::make_shared<UserDefaultsFilterTagStore>(userDefaults),
      std::make_shared<UserDefaultsUIPreferenceStore>(userDefaults),
      kDeleteCandidateFeedbackDismissDelayNanos, std::move(liveServiceFactory), needsLiveServicePreparation,
      runtime.clock != nullptr ? *runtime.clock : systemStoreClock(),
      runtime.userInitiatedPool != nullptr ? *runtime.userInitiatedPool : userInitiatedPool(),
      runtime.utilityPool != nullptr ? *runtime.utilityPool : utilityPool());
}

}  // namespace

std::unique_ptr<ImageLibraryStore> makeLibraryStore(const std::optional<std::string>& uiTestingRunID,
                                                    bool resetsUITestingState,
                                                    const LibraryStoreRuntime& runtime) {
  if (!uiTestingRunID) {
    auto store =
        composeStore(makeUserDefaults(std::nullopt), std::make_shared<UnavailableImageLibraryService>(),
                     std::nullopt, &makeDefaultLiveImageLibraryService, true, runtime);
    store->library().setLibraryLocation(libraryDirectoryLocation(std::nullopt).string(), true);
    return store;
  }

  const std::string& runID = *uiTestingRunID;
  platform::Settings userDefaults = makeUserDefaults(runID);
  // Before any store reads it: a reset run must not start from an earlier run's values. A file
  // that cannot be deleted is logged; the values are forgotten all the same.
  if (resetsUITestingState) userDefaults.removeSuite();

  std::filesystem::path libraryDirectory;
  try {
    libraryDirectory = uiTestingLibraryDirectory(runID, resetsUITestingState);
  } catch (...) {
    const std::exception_ptr failure = asLibraryError(std::current_exception());
    // Never the default factory here: a UI-testing run must not reach the user's own library,
    // even if something asked for the live service after all.
    LiveServiceFactory failing = [failure]() -> std::shared_ptr<ImageLibraryServicing> {
      std::rethrow_exception(failure);
    };
    auto store = composeStore(userDefaults, std::make_shared<UnavailableImageLibraryService>(failure),
                              std::nullopt, std::move(failing), false, runtime);
    store->context().setErrorMessage(failure);
    return store;
  }

  LiveServiceFactory factory = [suiteName = uiTestingSuiteName(runID), libraryDirectory] {
    return makeUITestingLiveImageLibraryService(suiteName, libraryDirectory);
  };
  auto store = composeStore(userDefaults, std::make_shared<UnavailableImageLibraryService>(), std::nullopt,
                            std::move(factory), true, runtime);
  store->library().setLibraryLocation(libraryDirectory.string(), true);
  return store;
}

std::unique_ptr<ImageLibraryStore> makeLibraryStoreInFolder(const std::filesystem::path& libraryDirectory,
                                                            std::string_view settingsSuiteName,
                                                            const LibraryStoreRuntime& runtime) {
  // Absolute now: the factory runs later, and the settings must name the same file then.
  const std::filesystem::path folder = std::filesystem::absolute(libraryDirectory);
  const platform::Settings userDefaults(settingsSuiteName, folder);
  LiveServiceFactory factory =
      [folder, suiteName = std::string(settingsSuiteName)]() -> std::shared_ptr<ImageLibraryServicing> {
    try {
      return makeLiveImageLibraryService(folder, platform::Settings(suiteName, folder));
    } catch (...) {
      std::rethrow_exception(asLibraryError(mapLiveServicePreparationError(std::current_exception())));
    }
  };
  auto store = composeStore(userDefaults, std::make_shared<UnavailableImageLibraryService>(), std::nullopt,
                            std::move(factory), true, runtime);
  store->library().setLibraryLocation(folder.string(), false);
  return store;
}

}  // namespace lorvex
