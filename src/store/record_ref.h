// Records as the store's models hold them: shared and immutable. The result window, the trash
// browser, the projections and the grid's list model share one record object; a change to a loaded
// record (its review state, its thumbnail) replaces that one element with a changed copy, so a
// holder never sees a record change under it.
//
// Thread safety: a RecordRef may be copied and read on any thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/image_record.h"
#include "store/path_set.h"

class QThreadPool;

namespace lorvex {

using RecordRef = std::shared_ptr<const ImageRecord>;

inline RecordRef makeRecordRef(ImageRecord record) {
  return std::make_shared<const ImageRecord>(std::move(record));
}

// Equal records: the same object, or records equal field by field (a reload's fresh copies of
// unchanged records are equal without being the same object).
inline bool sameRecord(const RecordRef& a, const RecordRef& b) {
  return a == b || (a != nullptr && b != nullptr && *a == *b);
}

inline bool sameRecords(const std::vector<RecordRef>& a, const std::vector<RecordRef>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!sameRecord(a[i], b[i])) return false;
  }
  return true;
}

// sameRecords for long lists (a reload that brings the loaded window back unchanged compares a
// hundred thousand records field by field). Long lists are compared in chunks that pool threads
// help with; the calling thread takes chunks itself and waits only for chunks a helper has
// already begun, never for a job still queued behind other work. Main thread only.
bool sameRecordLists(const std::vector<RecordRef>& a, const std::vector<RecordRef>& b);

// Drops `records` on a thread of `pool`. Freeing a record frees its whole metadata tree, about a
// microsecond each: records a reload replaced or left unused go this way instead of costing the
// main thread. Records someone else still holds just lose a reference.
void releaseRecordsOn(QThreadPool& pool, std::vector<RecordRef> records);

// Hash for path-keyed containers that accepts string views without building a string.
struct PathHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view path) const noexcept { return std::hash<std::string_view>{}(path); }
};

template <typename Value>
using PathMap = std::unordered_map<std::string, Value, PathHash, std::equal_to<>>;

}  // namespace lorvex
