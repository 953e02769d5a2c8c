// The composition of the live library: the library folder, its thumbnail cache and database, the
// folder access manager, the monitor, the file services, the thumbnail generator, the scanner and
// the library service over them. Building it is the slow step of start-up (it opens, and may
// create or migrate, the database), so the application does it off its main thread and keeps an
// UnavailableImageLibraryService meanwhile.
//
// One process at a time: the graph holds an exclusive lock on the library folder (its file
// "Lorvex.lock", platform/file_lock.h) from before anything in the folder is touched until the
// database is closed, so two processes can never index, thumbnail or mark one library at once.
//
// Failures are thrown as they arise; nothing built before the failure survives it:
//   - platform::FileError: the library or thumbnail folder cannot be created, or the lock file
//     cannot be opened;
//   - ImageLibraryStartupError::libraryInUse: another process holds the library folder (nothing
//     in it was changed);
//   - SQLiteImageRepositoryV3Error: the database cannot be opened (a database of an older layout,
//     of another format, an empty file or one damaged beyond repair is moved aside under
//     "LorvexV3.sqlite.pre-v4-v<version>-<stamp>" with its "-wal" and "-shm" files and a fresh
//     library is created, which the service's libraryRecoveryNotice() reports; from a damaged one
//     the marks are read back and carried into the new library as its images are indexed again.
//     One written by a newer Lorvex is left untouched and fails with newerSchemaVersion, which
//     mapLiveServicePreparationError turns into the message for the user);
//   - what restoring the registered folders' access throws.
//
// Thread safety: every function may be called from any thread; each call builds a new graph.
#pragma once

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "database/library_database_file.h"  // kLibraryDatabaseFileName, with the names below
#include "platform/settings.h"
#include "services/image_library_service.h"

namespace lorvex {

namespace platform {
class Clock;
}
class SQLiteImageRepositoryV3;

inline constexpr std::string_view kLibraryFolderName = "Lorvex";
inline constexpr std::string_view kThumbnailFolderName = "Thumbnails";
inline constexpr std::string_view kUITestingFolderName = "UITests";
inline constexpr std::string_view kLibraryLockFileName = "Lorvex.lock";
// The folder in the library folder where each move to the Trash keeps its record while it runs
// (platform/trash.h).
inline constexpr std::string_view kPendingTrashMovesFolderName = "TrashMoves";

// $XDG_DATA_HOME/Lorvex (XDG_DATA_HOME when it is an absolute path, else ~/.local/share), created
// with its missing parents, each new folder mode 0700. Throws platform::FileError.
std::filesystem::path defaultLibraryDirectory();

// defaultLibraryDirectory()/UITests/<run id>, created. With `resets`, whatever stands at that path
// is removed first: a symbolic link itself (never what it points to), a folder with everything in
// it, without following any link inside. Throws std::invalid_argument for an invalid run
// identifier (ui_testing_launch.h), platform::FileError when "UITests" is not a real folder or the
// removal or creation fails.
std::filesystem::path uiTestingLibraryDirectory(const std::string& runID, bool resets);

// Where defaultLibraryDirectory() or uiTestingLibraryDirectory() puts the library, without
// creating or removing anything.
std::filesystem::path libraryDirectoryLocation(const std::optional<std::string>& uiTestingRunID);

struct LiveImageLibraryServiceOptions {
  // Time of the move-aside stamp, of thumbnail retries and of stored rows; the system clock when
  // null.
  platform::Clock* clock = nullptr;
  // The processor count thumbnail runs are sized from; 0 for the machine's.
  std::size_t activeProcessorCount = 0;
};

// The live collaborators before the service is made over them (a test replaces one).
struct LiveImageLibraryGraph {
  ImageLibraryServiceDependencies dependencies;
  // Also kept by dependencies.owned. The library folder's lock goes with it: it is released after
  // the last holder of the database has let go and the database is closed.
  std::shared_ptr<SQLiteImageRepositoryV3> database;
  std::string libraryDirectory;  // standardized
  std::string thumbnailDirectory;
};

// Every step of makeLiveImageLibraryService but the last.
LiveImageLibraryGraph makeLiveImageLibraryGraph(const std::optional<std::filesystem::path>& libraryDirectory,
                                                platform::Settings userDefaults,
                                                const LiveImageLibraryServiceOptions& options = {});

// Builds the live graph in `libraryDirectory` (the default library folder when absent), with the
// registered folders kept in `userDefaults`. Shared, so that a task still running on the service
// keeps it (and the library's lock) alive after its holder has installed another.
std::shared_ptr<ImageLibraryService> makeLiveImageLibraryService(
    const std::optional<std::filesystem::path>& libraryDirectory, platform::Settings userDefaults,
    const LiveImageLibraryServiceOptions& options = {});

// The application's factory: the default folder and the standard settings suite; a failure goes
// through mapLiveServicePreparationError and reaches the caller as a LibraryError.
std::shared_ptr<ImageLibraryServicing> makeDefaultLiveImageLibraryService();

// A UI-testing run's factory: the run's settings suite (UITestCompositionError when it cannot be
// opened) and library folder; failures are not mapped, but reach the caller as LibraryErrors.
std::shared_ptr<ImageLibraryServicing> makeUITestingLiveImageLibraryService(
    const std::string& suiteName, const std::filesystem::path& libraryDirectory);

// newerSchemaVersion (any version) becomes ImageLibraryStartupError::libraryFromNewerVersion;
// every other error is returned as it is.
std::exception_ptr mapLiveServicePreparationError(const std::exception_ptr& error);

// Whole seconds since 1970 (truncated toward zero) in decimal: the stamp in the name of a
// database moved aside.
std::string libraryPreparationStamp(const platform::Clock& clock);

}  // namespace lorvex
