// FileAttributesReading over stat(2).
//
// Thread safety: stateless; any thread.
#pragma once

#include "services/indexing/file_attributes_reading.h"

namespace lorvex {

class FileSystemFileAttributesReader final : public FileAttributesReading {
 public:
  std::optional<ImageFileInfo> readAttributes(const std::string& path,
                                              int* errorNumber = nullptr) const override;
};

}  // namespace lorvex
