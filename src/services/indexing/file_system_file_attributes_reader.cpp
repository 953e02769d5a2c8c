#include "services/indexing/file_system_file_attributes_reader.h"

#include "platform/file_attributes.h"

namespace lorvex {

std::optional<ImageFileInfo> FileSystemFileAttributesReader::readAttributes(const std::string& path) const {
  const auto attributes = platform::readFileAttributes(path);
  if (!attributes || attributes->kind != platform::FileKind::regularFile) return std::nullopt;
  return ImageFileInfo{path, attributes->size, attributes->modificationTime};
}

}  // namespace lorvex
