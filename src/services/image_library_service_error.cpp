#include "services/image_library_service_error.h"

#include <utility>

namespace lorvex {

namespace {

std::string describe(ImageLibraryServiceError::Kind kind, const std::string& path) {
  using Kind = ImageLibraryServiceError::Kind;
  switch (kind) {
    case Kind::registeredFolderUnavailable:
      return "登録フォルダにアクセスできません: " + path;
    case Kind::trashTargetNotIndexed:
      return "インデックスに存在しない画像はゴミ箱に入れられません: " + path;
    case Kind::trashTargetAlreadyMissing:
      return "欠落中の画像はゴミ箱に入れられません: " + path;
    case Kind::trashTargetNotDeleteCandidate:
      return "削除候補ではない画像はゴミ箱に入れられません: " + path;
    case Kind::tagConceptStoreUnavailable:
      return "タグ概念ストアを利用できません";
  }
  return {};
}

LibraryError::Kind errorKindOf(ImageLibraryServiceError::Kind kind) {
  return kind == ImageLibraryServiceError::Kind::registeredFolderUnavailable
             ? LibraryError::Kind::folderAccess
             : LibraryError::Kind::refused;
}

}  // namespace

ImageLibraryServiceError::ImageLibraryServiceError(Kind kind, std::string path)
    : LibraryError(errorKindOf(kind), describe(kind, path)), kind_(kind), path_(std::move(path)) {}

ImageLibraryServiceError ImageLibraryServiceError::registeredFolderUnavailable(std::string path) {
  return {Kind::registeredFolderUnavailable, std::move(path)};
}

ImageLibraryServiceError ImageLibraryServiceError::trashTargetNotIndexed(std::string path) {
  return {Kind::trashTargetNotIndexed, std::move(path)};
}

ImageLibraryServiceError ImageLibraryServiceError::trashTargetAlreadyMissing(std::string path) {
  return {Kind::trashTargetAlreadyMissing, std::move(path)};
}

ImageLibraryServiceError ImageLibraryServiceError::trashTargetNotDeleteCandidate(std::string path) {
  return {Kind::trashTargetNotDeleteCandidate, std::move(path)};
}

ImageLibraryServiceError ImageLibraryServiceError::tagConceptStoreUnavailable() {
  return {Kind::tagConceptStoreUnavailable, {}};
}

ThumbnailGenerationServiceError::ThumbnailGenerationServiceError(std::string path)
    : LibraryError(LibraryError::Kind::thumbnail, "サムネイル生成結果が空でした: " + path),
      path_(std::move(path)) {}

ThumbnailGenerationServiceError ThumbnailGenerationServiceError::generatorReturnedNil(std::string path) {
  return ThumbnailGenerationServiceError(std::move(path));
}

}  // namespace lorvex
