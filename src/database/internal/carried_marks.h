// The marks read back from a set-aside library, waiting in the new library for their files to be
// indexed again: the projection gives each file that is new to the library the review state and
// the hand-made concept assignments recorded for its path, or, when no entry names its path, those
// recorded for its content at a place where no file is any more (the same file name first). The
// tag concepts themselves, with their aliases, are restored at once, before any file is indexed.
//
// Thread safety: a CarriedMarks is read under the writer connection's lock; restoreTagConcepts runs
// under the caller's lock and opens its own transaction.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "database/internal/sqlite_connection.h"
#include "database/library_salvage.h"

namespace lorvex {

// Makes every salvaged concept (same id, name and key) with its aliases, unless the library has it
// already; the concepts' derived rows are rebuilt. Returns the ids of the salvaged concepts the
// library now holds under their own id and key.
std::set<std::int64_t> restoreTagConcepts(SQLiteConnection& connection, const LibrarySalvage& salvage);

class CarriedMarks {
 public:
  // `conceptIDs`: the concepts whose assignments can be given back (restoreTagConcepts).
  CarriedMarks(const LibrarySalvage& salvage, const std::set<std::int64_t>& conceptIDs);

  struct ForFile {
    std::optional<ReviewState> state;      // a state that is not the default one
    std::vector<std::int64_t> conceptIDs;  // ascending
  };
  ForFile forNewFile(const std::string& path, const std::optional<std::string>& contentSHA256) const;

  // How many images had a review state that is not the default one.
  std::int64_t reviewedImageCount() const { return reviewedImageCount_; }

 private:
  struct Entry {
    std::optional<std::string> path;
    std::optional<ReviewState> state;
    std::set<std::int64_t> conceptIDs;
  };
  Entry& entryFor(const std::optional<std::string>& path, const std::optional<std::string>& contentSHA256);

  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> byPath_;
  std::unordered_multimap<std::string, std::size_t> byContent_;
  // Entries known by their content alone, keyed by it.
  std::unordered_map<std::string, std::size_t> contentOnly_;
  std::int64_t reviewedImageCount_ = 0;
};

}  // namespace lorvex
