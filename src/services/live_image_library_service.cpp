#include "services/live_image_library_service.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

#include "database/sqlite_image_repository.h"
#include "metadata/generation_metadata_parser.h"
#include "model/text/paths.h"
#include "platform/clock.h"
#include "platform/file_lock.h"
#include "platform/log.h"
#include "platform/regular_file.h"
#include "platform/trash.h"
#include "services/folders/folder_access_diagnostics.h"
#include "services/folders/inotify_folder_change_monitor.h"
#include "services/folders/security_scoped_folder_access_manager.h"
#include "services/image_library_startup_error.h"
#include "services/indexing/file_content_hasher.h"
#include "services/indexing/file_system_file_attributes_reader.h"
#include "services/indexing/image_library_indexing_metrics_logger.h"
#include "services/indexing/image_library_scanner.h"
#include "services/library_error_translation.h"
#include "services/thumbnails/file_manager_thumbnail_cache_remover.h"
#include "services/thumbnails/image_thumbnail_generator.h"
#include "services/trash/file_manager_trash_mover.h"
#include "services/ui_testing_launch.h"

namespace lorvex {

namespace {

constexpr std::string_view kLogCategory = "LibraryPreparation";

// $XDG_DATA_HOME (or ~/.local/share): the folder the home trash lives in, as the platform layer
// resolves it.
std::string dataHomeFolder() {
  const std::string trash = text::standardizedPath(platform::defaultTrashEnvironment().homeTrashDirectory);
  return trash.substr(0, trash.rfind('/'));
}

// Creates the folder and its missing parents, each new one private to the user (0700). An
// existing folder, or a link to one, is used as it is.
void createFolders(const std::string& path) {
  std::string prefix;
  std::size_t start = 1;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    prefix = path.substr(0, end);
    start = end + 1;
    if (::mkdir(prefix.c_str(), 0700) == 0) continue;
    const int error = errno;
    struct stat info {};
    if (error == EEXIST && ::stat(prefix.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
    platform::throwFileError("Unable to create folder " + prefix, error == EEXIST ? ENOTDIR : error);
  }
}

// Removes the entry `name` of the open folder `parent`: a file or link itself, a folder with its
// contents. Links are never followed, so nothing outside the folder can be reached.
void removeEntry(int parent, const std::string& name) {
  if (::unlinkat(parent, name.c_str(), 0) == 0) return;
  int error = errno;
  if (error == ENOENT) return;
  if (error != EISDIR && error != EPERM) platform::throwFileError("Unable to remove " + name, error);

  const int descriptor = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (descriptor < 0) platform::throwFileError("Unable to open folder " + name, errno);
  DIR* folder = ::fdopendir(descriptor);
  if (folder == nullptr) {
    error = errno;
    ::close(descriptor);
    platform::throwFileError("Unable to list folder " + name, error);
  }
  std::vector<std::string> children;
  errno = 0;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string_view child = entry->d_name;
    if (child != "." && child != "..") children.emplace_back(child);
  }
  try {
    for (const std::string& child : children) removeEntry(::dirfd(folder), child);
  } catch (...) {
    ::closedir(folder);
    throw;
  }
  ::closedir(folder);
  if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0)
    platform::throwFileError("Unable to remove " + name, errno);
}

// Opens the library. A file that cannot be the library (an older layout, another format, an empty
// file, or one damaged beyond repair) is moved aside, once, and a new library is made in its place;
// from a damaged one the marks are read back and carried into the new library as its images are
// indexed again. What was done goes into `notice`, for the person to be told.
std::shared_ptr<SQLiteImageRepositoryV3> openRepository(const std::filesystem::path& databaseFile,
                                                        const std::string& stamp,
                                                        const SQLiteImageRepositoryV3Options& options,
                                                        std::optional<LibraryRecoveryNotice>& notice) {
  std::int64_t incompatibleVersion = 0;
  bool damaged = false;
  try {
    return std::make_shared<SQLiteImageRepositoryV3>(databaseFile, options);
  } catch (const SQLiteImageRepositoryV3Error& error) {
    if (error.kind() != SQLiteImageRepositoryV3Error::Kind::incompatibleSchemaVersion) throw;
    incompatibleVersion = error.version();
    damaged = error.reportsDamagedFile();
  }
  platform::logInfo(kLogCategory, "Moving aside a library database of schema version " +
                                      std::to_string(incompatibleVersion) + " and creating a new library");
  const std::filesystem::path setAside =
      SQLiteImageRepositoryV3::moveAsidePreV4Database(databaseFile, incompatibleVersion, stamp);
  if (damaged) SQLiteImageRepositoryV3::carryMarksFrom(databaseFile, setAside);
  auto repository = std::make_shared<SQLiteImageRepositoryV3>(databaseFile, options);
  if (damaged) {
    notice = LibraryRecoveryNotice{LibraryRecoveryNotice::Kind::damagedLibraryRebuilt,
                                   setAside.filename().string(), repository->carriedMarkCount(),
                                   repository->carriedMarksFound()};
  } else {
    notice = LibraryRecoveryNotice{LibraryRecoveryNotice::Kind::unreadableLibrarySetAside,
                                   setAside.filename().string(), std::nullopt};
  }
  return repository;
}

// The database, holding the library folder's lock: whoever lets go of it last closes the database
// first and only then frees the folder for another process.
std::shared_ptr<SQLiteImageRepositoryV3> holdingLock(platform::ExclusiveFileLock lock,
                                                     std::shared_ptr<SQLiteImageRepositoryV3> database) {
  struct Held {
    platform::ExclusiveFileLock lock;
    std::shared_ptr<SQLiteImageRepositoryV3> database;  // declared last, so released first
  };
  auto held = std::make_shared<Held>(Held{std::move(lock), std::move(database)});
  return {held, held->database.get()};
}

}  // namespace

std::filesystem::path defaultLibraryDirectory() {
  const std::string folder = libraryDirectoryLocation(std::nullopt);
  createFolders(folder);
  return folder;
}

std::filesystem::path libraryDirectoryLocation(const std::optional<std::string>& uiTestingRunID) {
  std::string folder = dataHomeFolder() + "/" + std::string(kLibraryFolderName);
  if (uiTestingRunID) folder += "/" + std::string(kUITestingFolderName) + "/" + *uiTestingRunID;
  return folder;
}

std::filesystem::path uiTestingLibraryDirectory(const std::string& runID, bool resets) {
  if (!isValidRunID(runID)) throw std::invalid_argument("Invalid UI-testing run identifier");
  const std::string testsFolder =
      defaultLibraryDirectory().string() + "/" + std::string(kUITestingFolderName);
  const std::string runFolder = testsFolder + "/" + runID;
  if (resets) {
    const int descriptor = ::open(testsFolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor >= 0) {
      try {
        removeEntry(descriptor, runID);
      } catch (...) {
        ::close(descriptor);
        throw;
      }
      ::close(descriptor);
    } else if (errno != ENOENT) {
      // A link here could lead the reset into someone else's folder.
      platform::throwFileError("Unable to open the UI-testing folder " + testsFolder, errno);
    }
  }
  createFolders(runFolder);
  return runFolder;
}

std::string libraryPreparationStamp(const platform::Clock& clock) {
  return SQLiteImageRepositoryV3::moveAsideStamp(clock.now());
}

std::exception_ptr mapLiveServicePreparationError(const std::exception_ptr& error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const SQLiteImageRepositoryV3Error& databaseError) {
    if (databaseError.kind() == SQLiteImageRepositoryV3Error::Kind::newerSchemaVersion) {
      return std::make_exception_ptr(
          ImageLibraryStartupError(ImageLibraryStartupError::Kind::libraryFromNewerVersion));
    }
  } catch (...) {
  }
  return error;
}

LiveImageLibraryGraph makeLiveImageLibraryGraph(const std::optional<std::filesystem::path>& libraryDirectory,
                                                platform::Settings userDefaults,
                                                const LiveImageLibraryServiceOptions& options) {
  platform::Clock& clock = options.clock != nullptr ? *options.clock : platform::systemClock();

  const std::string folder = text::standardizedPath(libraryDirectory ? libraryDirectory->string()
                                                                     : defaultLibraryDirectory().string());
  createFolders(folder);
  // Before anything in the folder is touched: a second process must change nothing.
  std::optional<platform::ExclusiveFileLock> lock =
      platform::ExclusiveFileLock::tryAcquire(folder + "/" + std::string(kLibraryLockFileName));
  if (!lock) throw ImageLibraryStartupError(ImageLibraryStartupError::Kind::libraryInUse);

  const std::string thumbnailFolder = folder + "/" + std::string(kThumbnailFolderName);
  createFolders(thumbnailFolder);

  const std::filesystem::path databaseFile = folder + "/" + std::string(kLibraryDatabaseFileName);
  // Taken once, before the first open, so a moved-aside file is named for the launch that found it.
  const std::string stamp = libraryPreparationStamp(clock);
  SQLiteImageRepositoryV3Options repositoryOptions;
  repositoryOptions.clock = options.clock;
  std::optional<LibraryRecoveryNotice> recoveryNotice;
  const std::shared_ptr<SQLiteImageRepositoryV3> database =
      holdingLock(std::move(*lock), openRepository(databaseFile, stamp, repositoryOptions, recoveryNotice));

  auto folderAccessManager = std::make_shared<SecurityScopedFolderAccessManager>(
      std::move(userDefaults), std::string(SecurityScopedFolderAccessManager::kBookmarksKey),
      std::make_shared<FolderAccessDiagnosticsLogger>());
  folderAccessManager->restoreAccess();

  auto contentHasher = std::make_shared<FileContentHasher>();
  auto metricsLogger = std::make_shared<ImageLibraryIndexingMetricsLogger>();
  ImageLibraryScannerOptions scannerOptions;
  scannerOptions.contentHasher = contentHasher.get();
  scannerOptions.metricsSink = metricsLogger.get();
  scannerOptions.discoveryChunkSize = 1000;
  scannerOptions.processingBurstSize = 100;
  scannerOptions.clock = options.clock;

  LiveImageLibraryGraph graph;
  graph.database = database;
  graph.libraryDirectory = folder;
  graph.thumbnailDirectory = thumbnailFolder;
  ImageLibraryServiceDependencies& dependencies = graph.dependencies;
  dependencies.repository = database;
  dependencies.folderAccessManager = folderAccessManager;
  InotifyFolderChangeMonitor::Options monitorOptions;
  monitorOptions.clock = &clock;
  dependencies.folderChangeMonitor = std::make_shared<InotifyFolderChangeMonitor>(monitorOptions);
  auto trashMover =
      std::make_shared<FileManagerTrashMover>(folder + "/" + std::string(kPendingTrashMovesFolderName));
  // A move killed in an earlier run may have left an info file without its item.
  trashMover->removeOrphanedInfoFiles();
  dependencies.trashMover = trashMover;
  dependencies.fileAttributesReader = std::make_shared<FileSystemFileAttributesReader>();
  dependencies.thumbnailCacheRemover = std::make_shared<FileManagerThumbnailCacheRemover>(thumbnailFolder);
  dependencies.thumbnailGenerator = std::make_shared<ImageThumbnailGenerator>(
      thumbnailFolder, ImageThumbnailGenerator::kDefaultMaxPixelSize);
  dependencies.scanner =
      std::make_shared<ImageLibraryScanner>(*database, *database, GenerationMetadataParser(), scannerOptions);
  dependencies.trashStore = database;
  dependencies.tagConceptStore = database;
  dependencies.imageDragPayloadProvider = std::make_shared<OriginalPNGDragPayloadProvider>();
  dependencies.contentHasher = contentHasher;
  dependencies.owned = {database, contentHasher, metricsLogger};
  dependencies.clock = &clock;
  dependencies.activeProcessorCount = options.activeProcessorCount;
  dependencies.recoveryNotice = std::move(recoveryNotice);
  return graph;
}

std::shared_ptr<ImageLibraryService> makeLiveImageLibraryService(
    const std::optional<std::filesystem::path>& libraryDirectory, platform::Settings userDefaults,
    const LiveImageLibraryServiceOptions& options) {
  LiveImageLibraryGraph graph = makeLiveImageLibraryGraph(libraryDirectory, std::move(userDefaults), options);
  return std::make_shared<ImageLibraryService>(std::move(graph.dependencies));
}

std::shared_ptr<ImageLibraryServicing> makeDefaultLiveImageLibraryService() {
  try {
    return makeLiveImageLibraryService(std::nullopt,
                                       platform::Settings(platform::Settings::kStandardSuiteName));
  } catch (...) {
    std::rethrow_exception(asLibraryError(mapLiveServicePreparationError(std::current_exception())));
  }
}

std::shared_ptr<ImageLibraryServicing> makeUITestingLiveImageLibraryService(
    const std::string& suiteName, const std::filesystem::path& libraryDirectory) {
  return throwingLibraryErrors([&] {
    std::optional<platform::Settings> suite;
    try {
      suite.emplace(suiteName);
    } catch (const platform::SettingsError&) {
      throw UITestCompositionError::unavailableUserDefaultsSuite(suiteName);
    }
    return makeLiveImageLibraryService(libraryDirectory, std::move(*suite));
  });
}

}  // namespace lorvex
