// Moving reviewed delete candidates to the Trash: the only operation that changes a person's
// files. Every requested image is checked against the library before any file is touched; then
// each file is trashed only when it is still exactly the file the person reviewed, and the
// library still holds it as that file.
#include <cerrno>
#include <cmath>
#include <exception>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/log.h"
#include "platform/regular_file.h"
#include "platform/trash.h"
#include "services/image_library_service.h"
#include "services/image_library_service_error.h"
#include "services/indexing/scan_error_message.h"
#include "services/library_error_translation.h"

namespace lorvex {

namespace {

constexpr std::string_view kUnreadableMessage =
    "on-disk file attributes could not be read (permission lost, or no longer a regular file)";
constexpr std::string_view kGoneMessage = "on-disk file is gone since the review (renamed, moved or deleted)";
constexpr std::string_view kChangedMessage =
    "on-disk file no longer matches the reviewed record (size/modification date changed)";
constexpr std::string_view kContentChangedMessage =
    "on-disk file no longer holds the image that was marked (its content changed since it was marked)";
constexpr std::string_view kThumbnailRemovalFailedPrefix =
    "ゴミ箱に入れましたが、サムネイルキャッシュの削除に失敗しました: ";
constexpr std::string_view kLibraryUpdateFailedPrefix =
    "ゴミ箱に入れましたが、インデックス更新に失敗しました: ";

// Modification times closer than this are the same time (the precision the library compares at).
constexpr double kModificationTimeTolerance = 0.001;

bool isSameFile(const ImageFileInfo& onDisk, const ImageFileInfo& known) {
  return onDisk.fileSize == known.fileSize &&
         std::fabs(onDisk.modificationDate - known.modificationDate) < kModificationTimeTolerance;
}

// A failure of one file as the person and whoever helps them read it. The stored message is the
// error's text followed by the system's name of its errno, as a scan failure's is ("Unable to move
// the item to the Trash: Operation not permitted (EPERM)"); the notice carries the system's reason
// with that name, which the window shows after the failure's kind in its own language. A failure
// that is not the system's has neither.
struct DescribedFailure {
  std::string message;
  ErrorNotice notice;
};

DescribedFailure describe(const std::exception_ptr& error, ErrorNoticeKind kind) {
  DescribedFailure described{errorMessage(error), ErrorNotice{kind, {}}};
  const int errorNumber = errorNumberOf(error);
  if (errorNumber == 0) return described;
  described.notice.detail = platform::errorNumberReason(errorNumber);
  if (const std::string name = platform::errorNumberName(errorNumber); !name.empty()) {
    described.message += " (" + name + ")";
  }
  return described;
}

// A disk without a Trash is told apart from a move the system refused for the file itself: the
// person fixes one at the disk, the other at the file or its folder.
ErrorNoticeKind moveFailureKind(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const platform::TrashUnavailableError&) {
    return ErrorNoticeKind::trashUnavailable;
  } catch (...) {
    return ErrorNoticeKind::trashMoveFailed;
  }
}

}  // namespace

std::vector<ImageFileInfo> uniqueNonEmptyFiles(const std::vector<ImageFileInfo>& files) {
  std::vector<ImageFileInfo> unique;
  std::unordered_set<std::string_view> seen;
  for (const ImageFileInfo& file : files) {
    if (!file.path.empty() && seen.insert(file.path).second) unique.push_back(file);
  }
  return unique;
}

std::optional<std::string_view> ImageLibraryService::contentRefusal(const std::string& filePath,
                                                                    const ImageRecord& record) {
  // The mark was given on some content: the file must still hold it. Its size and time say
  // nothing of that when another file of the same size and time took its name, and an image
  // edited since it was marked is not the one the person decided on until they mark it again.
  if (contentHasher_ == nullptr) return std::nullopt;
  const std::optional<std::string> marked = trashStore_->deleteCandidateContent(filePath);
  if (!marked) return std::nullopt;
  std::string found;
  try {
    found = contentHasher_->sha256Hex(filePath);
  } catch (const std::exception& error) {
    platform::logInfo("Trash", "Could not read the content of " + filePath + ": " + error.what());
    return kUnreadableMessage;
  }
  if (found == *marked) return std::nullopt;
  // Found by reading it: the library learns of it, and its record (and thumbnail, cached under the
  // same size and time) is made again at the next scan.
  if (record.contentSHA256 && found != *record.contentSHA256) {
    try {
      trashStore_->markContentChanged(filePath);
      if (record.thumbnailPath) thumbnailCacheRemover_->removeThumbnail(*record.thumbnailPath);
    } catch (const std::exception& error) {
      platform::logError("Trash", "Could not note the changed content of " + filePath + ": " + error.what());
    }
  }
  return kContentChangedMessage;
}

ImageTrashSummary ImageLibraryService::moveDeleteCandidatesToTrash(
    const std::vector<ImageFileInfo>& reviewedFiles) {
  return throwingLibraryErrors([&] { return trashDeleteCandidates(reviewedFiles); });
}

ImageTrashSummary ImageLibraryService::trashDeleteCandidates(
    const std::vector<ImageFileInfo>& reviewedFiles) {
  const std::vector<ImageFileInfo> requested = uniqueNonEmptyFiles(reviewedFiles);
  ImageTrashSummary summary;
  summary.requestedCount = static_cast<std::int64_t>(requested.size());

  // The whole request is refused before anything moves when one image may not be trashed.
  std::unordered_map<std::string, ImageRecord> current;
  for (const ImageFileInfo& reviewed : requested) {
    const std::string& path = reviewed.path;
    std::optional<ImageRecord> record = trashStore_->imageRecord(path);
    if (!record) throw ImageLibraryServiceError::trashTargetNotIndexed(path);
    if (record->isMissing) throw ImageLibraryServiceError::trashTargetAlreadyMissing(path);
    if (!record->reviewState.deleteCandidate)
      throw ImageLibraryServiceError::trashTargetNotDeleteCandidate(path);
    current.emplace(path, std::move(*record));
  }
  if (requested.empty()) return summary;

  folderAccessManager_->restoreAccess();

  const auto fail = [&summary](const std::string& path, std::string message, ImageTrashFailureReason reason,
                               std::optional<ErrorNotice> notice = std::nullopt) {
    summary.failures.push_back(ImageTrashFailure{path, std::move(message), reason, std::move(notice)});
  };
  const auto failWith = [&fail](const std::string& path, std::string_view prefix,
                                const std::exception_ptr& error, ErrorNoticeKind kind) {
    DescribedFailure described = describe(error, kind);
    fail(path, std::string(prefix) + described.message, ImageTrashFailureReason::underlyingError,
         std::move(described.notice));
  };
  for (const ImageFileInfo& reviewed : requested) {
    const std::string& path = reviewed.path;
    const ImageRecord& record = current.at(path);
    // The file checked and the file moved are one path: the library's own for this image.
    const std::string& filePath = record.file.path;
    int readError = 0;
    const std::optional<ImageFileInfo> onDisk = fileAttributesReader_->readAttributes(filePath, &readError);
    if (!onDisk && (readError == ENOENT || readError == ENOTDIR)) {
      // Renamed away or deleted since the review: nothing there changed, it is simply not there.
      fail(path, std::string(kGoneMessage) + " (" + platform::errorNumberName(readError) + ")",
           ImageTrashFailureReason::underlyingError, ErrorNotice{ErrorNoticeKind::trashFileGone, {}});
      continue;
    }
    if (!onDisk) {
      fail(path, std::string(kUnreadableMessage), ImageTrashFailureReason::fileChangedSinceReview);
      continue;
    }
    // The file must be the one the person saw, not merely the one the library last indexed:
    // monitoring indexes a replaced file again and keeps its mark, and a record refreshed since
    // the review says nothing about what the person looked at. A library that holds another
    // version than the disk is refused as well: its thumbnail and bookkeeping belong to that one.
    if (!isSameFile(*onDisk, reviewed) || !isSameFile(*onDisk, record.file)) {
      fail(path, std::string(kChangedMessage), ImageTrashFailureReason::fileChangedSinceReview);
      continue;
    }
    if (const std::optional<std::string_view> refusal = contentRefusal(filePath, record)) {
      fail(path, std::string(*refusal), ImageTrashFailureReason::fileChangedSinceReview);
      continue;
    }
    try {
      trashMover_->moveToTrash(filePath);
    } catch (...) {
      const std::exception_ptr error = std::current_exception();
      failWith(path, {}, error, moveFailureKind(error));
      continue;
    }
    summary.trashedPaths.push_back(path);

    // The file is in the Trash whatever happens next; what fails now is reported beside it.
    if (record.thumbnailPath) {
      try {
        thumbnailCacheRemover_->removeThumbnail(*record.thumbnailPath);
      } catch (...) {
        failWith(path, kThumbnailRemovalFailedPrefix, std::current_exception(),
                 ErrorNoticeKind::trashThumbnailNotRemoved);
      }
    }
    try {
      trashStore_->markTrashedPathsMissing({filePath});
    } catch (...) {
      failWith(path, kLibraryUpdateFailedPrefix, std::current_exception(),
               ErrorNoticeKind::trashLibraryNotUpdated);
    }
  }
  return summary;
}

}  // namespace lorvex
