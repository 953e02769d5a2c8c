#include "services/image_library_service.h"

#include <sched.h>

#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "model/text/paths.h"
#include "platform/clock.h"
#include "platform/file_attributes.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "services/folders/canonical_folder_path.h"
#include "services/image_library_service_error.h"
#include "services/library_error_translation.h"

namespace lorvex {

namespace {

std::vector<std::string> canonicalFolderPaths(const std::vector<std::string>& paths) {
  std::vector<std::string> result;
  result.reserve(paths.size());
  for (const std::string& path : paths) result.push_back(canonicalFolderPath(path));
  return result;
}

// The folder's name as the sidebar shows it: its last component ("/a/b/" gives "b"), or the path
// itself when there is none ("/").
std::string folderDisplayName(const std::string& path) {
  std::string_view trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.remove_suffix(1);
  const std::string_view name = text::lastPathComponent(trimmed);
  return name.empty() ? path : std::string(name);
}

template <typename T>
void require(const std::shared_ptr<T>& collaborator, const char* name) {
  if (!collaborator) throw std::invalid_argument(std::string("ImageLibraryService needs a ") + name);
}

}  // namespace

std::vector<std::string> uniqueNonEmptyPaths(const std::vector<std::string>& paths) {
  std::vector<std::string> result;
  std::unordered_set<std::string> seen;
  for (const std::string& path : paths) {
    if (path.empty() || !seen.insert(path).second) continue;
    result.push_back(path);
  }
  return result;
}

std::size_t thumbnailRunWidth(std::size_t activeProcessorCount) {
  return activeProcessorCount > 3 ? activeProcessorCount / 2 : 2;
}

std::size_t activeProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof(set), &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<std::size_t>(count);
  }
  const unsigned count = std::thread::hardware_concurrency();
  return count > 0 ? count : 1;
}

ImageLibraryService::ImageLibraryService(ImageLibraryServiceDependencies dependencies)
    : owned_(std::move(dependencies.owned)),
      repository_(std::move(dependencies.repository)),
      folderAccessManager_(std::move(dependencies.folderAccessManager)),
      folderChangeMonitor_(std::move(dependencies.folderChangeMonitor)),
      trashMover_(std::move(dependencies.trashMover)),
      fileAttributesReader_(std::move(dependencies.fileAttributesReader)),
      thumbnailCacheRemover_(std::move(dependencies.thumbnailCacheRemover)),
      thumbnailGenerator_(std::move(dependencies.thumbnailGenerator)),
      scanner_(std::move(dependencies.scanner)),
      trashStore_(std::move(dependencies.trashStore)),
      tagConceptStore_(std::move(dependencies.tagConceptStore)),
      imageDragPayloadProvider_(std::move(dependencies.imageDragPayloadProvider)),
      contentHasher_(std::move(dependencies.contentHasher)),
      clock_(dependencies.clock != nullptr ? dependencies.clock : &platform::systemClock()),
      activeProcessorCount_(dependencies.activeProcessorCount > 0 ? dependencies.activeProcessorCount
                                                                  : lorvex::activeProcessorCount()),
      recoveryNotice_(std::move(dependencies.recoveryNotice)) {
  require(repository_, "repository");
  require(folderAccessManager_, "folder access manager");
  require(folderChangeMonitor_, "folder change monitor");
  require(trashMover_, "trash mover");
  require(fileAttributesReader_, "file attributes reader");
  require(thumbnailCacheRemover_, "thumbnail cache remover");
  require(thumbnailGenerator_, "thumbnail generator");
  require(scanner_, "scanner");
  require(trashStore_, "trash store");
  require(imageDragPayloadProvider_, "drag payload provider");
  // Scans read texts of tens of megabytes on several threads: see afterScan.
  platform::limitRetainedHeapMemory();
}

// Monitoring stops first: no change handler may run while the collaborators go away.
ImageLibraryService::~ImageLibraryService() {
  stopMonitoring();
}

std::size_t ImageLibraryService::thumbnailRunWidth() const {
  return lorvex::thumbnailRunWidth(activeProcessorCount_);
}

// ---- Tag concepts -------------------------------------------------------------------------------

TagConceptStore& ImageLibraryService::tagConcepts() const {
  if (!tagConceptStore_) throw ImageLibraryServiceError::tagConceptStoreUnavailable();
  return *tagConceptStore_;
}

std::vector<TagConcept> ImageLibraryService::searchTagConcepts(const std::optional<std::string>& query,
                                                               std::int64_t limit) {
  return throwingLibraryErrors([&] { return tagConcepts().searchTagConcepts(query, limit); });
}

std::vector<TagConceptAlias> ImageLibraryService::tagConceptAliases(std::int64_t conceptID) {
  return throwingLibraryErrors([&] { return tagConcepts().tagConceptAliases(conceptID); });
}

std::vector<TagConceptManualAssignment> ImageLibraryService::tagConceptImageAssignments(
    const std::vector<std::string>& imagePaths) {
  return throwingLibraryErrors([&] { return tagConcepts().tagConceptImageAssignments(imagePaths); });
}

TagConcept ImageLibraryService::createTagConcept(const std::string& displayName) {
  return throwingLibraryErrors([&] { return tagConcepts().createTagConcept(displayName); });
}

TagConcept ImageLibraryService::renameTagConcept(std::int64_t conceptID, const std::string& displayName) {
  return throwingLibraryErrors([&] { return tagConcepts().renameTagConcept(conceptID, displayName); });
}

void ImageLibraryService::addTagConceptAlias(std::int64_t conceptID, const std::string& tag) {
  throwingLibraryErrors([&] { tagConcepts().addTagConceptAlias(conceptID, tag); });
}

void ImageLibraryService::removeTagConceptAlias(std::int64_t conceptID, const std::string& tag) {
  throwingLibraryErrors([&] { tagConcepts().removeTagConceptAlias(conceptID, tag); });
}

void ImageLibraryService::assignImagesToTagConcept(std::int64_t conceptID,
                                                   const std::vector<std::string>& imagePaths) {
  throwingLibraryErrors(
      [&] { tagConcepts().assignImagesToTagConcept(conceptID, uniqueNonEmptyPaths(imagePaths)); });
}

void ImageLibraryService::unassignImagesFromTagConcept(std::int64_t conceptID,
                                                       const std::vector<std::string>& imagePaths) {
  throwingLibraryErrors(
      [&] { tagConcepts().unassignImagesFromTagConcept(conceptID, uniqueNonEmptyPaths(imagePaths)); });
}

// ---- Search and review --------------------------------------------------------------------------

std::vector<ImageRecord> ImageLibraryService::searchImages(const ImageSearchQuery& query,
                                                           std::stop_token stop) {
  return throwingLibraryErrors([&] { return repository_->searchImages(query, std::move(stop)); });
}

std::vector<TagSuggestion> ImageLibraryService::tagSuggestions(const std::optional<std::string>& text,
                                                               std::int64_t limit) {
  return throwingLibraryErrors([&] { return repository_->tagSuggestions(text, limit); });
}

std::vector<ModelSuggestion> ImageLibraryService::modelSuggestions(const std::optional<std::string>& text,
                                                                   std::int64_t limit) {
  return throwingLibraryErrors([&] { return repository_->modelSuggestions(text, limit); });
}

std::optional<ImageDragPayload> ImageLibraryService::imageDragPayload(const ImageRecord& record) {
  return imageDragPayloadProvider_->payload(record);
}

void ImageLibraryService::updateReviewState(const std::string& path, const ReviewState& state) {
  throwingLibraryErrors([&] { repository_->updateReviewState(path, state); });
}

void ImageLibraryService::updateReviewStates(const std::vector<ReviewStateUpdate>& updates) {
  throwingLibraryErrors([&] { repository_->updateReviewStates(updates); });
}

std::vector<ImageRecord> ImageLibraryService::restoreDeleteCandidateStates(
    const std::vector<DeleteCandidateStateRestore>& restores) {
  return throwingLibraryErrors([&] { return repository_->restoreDeleteCandidateStates(restores); });
}

// ---- Registered folders and scans ---------------------------------------------------------------

std::vector<RegisteredFolderSummary> ImageLibraryService::registeredFolderSummaries() {
  return throwingLibraryErrors([&] { return folderSummaries(true); });
}

std::vector<RegisteredFolderSummary> ImageLibraryService::registeredFolderList() {
  return throwingLibraryErrors([&] { return folderSummaries(false); });
}

std::vector<RegisteredFolderSummary> ImageLibraryService::folderSummaries(bool counted) {
  const std::vector<RegisteredFolderAccess> accesses = folderAccessManager_->registeredFolderAccesses();
  std::vector<std::string> paths;
  paths.reserve(accesses.size());
  for (const RegisteredFolderAccess& access : accesses) paths.push_back(access.path);

  // The database answers per standardized path; the first answer for a path counts.
  std::unordered_map<std::string, RegisteredFolderImageCounts> countsByPath;
  for (RegisteredFolderImageCounts& counts :
       counted ? repository_->folderImageCounts(paths) : std::vector<RegisteredFolderImageCounts>{}) {
    std::string key = text::standardizedPath(counts.path);
    countsByPath.try_emplace(std::move(key), std::move(counts));
  }

  std::vector<RegisteredFolderSummary> summaries;
  summaries.reserve(accesses.size());
  for (const RegisteredFolderAccess& access : accesses) {
    RegisteredFolderSummary summary;
    summary.path = access.path;
    summary.displayName = folderDisplayName(access.path);
    summary.state = access.state;
    summary.lastError = access.lastError;
    summary.lastErrorNotice = access.lastErrorNotice;
    if (const auto found = countsByPath.find(text::standardizedPath(access.path));
        found != countsByPath.end()) {
      summary.indexedImageCount = found->second.indexedImageCount;
      summary.missingImageCount = found->second.missingImageCount;
    }
    summaries.push_back(std::move(summary));
  }
  return summaries;
}

std::optional<LibraryRecoveryNotice> ImageLibraryService::libraryRecoveryNotice() {
  std::optional<LibraryRecoveryNotice> notice = recoveryNotice_;
  if (notice && notice->recoveredMarkCount) notice->recoveredMarkCount = repository_->carriedMarkCount();
  return notice;
}

void ImageLibraryService::noteFoldersScanned(const std::vector<std::string>& roots) {
  // Only lets go of marks read back from a damaged library sooner or later: a failure here keeps
  // them until the next scan.
  try {
    std::vector<std::string> registered;
    for (const RegisteredFolderAccess& access : folderAccessManager_->registeredFolderAccesses())
      registered.push_back(canonicalFolderPath(access.path));
    repository_->noteFoldersScanned(canonicalFolderPaths(roots), registered);
  } catch (const std::exception& error) {
    platform::logError("Database", std::string("Noting the scanned folders failed: ") + error.what());
  }
}

ImageLibraryScanSummary ImageLibraryService::afterScan(ImageLibraryScanSummary summary) {
  // Made again with the other thumbnails below: the cache would hand back the old picture.
  for (const ImageFileInfo& file : summary.outdatedThumbnails) {
    const std::optional<std::string> cached = thumbnailGenerator_->cachedThumbnailPath(file.path, file);
    if (!cached) continue;
    try {
      thumbnailCacheRemover_->removeThumbnail(*cached);
    } catch (const std::exception& error) {
      platform::logError("ThumbnailGeneration",
                         "Could not remove an outdated thumbnail: " + std::string(error.what()));
    }
  }
  repository_->enqueueMissingThumbnailJobs(ThumbnailJobPriority::background);
  // A scan may have read texts of tens of megabytes: what it freed goes back to the system instead
  // of staying counted against the program at rest.
  repository_->releaseCachedMemory();
  platform::releaseFreeHeapMemory();
  return summary;
}

// A registered folder that was renamed or moved is scanned at its new place; what the library
// holds under its old place must go, or every image would show twice. Done before a scan, so that
// the scan finds any file that is still (or again) at such a path; each image found at the new
// one takes its review state along from its missing record there, whenever a scan finds it. A
// changed-path scan does not walk the new place: the old places stay known for the next full scan.
void ImageLibraryService::markFormerFolderLocationsMissing(bool forget) {
  const std::vector<std::string> formerPaths = folderAccessManager_->formerFolderPaths();
  if (formerPaths.empty()) return;
  repository_->markMissing(formerPaths);
  if (forget) folderAccessManager_->forgetFormerFolderPaths(formerPaths);
}

ImageLibraryScanSummary ImageLibraryService::scanLibrary(const std::vector<std::string>& rootURLs,
                                                         const ProgressHandler& progress,
                                                         std::stop_token stop) {
  return throwingLibraryErrors([&] {
    markFormerFolderLocationsMissing();
    ImageLibraryScanSummary summary = scanner_->scan(rootURLs, progress, std::move(stop));
    noteFoldersScanned(rootURLs);
    return afterScan(std::move(summary));
  });
}

ImageLibraryScanSummary ImageLibraryService::scanChangedPaths(const std::vector<std::string>& changedURLs,
                                                              const std::vector<std::string>& rootURLs,
                                                              const ProgressHandler& progress,
                                                              std::stop_token stop) {
  return throwingLibraryErrors([&] {
    markFormerFolderLocationsMissing(false);
    return afterScan(scanner_->scanChangedPaths(changedURLs, rootURLs, progress, std::move(stop)));
  });
}

ImageLibraryScanSummary ImageLibraryService::syncRegisteredFolder(const std::string& path,
                                                                  const ProgressHandler& progress,
                                                                  std::stop_token stop) {
  return throwingLibraryErrors([&] {
    const std::string target = canonicalFolderPath(path);
    const std::vector<std::string> roots = folderAccessManager_->restoreAccess();
    markFormerFolderLocationsMissing();
    for (const std::string& root : roots) {
      if (canonicalFolderPath(root) != target) continue;
      ImageLibraryScanSummary summary = scanner_->scan({root}, progress, std::move(stop));
      noteFoldersScanned({root});
      return afterScan(std::move(summary));
    }
    throw ImageLibraryServiceError::registeredFolderUnavailable(target);
  });
}

std::optional<ImageLibraryScanSummary> ImageLibraryService::resumeInterruptedIndexing(
    const ProgressHandler& progress, std::stop_token stop) {
  return throwingLibraryErrors([&]() -> std::optional<ImageLibraryScanSummary> {
    const std::optional<IndexingJobRecord> job = repository_->latestRunningIndexingJob();
    std::optional<ImageLibraryScanSummary> summary =
        scanner_->resumeInterruptedJob(progress, std::move(stop));
    if (!summary) return std::nullopt;
    // The job's roots that are gone were not scanned (ImageLibraryScanning::resumeInterruptedJob).
    std::vector<std::string> scanned;
    for (const std::string& root : job ? job->rootPaths : std::vector<std::string>{}) {
      if (platform::fileExists(root)) scanned.push_back(root);
    }
    noteFoldersScanned(scanned);
    return afterScan(std::move(*summary));
  });
}

std::optional<std::vector<std::string>> ImageLibraryService::interruptedIndexingRootURLs() {
  return throwingLibraryErrors([&]() -> std::optional<std::vector<std::string>> {
    std::optional<IndexingJobRecord> job = repository_->latestRunningIndexingJob();
    if (!job) return std::nullopt;
    return std::move(job->rootPaths);
  });
}

std::vector<std::string> ImageLibraryService::restoreFolderAccess() {
  return throwingLibraryErrors([&] { return folderAccessManager_->restoreAccess(); });
}

std::optional<RegisteredFolderEventCheckpoint> ImageLibraryService::folderEventCheckpoint(
    const std::vector<std::string>& rootURLs) {
  return throwingLibraryErrors([&]() -> std::optional<RegisteredFolderEventCheckpoint> {
    const std::vector<std::string> paths = canonicalFolderPaths(rootURLs);
    // Replaying events cannot bring images indexed by an older projection up to date; only a full
    // scan does.
    if (repository_->hasFilesNeedingReprojection(paths)) return std::nullopt;
    return repository_->lastFSEventID(paths);
  });
}

std::uint64_t ImageLibraryService::currentFolderEventID() {
  return folderChangeMonitor_->currentEventID();
}

void ImageLibraryService::storeFolderEventID(const std::vector<std::string>& rootURLs,
                                             std::uint64_t eventID) {
  throwingLibraryErrors([&] { repository_->saveLastFSEventID(canonicalFolderPaths(rootURLs), eventID); });
}

RegisteredFolderRoots ImageLibraryService::registeredFolderRoots() {
  return throwingLibraryErrors([&] {
    RegisteredFolderRoots roots;
    for (RegisteredFolderAccess& access : folderAccessManager_->registeredFolderAccesses()) {
      roots.registeredPaths.push_back(access.path);
      if (access.state == RegisteredFolderAccessState::available && access.url) {
        roots.availableRootURLs.push_back(std::move(*access.url));
      }
    }
    return roots;
  });
}

void ImageLibraryService::startMonitoring(const std::vector<std::string>& rootURLs,
                                          std::optional<std::uint64_t> sinceEventID,
                                          FolderChangeHandler onChange,
                                          FolderMonitoringFailureHandler onEnded) {
  throwingLibraryErrors([&] {
    folderChangeMonitor_->start(canonicalFolderPaths(rootURLs), sinceEventID, std::move(onChange),
                                std::move(onEnded));
  });
}

void ImageLibraryService::stopMonitoring() {
  try {
    folderChangeMonitor_->stop();
  } catch (const std::exception& error) {
    // Stopping cannot fail for the caller; a monitor that could not stop cleanly says why here.
    platform::logError("FolderMonitoring", std::string("Stopping folder monitoring failed: ") + error.what());
  }
}

void ImageLibraryService::registerFolders(const std::vector<std::string>& folderURLs) {
  throwingLibraryErrors([&] { folderAccessManager_->registerFolders(folderURLs); });
}

void ImageLibraryService::unregisterFolder(const std::string& path) {
  throwingLibraryErrors([&] { folderAccessManager_->unregisterFolder(path); });
}

void ImageLibraryService::reauthorizeFolder(const std::string& selectedURL, const std::string& path) {
  throwingLibraryErrors([&] { folderAccessManager_->reauthorizeFolder(selectedURL, path); });
}

void ImageLibraryService::enqueueThumbnailJobs(const std::vector<std::string>& paths) {
  throwingLibraryErrors([&] { repository_->enqueueThumbnailJobs(paths, ThumbnailJobPriority::visible); });
}

}  // namespace lorvex
