// The failures the library service adds of its own, on top of those of the database, the scanner,
// the folder access manager and the monitor, which it passes on unchanged. Each description is
// the text the application shows. A folder to sync that is not available is a folderAccess
// failure, a refused trash request or tag-concept call a refused one.
//
// Thread safety: plain values; copies may be used from any thread.
#pragma once

#include <string>

#include "model/library_error.h"

namespace lorvex {

class ImageLibraryServiceError : public LibraryError {
 public:
  enum class Kind {
    registeredFolderUnavailable,    // a folder to sync is not registered or not available now
    trashTargetNotIndexed,          // a path to trash is not in the library
    trashTargetAlreadyMissing,      // a path to trash is marked missing
    trashTargetNotDeleteCandidate,  // a path to trash is not marked as a delete candidate
    tagConceptStoreUnavailable,     // the service was built without tag concepts
  };

  // "登録フォルダにアクセスできません: " + path.
  static ImageLibraryServiceError registeredFolderUnavailable(std::string path);
  // "インデックスに存在しない画像はゴミ箱に入れられません: " + path.
  static ImageLibraryServiceError trashTargetNotIndexed(std::string path);
  // "欠落中の画像はゴミ箱に入れられません: " + path.
  static ImageLibraryServiceError trashTargetAlreadyMissing(std::string path);
  // "削除候補ではない画像はゴミ箱に入れられません: " + path.
  static ImageLibraryServiceError trashTargetNotDeleteCandidate(std::string path);
  // "タグ概念ストアを利用できません".
  static ImageLibraryServiceError tagConceptStoreUnavailable();

  Kind kind() const { return kind_; }
  const std::string& path() const { return path_; }

  friend bool operator==(const ImageLibraryServiceError& a, const ImageLibraryServiceError& b) {
    return a.kind_ == b.kind_ && a.path_ == b.path_;
  }

 private:
  ImageLibraryServiceError(Kind kind, std::string path);

  Kind kind_;
  std::string path_;
};

// The thumbnail generator reported success without naming a file.
class ThumbnailGenerationServiceError : public LibraryError {
 public:
  // "サムネイル生成結果が空でした: " + the image path.
  static ThumbnailGenerationServiceError generatorReturnedNil(std::string path);

  const std::string& path() const { return path_; }

  friend bool operator==(const ThumbnailGenerationServiceError& a, const ThumbnailGenerationServiceError& b) {
    return a.path_ == b.path_;
  }

 private:
  explicit ThumbnailGenerationServiceError(std::string path);

  std::string path_;
};

}  // namespace lorvex
