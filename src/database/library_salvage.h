// What a person made in a library file that had to be set aside as damaged, read back from that
// file: the review state of each image (favourite, delete candidate, notes) and the tag concepts
// with their aliases and hand-made assignments. Images are named by path and by content hash, so
// that a new library can give each mark back to the same file when it indexes it again, or to the
// same content at another place; the images of the same content without marks, and which images
// went to the Trash, tell how certain such a match is.
//
// Damage ends a statement at the first unreadable page, so every fact is read from each structure
// that holds it (a table and the indexes over it), in key order from the front until the damage and
// from the back until the damage: what one structure lost another usually still has.
//
// Thread safety: salvageLibrary opens its own read-only connection; call it while nothing else
// has the file open. The values are plain and may be used from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/review_state.h"

namespace lorvex {

// One image's review state; a path, a content hash or both.
struct SalvagedReviewState {
  std::optional<std::string> path;
  std::optional<std::string> contentSHA256;
  ReviewState state;
  bool trashed = false;  // the program moved the image to the Trash

  friend bool operator==(const SalvagedReviewState&, const SalvagedReviewState&) = default;
};

struct SalvagedTagConcept {
  struct Alias {
    std::string normalizedKey;  // the tag term's key
    std::string displayName;
    std::string searchText;
    friend bool operator==(const Alias&, const Alias&) = default;
  };
  struct Assignment {
    std::optional<std::string> path;
    std::optional<std::string> contentSHA256;
    friend bool operator==(const Assignment&, const Assignment&) = default;
  };

  std::int64_t id = 0;
  std::string displayName;
  std::string normalizedKey;
  std::string searchText;
  double createdAt = 0;
  double updatedAt = 0;
  std::vector<Alias> aliases;           // active ones only
  std::vector<Assignment> assignments;  // active ones only

  friend bool operator==(const SalvagedTagConcept&, const SalvagedTagConcept&) = default;
};

struct LibrarySalvage {
  std::vector<SalvagedReviewState> reviewStates;  // not the default state, in media id order
  // The other images of the contents of reviewStates, with the default state: a file found at one
  // of their paths is that image, and where one of them is gone too, a file found with that
  // content may be it as well. In media id order.
  std::vector<SalvagedReviewState> sameContent;
  std::vector<SalvagedTagConcept> concepts;  // in id order

  friend bool operator==(const LibrarySalvage&, const LibrarySalvage&) = default;
};

// Reads what can be read of the library file (read-only; a "-wal" beside it is read too). A file
// that cannot be opened or whose schema cannot be read gives an empty salvage; damage never throws.
LibrarySalvage salvageLibrary(const std::filesystem::path& databaseFile);

}  // namespace lorvex
