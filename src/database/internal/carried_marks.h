// The marks read back from a set-aside library, waiting in the new library for their files to be
// indexed again: the projection gives each file that is new to the library the review state and
// the hand-made concept assignments recorded for its path, or, when no record of the old library
// names its path, those recorded for its content at a place where no file is any more. A content
// match is carried only as far as it is certain (handOverReviewState): from one such record all of
// it, from several no delete-candidate mark; never from an image the program moved to the Trash,
// and never once the library holds that content at a place of its own (the record was handed out
// already, or the file is a copy made since). The tag concepts themselves, with their aliases, are
// restored at once, before any file is indexed.
//
// Thread safety: a CarriedMarks is read under the writer connection's lock; restoreTagConcepts runs
// under the caller's lock and opens its own transaction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "database/internal/sqlite_connection.h"
#include "database/library_salvage.h"

namespace lorvex {

// Replaces the note that lists the set-aside library (and the folders scanned since) whole: a
// temporary file written, synced and renamed over it, then its folder synced, so a crash leaves the
// old note or the new one, never one cut short (which would end the carrying early). Throws
// std::filesystem::filesystem_error.
void replaceCarriedMarksNote(const std::filesystem::path& note, const std::string& text);

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
  // `pathsHolding(sha)`: the other places the new library holds that content at.
  using PathsHolding = std::function<std::vector<std::string>(const std::string& contentSHA256)>;
  ForFile forNewFile(const std::string& path, const std::optional<std::string>& contentSHA256,
                     const PathsHolding& pathsHolding) const;

 private:
  struct Entry {
    std::optional<std::string> path;
    std::optional<ReviewState> state;
    std::set<std::int64_t> conceptIDs;
    bool trashed = false;
  };
  Entry& entryFor(const std::optional<std::string>& path, const std::optional<std::string>& contentSHA256);

  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> byPath_;
  std::unordered_multimap<std::string, std::size_t> byContent_;
  // Entries known by their content alone, keyed by it.
  std::unordered_map<std::string, std::size_t> contentOnly_;
};

}  // namespace lorvex
