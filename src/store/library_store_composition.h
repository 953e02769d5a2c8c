// How the application's ImageLibraryStore is put together at start-up: the settings suite its
// filter tags, hidden character suggestions, UI preferences and registered folders live in, the
// service it starts with, and the factory that later builds the live library.
//
// Composing is cheap and never opens the library database: the store starts with an
// UnavailableImageLibraryService (every operation fails with "データベースを準備中です。") and
// `needsLiveServicePreparation` set, and the launch workflow runs the factory off the main thread.
// Every factory made here captures only values (paths and names), so it may be copied to and run
// on any thread, more than once; each run builds a complete new live graph or throws a
// LibraryError.
//
// Thread safety: the make functions run on the thread that will own the store (the main thread).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "store/image_library_store.h"

class QThreadPool;

namespace lorvex {

class StoreClock;

// How long a delete-candidate confirmation stays on screen.
inline constexpr std::uint64_t kDeleteCandidateFeedbackDismissDelayNanos = 3'000'000'000;

// The settings suite a library composed in a folder of its own keeps inside that folder.
inline constexpr std::string_view kFolderLibrarySettingsSuiteName = "lorvex-library";

// Where the composed store keeps time and runs its blocking calls; null members mean the
// application's own (systemStoreClock(), userInitiatedPool(), utilityPool()). A test gives its own.
struct LibraryStoreRuntime {
  StoreClock* clock = nullptr;
  QThreadPool* userInitiatedPool = nullptr;
  QThreadPool* utilityPool = nullptr;
  // Tag concepts are off in the application; developer tools and tests may switch them on.
  bool tagConceptsEnabled = false;
};

// The application's store. Without a run identifier: the standard settings suite and the default
// factory (the user's library folder). With one (a UI-testing run): the run's own suite,
// "app.lorvex.UITests.<run id>", and its own library folder, "<library folder>/UITests/<run id>";
// with `resetsUITestingState` the suite is emptied and its file deleted before any store reads it,
// and the folder is removed and created anew.
//
// A launch that finds the library held by another process waits for it to let go, then opens it.
//
// When the run's library folder cannot be created (or removed), the store starts with an
// unavailable service holding that failure, shows its description as `errorMessage` and has
// `needsLiveServicePreparation` false, so the launch never tries to build the live library.
//
// Throws platform::SettingsError only when the run identifier cannot name a settings suite (never
// for one parseUITestingLaunchArguments gives): nothing can be isolated then, and the caller
// reports it before any window opens.
std::unique_ptr<ImageLibraryStore> makeLibraryStore(const std::optional<std::string>& uiTestingRunID,
                                                    bool resetsUITestingState,
                                                    const LibraryStoreRuntime& runtime = {});

// A store over the library in `libraryDirectory`, its settings suite `settingsSuiteName` kept in
// that same folder ("<libraryDirectory>/<suite>.json"): the user's own library and settings are
// never read or written. Nothing is created until the factory runs; the factory creates the folder
// and maps a library written by a newer Lorvex to ImageLibraryStartupError::libraryFromNewerVersion,
// as the application's does; a library held by another process fails the launch at once. For
// developer tools and scripted runs.
// Throws platform::SettingsError when `settingsSuiteName` cannot name a settings file.
std::unique_ptr<ImageLibraryStore> makeLibraryStoreInFolder(
    const std::filesystem::path& libraryDirectory,
    std::string_view settingsSuiteName = kFolderLibrarySettingsSuiteName,
    const LibraryStoreRuntime& runtime = {});

}  // namespace lorvex
