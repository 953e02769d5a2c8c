// User-perceived characters (extended grapheme clusters). Where the program splits, counts or
// compares "characters" it walks these. Boundaries that the two scalars around them decide (ASCII,
// most CJK) take a fast path; stretches with marks, joiners, flags or jamo go to ICU.
//
// Thread safety: pure functions, callable from any thread (each thread keeps its own ICU
// iterator). Input is UTF-8; ill-formed bytes are handled safely as U+FFFD.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace lorvex::text {

// Walks the clusters of a text one at a time in constant memory, however long the text: the
// boundaries are found a few dozen ahead, never all at once. Holds no ICU state between calls,
// so any other text function may run while a cursor is open. The text must outlive the cursor.
class GraphemeCursor {
 public:
  explicit GraphemeCursor(std::string_view text);

  // The next cluster of the text; empty once the text is exhausted.
  std::string_view next();

  // The ends of the next clusters, as many as were found ahead (a few dozen); empty once the text
  // is exhausted. For walks that only collect boundaries; do not mix with next().
  std::span<const std::size_t> nextBoundaries();

 private:
  static constexpr std::size_t kLookahead = 128;

  void refill();
  void push(std::size_t boundary) { ahead_[count_++] = boundary; }
  // Emits boundaries of the pending ICU stretch until it is done or the look-ahead is full.
  void emitPendingStretch();

  std::string_view text_;
  std::array<std::size_t, kLookahead> ahead_{};
  std::size_t count_ = 0;
  std::size_t index_ = 0;
  std::size_t clusterStart_ = 0;
  // The scalar scan: the next scalar to read, the break kind of the scalar before it and the
  // stretch since the last certain boundary.
  std::size_t offset_ = 0;
  int previousKind_ = 0;
  std::size_t stretchStart_ = 0;
  bool stretchIsUncertain_ = false;
  bool scanned_ = false;
  // A stretch that ICU segments, [begin, end), emitted up to `resume`.
  std::size_t pendingBegin_ = 0;
  std::size_t pendingEnd_ = 0;
  std::size_t pendingResume_ = 0;
};

// Byte offsets of every cluster boundary of valid UTF-8 `text`, starting with 0 and ending with
// text.size() (so an empty text gives {0}).
std::vector<std::size_t> graphemeBoundaries(std::string_view text);

std::size_t graphemeCount(std::string_view text);

// True when a cluster boundary of `text` lies at byte `position` (0 and text.size() always are).
// Decided from the two scalars around it where the rules allow, by ICU otherwise.
bool isGraphemeBoundary(std::string_view text, std::size_t position);

}  // namespace lorvex::text
