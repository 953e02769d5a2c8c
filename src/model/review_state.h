// The user's review of one image (favourite, delete candidate, notes), the request to write the
// review of several images at once, and the request to put a delete-candidate flag back when a
// change is undone.
//
// Thread safety: plain values; a value may be copied to and read on any thread.
#pragma once

#include <optional>
#include <string>

namespace lorvex {

struct ReviewState {
  bool favorite = false;
  bool deleteCandidate = false;
  std::optional<std::string> notes;  // an empty note is a note, not an absent one

  friend bool operator==(const ReviewState&, const ReviewState&) = default;
};

// One path's new review state. A batch of these is written all or nothing; when a batch names a
// path twice, the later entry is the one that stays.
struct ReviewStateUpdate {
  std::string path;
  ReviewState state;

  friend bool operator==(const ReviewStateUpdate&, const ReviewStateUpdate&) = default;
};

// One path's previous delete-candidate flag. A restore request is a list of these, and the
// library refuses a list that names a path twice.
struct DeleteCandidateStateRestore {
  std::string path;
  bool deleteCandidate = false;

  friend bool operator==(const DeleteCandidateStateRestore&, const DeleteCandidateStateRestore&) = default;
};

}  // namespace lorvex
