// The size and modification time of a file on disk, compared with a reviewed record before the
// file is moved to the Trash.
//
// Thread safety: implementations may be called from any thread at once.
#pragma once

#include <optional>
#include <string>

#include "model/image_record.h"

namespace lorvex {

class FileAttributesReading {
 public:
  virtual ~FileAttributesReading() = default;
  // The file's path (unchanged, links not resolved in it), size and modification time; nothing
  // when the file is gone, unreadable or not a regular file, with the errno value of why in
  // `errorNumber` when given (0 for an item that is not a regular file). Never throws.
  virtual std::optional<ImageFileInfo> readAttributes(const std::string& path,
                                                      int* errorNumber = nullptr) const = 0;
};

}  // namespace lorvex
