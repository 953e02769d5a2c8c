#include "metadata/original_png_drag_payload_provider.h"

#include <sys/stat.h>
#include <unistd.h>

#include <exception>

#include "model/text/paths.h"

namespace lorvex {
namespace {

bool namesNovelAI(const std::optional<std::string>& software, const std::optional<std::string>& source) {
  return software == "NovelAI" || (source && source->starts_with("NovelAI"));
}

// The path extension as a file manager sees it: after the last "." of the last component, where
// a leading "." (a hidden file such as ".png") starts no extension.
bool hasPNGExtension(std::string_view path) {
  const std::string_view name = text::lastPathComponent(path);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  const std::string_view extension = name.substr(dot + 1);
  if (extension.size() != 3) return false;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return lower(extension[0]) == 'p' && lower(extension[1]) == 'n' && lower(extension[2]) == 'g';
}

}  // namespace

bool OriginalPNGDragPayloadProvider::hasNovelAICommentMetadata(const GenerationMetadata& metadata) {
  return metadata.rawCommentJSON && !metadata.rawCommentJSON->empty() &&
         namesNovelAI(metadata.software, metadata.source);
}

bool OriginalPNGDragPayloadProvider::fileStillHasNovelAIComment(const std::string& path) const {
  try {
    const PNGTextMetadata metadata = textChunkReader.readFile(path);
    return metadata.commentJSON && !metadata.commentJSON->empty() &&
           namesNovelAI(metadata.software, metadata.source);
  } catch (const std::exception&) {
    return false;
  }
}

std::optional<ImageDragPayload> OriginalPNGDragPayloadProvider::payload(const ImageRecord& record) const {
  const std::string& path = record.file.path;
  if (record.isMissing) return std::nullopt;
  if (!hasPNGExtension(path)) return std::nullopt;
  if (!hasNovelAICommentMetadata(record.metadata)) return std::nullopt;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  if (::access(path.c_str(), R_OK) != 0) return std::nullopt;
  if (!fileStillHasNovelAIComment(path)) return std::nullopt;
  return ImageDragPayload{path};
}

}  // namespace lorvex
