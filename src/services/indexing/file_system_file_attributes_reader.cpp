#include "services/indexing/file_system_file_attributes_reader.h"

#include "platform/file_attributes.h"

namespace lorvex {

std::optional<ImageFileInfo> FileSystemFileAttributesReader::readAttributes(const std::string& path,
                                                                            int* errorNumber) const {
  int error = 0;
  const auto attributes = platform::readFileAttributes(path, platform::LinkHandling::follow, &error);
  if (errorNumber != nullptr) *errorNumber = attributes ? 0 : error;
  if (!attributes || attributes->kind != platform::FileKind::regularFile) return std::nullopt;
  return ImageFileInfo{path, attributes->size, attributes->modificationTime};
}

}  // namespace lorvex
