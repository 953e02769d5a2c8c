#include "services/unavailable_image_library_service.h"

#include <utility>

#include "services/image_library_startup_error.h"

namespace lorvex {

UnavailableImageLibraryService::UnavailableImageLibraryService()
    : error_(std::make_exception_ptr(
          ImageLibraryStartupError(ImageLibraryStartupError::Kind::libraryNotPrepared))) {}

UnavailableImageLibraryService::UnavailableImageLibraryService(std::exception_ptr error)
    : error_(std::move(error)) {
  if (!error_) {
    error_ =
        std::make_exception_ptr(ImageLibraryStartupError(ImageLibraryStartupError::Kind::libraryNotPrepared));
  }
}

void UnavailableImageLibraryService::fail() const {
  std::rethrow_exception(error_);
}

std::vector<TagConcept> UnavailableImageLibraryService::searchTagConcepts(const std::optional<std::string>&,
                                                                          std::int64_t) {
  fail();
}

std::vector<TagConceptAlias> UnavailableImageLibraryService::tagConceptAliases(std::int64_t) {
  fail();
}

std::vector<TagConceptManualAssignment> UnavailableImageLibraryService::tagConceptImageAssignments(
    const std::vector<std::string>&) {
  fail();
}

TagConcept UnavailableImageLibraryService::createTagConcept(const std::string&) {
  fail();
}

TagConcept UnavailableImageLibraryService::renameTagConcept(std::int64_t, const std::string&) {
  fail();
}

void UnavailableImageLibraryService::addTagConceptAlias(std::int64_t, const std::string&) {
  fail();
}

void UnavailableImageLibraryService::removeTagConceptAlias(std::int64_t, const std::string&) {
  fail();
}

void UnavailableImageLibraryService::assignImagesToTagConcept(std::int64_t, const std::vector<std::string>&) {
  fail();
}

void UnavailableImageLibraryService::unassignImagesFromTagConcept(std::int64_t,
                                                                  const std::vector<std::string>&) {
  fail();
}

std::vector<ImageRecord> UnavailableImageLibraryService::searchImages(const ImageSearchQuery&,
                                                                      std::stop_token) {
  fail();
}

std::vector<TagSuggestion> UnavailableImageLibraryService::tagSuggestions(const std::optional<std::string>&,
                                                                          std::int64_t) {
  fail();
}

std::vector<ModelSuggestion> UnavailableImageLibraryService::modelSuggestions(
    const std::optional<std::string>&, std::int64_t) {
  fail();
}

std::optional<ImageDragPayload> UnavailableImageLibraryService::imageDragPayload(const ImageRecord&) {
  return std::nullopt;
}

std::vector<RegisteredFolderSummary> UnavailableImageLibraryService::registeredFolderSummaries() {
  fail();
}

std::vector<RegisteredFolderSummary> UnavailableImageLibraryService::registeredFolderList() {
  fail();
}

ImageLibraryScanSummary UnavailableImageLibraryService::scanLibrary(const std::vector<std::string>&,
                                                                    const ProgressHandler&, std::stop_token) {
  fail();
}

ImageLibraryScanSummary UnavailableImageLibraryService::scanChangedPaths(const std::vector<std::string>&,
                                                                         const std::vector<std::string>&,
                                                                         const ProgressHandler&,
                                                                         std::stop_token) {
  fail();
}

ImageLibraryScanSummary UnavailableImageLibraryService::syncRegisteredFolder(const std::string&,
                                                                             const ProgressHandler&,
                                                                             std::stop_token) {
  fail();
}

std::optional<ImageLibraryScanSummary> UnavailableImageLibraryService::resumeInterruptedIndexing(
    const ProgressHandler&, std::stop_token) {
  fail();
}

std::optional<std::vector<std::string>> UnavailableImageLibraryService::interruptedIndexingRootURLs() {
  fail();
}

std::vector<std::string> UnavailableImageLibraryService::restoreFolderAccess() {
  fail();
}

std::optional<RegisteredFolderEventCheckpoint> UnavailableImageLibraryService::folderEventCheckpoint(
    const std::vector<std::string>&) {
  fail();
}

std::uint64_t UnavailableImageLibraryService::currentFolderEventID() {
  return 0;
}

void UnavailableImageLibraryService::storeFolderEventID(const std::vector<std::string>&, std::uint64_t) {
  fail();
}

RegisteredFolderRoots UnavailableImageLibraryService::registeredFolderRoots() {
  fail();
}

void UnavailableImageLibraryService::startMonitoring(const std::vector<std::string>&,
                                                     std::optional<std::uint64_t>, FolderChangeHandler,
                                                     FolderMonitoringFailureHandler) {
  fail();
}

void UnavailableImageLibraryService::stopMonitoring() {}

void UnavailableImageLibraryService::registerFolders(const std::vector<std::string>&) {
  fail();
}

void UnavailableImageLibraryService::unregisterFolder(const std::string&) {
  fail();
}

void UnavailableImageLibraryService::reauthorizeFolder(const std::string&, const std::string&) {
  fail();
}

void UnavailableImageLibraryService::updateReviewState(const std::string&, const ReviewState&) {
  fail();
}

void UnavailableImageLibraryService::updateReviewStates(const std::vector<ReviewStateUpdate>&) {
  fail();
}

std::vector<ImageRecord> UnavailableImageLibraryService::restoreDeleteCandidateStates(
    const std::vector<DeleteCandidateStateRestore>&) {
  fail();
}

ImageTrashSummary UnavailableImageLibraryService::moveDeleteCandidatesToTrash(
    const std::vector<ImageFileInfo>&) {
  fail();
}

void UnavailableImageLibraryService::enqueueThumbnailJobs(const std::vector<std::string>&) {
  fail();
}

ThumbnailJobRunSummary UnavailableImageLibraryService::generatePendingThumbnails(std::int64_t,
                                                                                 std::stop_token) {
  fail();
}

ThumbnailCacheSweepSummary UnavailableImageLibraryService::sweepThumbnailCache(double) {
  fail();
}

}  // namespace lorvex
