#include "services/thumbnails/image_thumbnail_generator.h"

#include <sys/stat.h>

#include <cerrno>

#include "model/text/numbers.h"
#include "platform/file_attributes.h"
#include "platform/log.h"
#include "platform/regular_file.h"
#include "platform/sha256.h"
#include "platform/thumbnail_codec.h"
#include "services/thumbnails/thumbnail_cache_layout.h"

namespace lorvex {
namespace {

std::string describe(ImageThumbnailGeneratorError::Kind kind, const std::string& path) {
  switch (kind) {
    case ImageThumbnailGeneratorError::Kind::cannotOpenSource:
      return "Unable to open image source: " + path;
    case ImageThumbnailGeneratorError::Kind::cannotCreateThumbnail:
      return "Unable to create thumbnail: " + path;
    case ImageThumbnailGeneratorError::Kind::cannotCreateDestination:
      return "Unable to create thumbnail destination: " + path;
    case ImageThumbnailGeneratorError::Kind::cannotWriteThumbnail:
      return "Unable to write thumbnail: " + path;
  }
  return path;
}

// Creates `path` and any missing parent folders.
void createFolders(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return;
    platform::throwFileError("Unable to create folder", ENOTDIR);
  }
  const auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) createFolders(path.substr(0, slash));
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
    platform::throwFileError("Unable to create folder", errno);
}

}  // namespace

ImageThumbnailGeneratorError::ImageThumbnailGeneratorError(Kind kind, std::string path)
    : LibraryError(LibraryError::Kind::thumbnail, describe(kind, path)),
      kind_(kind),
      path_(std::move(path)) {}

ImageThumbnailGenerator::ImageThumbnailGenerator(std::string cacheDirectory, std::uint32_t maxPixelSize)
    : cacheDirectory_(std::move(cacheDirectory)), maxPixelSize_(maxPixelSize) {}

std::string ImageThumbnailGenerator::thumbnailPath(const std::string& sourcePath,
                                                   const ImageFileInfo& fileInfo) const {
  std::string key = sourcePath;
  key += '\x1f';
  key += std::to_string(fileInfo.fileSize);
  key += '\x1f';
  key += text::formatDouble(fileInfo.modificationDate);
  return thumbnailFilePath(cacheDirectory_, platform::sha256Hex(key));
}

std::optional<std::string> ImageThumbnailGenerator::generateThumbnail(const std::string& sourcePath,
                                                                      const ImageFileInfo& fileInfo) const {
  const std::string target = thumbnailPath(sourcePath, fileInfo);
  if (const auto existing = platform::readFileAttributes(target);
      existing && existing->kind == platform::FileKind::regularFile && existing->size > 0) {
    // Reused: a newer modification time keeps it out of the next sweep. A failure to update it
    // only makes an early sweep possible, after which the thumbnail is made again.
    if (!platform::touchModificationTime(target)) {
      platform::logDebug("ThumbnailGeneration", "Could not update the modification time of " + target);
    }
    return target;
  }
  createFolders(target.substr(0, target.find_last_of('/')));

  using Stage = platform::ThumbnailCodecError::Stage;
  try {
    platform::writePNGThumbnail(sourcePath, target, maxPixelSize_);
  } catch (const platform::ThumbnailCodecError& error) {
    platform::logDebug("ThumbnailGeneration", std::string(error.what()) + ": " + sourcePath);
    switch (error.stage()) {
      case Stage::readSource:
        throw ImageThumbnailGeneratorError(ImageThumbnailGeneratorError::Kind::cannotOpenSource, sourcePath);
      case Stage::decode:
        throw ImageThumbnailGeneratorError(ImageThumbnailGeneratorError::Kind::cannotCreateThumbnail,
                                           sourcePath);
      case Stage::createDestination:
        throw ImageThumbnailGeneratorError(ImageThumbnailGeneratorError::Kind::cannotCreateDestination,
                                           target);
      case Stage::encode:
      case Stage::write:
        throw ImageThumbnailGeneratorError(ImageThumbnailGeneratorError::Kind::cannotWriteThumbnail, target);
    }
    throw;
  }
  return target;
}

}  // namespace lorvex
