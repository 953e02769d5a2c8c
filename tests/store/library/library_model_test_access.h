// How tests (and the screen tool's staged scenes) reach what LibraryModel keeps to itself: the
// handles of its flows, and the fields only its own flows set, for arranging a library state
// (folders, busy flags, progress, a last scan) without running a scan.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/library/library_model.h"

namespace lorvex {

struct LibraryModelTestAccess {
  static const StoreTask<void>& launchWorkflowTask(const LibraryModel& model) {
    return model.launchWorkflowTask_;
  }
  static const StoreTask<void>& thumbnailCacheMaintenanceTask(const LibraryModel& model) {
    return model.thumbnailCacheMaintenanceTask_;
  }

  static void setRegisteredFolderSummaries(LibraryModel& model, std::vector<RegisteredFolderSummary> value) {
    model.setRegisteredFolderSummaries(std::move(value));
  }
  static void setIsLoadingRegisteredFolders(LibraryModel& model, bool value) {
    model.setIsLoadingRegisteredFolders(value);
  }
  static void setHasLoadedRegisteredFolderSummaries(LibraryModel& model, bool value) {
    model.setHasLoadedRegisteredFolderSummaries(value);
  }
  static void setLibraryOpenFailure(LibraryModel& model, std::optional<LibraryOpenFailure> value) {
    model.setLibraryOpenFailure(std::move(value));
  }
  static void setLastScanDiagnosticContext(LibraryModel& model,
                                           std::optional<ImageLibraryScanDiagnosticContext> value) {
    model.setLastScanDiagnosticContext(std::move(value));
  }
  static void setLastScanSummary(LibraryModel& model, std::optional<ImageLibraryScanSummary> value) {
    model.setLastScanSummary(std::move(value));
  }
  static void setIndexingProgress(LibraryModel& model, std::optional<ImageLibraryIndexingProgress> value) {
    model.setIndexingProgress(std::move(value));
  }
  static void setIsPreparingLibrary(LibraryModel& model, bool value) { model.setIsPreparingLibrary(value); }
  static void setIsIndexing(LibraryModel& model, bool value) { model.setIsIndexing(value); }
  static void setIsLibrarySyncInProgress(LibraryModel& model, bool value) {
    model.setIsLibrarySyncInProgress(value);
  }
  static void setActiveFolderRegistrationRootPaths(LibraryModel& model, std::vector<std::string> value) {
    model.setActiveFolderRegistrationRootPaths(std::move(value));
  }
  static void setLastIndexingResultRefreshIndexedCount(LibraryModel& model, int value) {
    model.setLastIndexingResultRefreshIndexedCount(value);
  }
  static void setLibraryRecoveryNotice(LibraryModel& model, std::optional<LibraryRecoveryNotice> value) {
    model.setLibraryRecoveryNotice(std::move(value));
  }
  static void setLaunchWorkflowTask(LibraryModel& model, StoreTask<void> value) {
    model.setLaunchWorkflowTask(std::move(value));
  }
  static void setThumbnailCacheMaintenanceTask(LibraryModel& model, StoreTask<void> value) {
    model.setThumbnailCacheMaintenanceTask(std::move(value));
  }
};

}  // namespace lorvex
