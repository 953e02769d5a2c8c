// The values the delete-candidate review keeps in the store: the banner that reports the last
// marking and the undo actions that put marks, positions and the selection back.
//
// Thread safety: plain values.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "store/record_ref.h"

namespace lorvex {

struct DeleteCandidateFeedback {
  enum class Change { marked, unmarked };

  Change change = Change::marked;
  int affectedCount = 0;
  bool hiddenFromNormalResults = false;
  bool allowsUndo = false;

  friend bool operator==(const DeleteCandidateFeedback&, const DeleteCandidateFeedback&) = default;
};

// One record as it was before the action: its mark and where it stood in the result window.
struct DeleteCandidateUndoRecord {
  std::string path;
  bool deleteCandidate = false;
  int index = 0;

  friend bool operator==(const DeleteCandidateUndoRecord&, const DeleteCandidateUndoRecord&) = default;
};

struct DeleteCandidateUndoAction {
  std::vector<DeleteCandidateUndoRecord> records;
  std::optional<std::string> selectedPath;
  PathSet selectedPaths;
  std::optional<std::string> selectionAnchorPath;
  bool wasSlideshowPresented = false;
  bool wasSlideshowPlaying = false;

  // What the action costs the undo stack's size limit: its records, its selected paths and each
  // path it remembers besides.
  std::size_t weight() const {
    return records.size() + selectedPaths.size() + (selectedPath ? 1 : 0) + (selectionAnchorPath ? 1 : 0);
  }

  friend bool operator==(const DeleteCandidateUndoAction&, const DeleteCandidateUndoAction&) = default;
};

}  // namespace lorvex
