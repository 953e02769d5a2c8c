// The JPEG thumbnails of the library's thumbnail cache.
//
// A thumbnail's name is the SHA-256 of "<source path>\x1F<size>\x1F<modification time>" (the time
// in the shortest text that reads back to the same double, with ".0" for whole seconds), so a
// changed image gets a new thumbnail and an unchanged one is found again without decoding.
// An existing non-empty file is reused and its modification time moved to now (so a sweep sees
// it as recently used); a zero-byte file is written again. New thumbnails are written to a
// temporary file and renamed into place.
//
// Thread safety: no mutable state; any number of calls at once.
#pragma once

#include <cstdint>
#include <string>

#include "model/library_error.h"
#include "services/thumbnails/image_thumbnail_generating.h"

namespace lorvex {

class ImageThumbnailGeneratorError : public LibraryError {
 public:
  enum class Kind {
    cannotOpenSource,         // the source cannot be opened or read (path: the source)
    cannotCreateThumbnail,    // the source is not a decodable PNG within limits (path: the source)
    cannotCreateDestination,  // the thumbnail file cannot be created (path: the thumbnail)
    cannotWriteThumbnail,     // encoding or writing the thumbnail failed (path: the thumbnail)
  };

  ImageThumbnailGeneratorError(Kind kind, std::string path);

  Kind kind() const { return kind_; }
  const std::string& path() const { return path_; }
  // localizedDescription(): "Unable to open image source: <path>", "Unable to create thumbnail:
  // <path>", "Unable to create thumbnail destination: <path>", "Unable to write thumbnail: <path>".

  friend bool operator==(const ImageThumbnailGeneratorError& a, const ImageThumbnailGeneratorError& b) {
    return a.kind_ == b.kind_ && a.path_ == b.path_;
  }

 private:
  Kind kind_;
  std::string path_;
};

class ImageThumbnailGenerator final : public ImageThumbnailGenerating {
 public:
  static constexpr std::uint32_t kDefaultMaxPixelSize = 320;

  // `cacheDirectory`: the "Thumbnails" folder of the library; `maxPixelSize`: the longest side of
  // a thumbnail.
  explicit ImageThumbnailGenerator(std::string cacheDirectory,
                                   std::uint32_t maxPixelSize = kDefaultMaxPixelSize);

  const std::string& cacheDirectory() const { return cacheDirectory_; }
  std::uint32_t maxPixelSize() const { return maxPixelSize_; }

  // The thumbnail path for the source, without touching the file system.
  std::string thumbnailPath(const std::string& sourcePath, const ImageFileInfo& fileInfo) const;
  std::optional<std::string> cachedThumbnailPath(const std::string& sourcePath,
                                                 const ImageFileInfo& fileInfo) const override {
    return thumbnailPath(sourcePath, fileInfo);
  }

  // Always returns a path. Throws ImageThumbnailGeneratorError, or platform::FileError when the
  // shard folder cannot be created.
  std::optional<std::string> generateThumbnail(const std::string& sourcePath,
                                               const ImageFileInfo& fileInfo) const override;

 private:
  std::string cacheDirectory_;
  std::uint32_t maxPixelSize_;
};

}  // namespace lorvex
