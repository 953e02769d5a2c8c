// Producing the cached thumbnail of one source image.
//
// Thread safety: implementations may be called concurrently (the facade renders several
// thumbnails at once).
#pragma once

#include <optional>
#include <string>

#include "model/image_record.h"

namespace lorvex {

class ImageThumbnailGenerating {
 public:
  virtual ~ImageThumbnailGenerating() = default;
  // The absolute path of the thumbnail of the image at `sourcePath` as `fileInfo` describes it,
  // written when it is not in the cache yet. Nothing means the generator produced no file (the
  // caller reports that as a failure). Throws when the image cannot be read or the thumbnail
  // cannot be written.
  virtual std::optional<std::string> generateThumbnail(const std::string& sourcePath,
                                                       const ImageFileInfo& fileInfo) const = 0;
  // Where that thumbnail is cached, when the generator keeps one by the image's path, size and
  // time; nothing otherwise.
  virtual std::optional<std::string> cachedThumbnailPath(const std::string& sourcePath,
                                                         const ImageFileInfo& fileInfo) const {
    (void)sourcePath;
    (void)fileInfo;
    return std::nullopt;
  }
};

}  // namespace lorvex
