#include "services/indexing/content_hash_ahead.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "platform/file_attributes.h"

namespace lorvex {

void ContentHashAhead::start(const std::string& path) {
  for (const auto& entry : pending_) {
    if (entry.path == path) return;
  }
  if (pending_.size() >= kCapacity) pending_.pop_front();
  std::future<std::optional<Result>> result;
  try {
    result = std::async(std::launch::async, [&hasher = hasher_, path]() -> std::optional<Result> {
      const auto before = platform::readFileAttributes(path);
      if (!before || before->kind != platform::FileKind::regularFile) return std::nullopt;
      Result result{before->size, before->modificationTime, {}};
      try {
        result.hex = hasher.sha256Hex(path);
      } catch (...) {
        return std::nullopt;  // the scan hashes it again and reports the error
      }
      const auto after = platform::readFileAttributes(path);
      if (!after || after->size != before->size || after->modificationTime != before->modificationTime) {
        return std::nullopt;
      }
      return result;
    });
  } catch (const std::system_error&) {
    return;  // no thread to spare: the scan hashes the file itself
  }
  pending_.push_back({path, std::move(result)});
}

std::optional<std::string> ContentHashAhead::take(const ImageFileInfo& file) {
  const auto entry = std::find_if(pending_.begin(), pending_.end(),
                                  [&](const Pending& pending) { return pending.path == file.path; });
  if (entry == pending_.end()) return std::nullopt;
  std::optional<Result> result;
  try {
    result = entry->result.get();
  } catch (...) {
    // Out of memory on the helper thread: the scan hashes the file itself.
  }
  pending_.erase(entry);
  if (!result || result->size != file.fileSize || result->modificationTime != file.modificationDate) {
    return std::nullopt;
  }
  return result->hex;
}

}  // namespace lorvex
