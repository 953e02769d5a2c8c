#include "model/text/graphemes.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>

#include "model/text/character_break_iterator.h"
#include "model/text/unicode.h"

namespace lorvex::text {

namespace {

// What a scalar's Grapheme_Cluster_Break value says about the boundary after it.
enum class BreakKind {
  Other,      // Other: a boundary follows unless the next scalar extends it
  Control,    // Control and LF: a boundary always follows
  CR,         // a boundary follows unless LF comes next
  LF,         // (as the next scalar, LF joins a CR)
  Extending,  // Extend, ZWJ, SpacingMark: may join the scalar before
  Complex,    // Prepend, regional indicators, Hangul jamo and syllables, ill-formed bytes: ICU decides
};

BreakKind breakKindAt(std::string_view text, std::size_t& offset) {
  const auto lead = static_cast<unsigned char>(text[offset]);
  if (lead < 0x80) {
    ++offset;
    if (lead == '\r') return BreakKind::CR;
    if (lead == '\n') return BreakKind::LF;
    return (lead < 0x20 || lead == 0x7F) ? BreakKind::Control : BreakKind::Other;
  }
  const std::size_t start = offset;
  const char32_t scalar = decodeUTF8(text, offset);
  if (scalar == kReplacementCharacter && !(offset - start == 3 && lead == 0xEF)) return BreakKind::Complex;
  switch (u_getIntPropertyValue(static_cast<UChar32>(scalar), UCHAR_GRAPHEME_CLUSTER_BREAK)) {
    case U_GCB_OTHER:
      return BreakKind::Other;
    case U_GCB_CONTROL:
      return BreakKind::Control;
    case U_GCB_CR:
      return BreakKind::CR;
    case U_GCB_LF:
      return BreakKind::LF;
    case U_GCB_EXTEND:
    case U_GCB_ZWJ:
    case U_GCB_SPACING_MARK:
      return BreakKind::Extending;
    default:
      return BreakKind::Complex;
  }
}

// True when the cluster rules put a boundary between a scalar of kind `before` and one of kind
// `after` whatever surrounds them; every other case is left to ICU.
bool isCertainBoundary(BreakKind before, BreakKind after) {
  switch (before) {
    case BreakKind::Control:
    case BreakKind::LF:
      return true;
    case BreakKind::CR:
      return after != BreakKind::LF;
    case BreakKind::Other:
      return after != BreakKind::Extending;
    default:
      return false;
  }
}

}  // namespace

icu::BreakIterator* characterBreakIterator() {
  thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> created(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) created.reset();
    return created;
  }();
  return iterator.get();
}

GraphemeCursor::GraphemeCursor(std::string_view text) : text_(text) {
  if (text_.empty()) {
    scanned_ = true;
    return;
  }
  previousKind_ = static_cast<int>(breakKindAt(text_, offset_));
}

std::string_view GraphemeCursor::next() {
  if (index_ == count_) {
    refill();
    if (count_ == 0) return {};
  }
  const std::size_t end = ahead_[index_++];
  const std::string_view cluster = text_.substr(clusterStart_, end - clusterStart_);
  clusterStart_ = end;
  return cluster;
}

std::span<const std::size_t> GraphemeCursor::nextBoundaries() {
  refill();
  return {ahead_.data(), count_};
}

void GraphemeCursor::emitPendingStretch() {
  icu::BreakIterator* iterator = characterBreakIterator();
  UErrorCode status = U_ZERO_ERROR;
  UText utext = UTEXT_INITIALIZER;
  if (iterator != nullptr) {
    utext_openUTF8(&utext, text_.data() + pendingBegin_, static_cast<int64_t>(pendingEnd_ - pendingBegin_),
                   &status);
  }
  if (iterator == nullptr || U_FAILURE(status)) {
    // Without ICU data every scalar is its own cluster: wrong for marks, but never unsafe.
    while (count_ < kLookahead && pendingResume_ < pendingEnd_) {
      decodeUTF8(text_, pendingResume_);
      pendingResume_ = std::min(pendingResume_, pendingEnd_);
      push(pendingResume_);
    }
  } else {
    // The iterator is set anew at each call and resumes from the last boundary emitted, so
    // nothing else that uses it in between can disturb the walk.
    iterator->setText(&utext, status);
    for (int32_t position = iterator->following(static_cast<int32_t>(pendingResume_ - pendingBegin_));
         position != icu::BreakIterator::DONE && count_ < kLookahead; position = iterator->next()) {
      pendingResume_ = pendingBegin_ + static_cast<std::size_t>(position);
      push(pendingResume_);
      if (pendingResume_ == pendingEnd_) break;
    }
    if (count_ < kLookahead) pendingResume_ = pendingEnd_;  // the iterator ran out: the stretch is done
  }
  utext_close(&utext);
}

void GraphemeCursor::refill() {
  count_ = index_ = 0;
  // Walk the scalars; between two certain boundaries, a stretch that also holds uncertain
  // positions (marks, joiners, flags, jamo) goes to ICU as a whole.
  for (;;) {
    if (pendingResume_ < pendingEnd_) {
      emitPendingStretch();
      if (count_ == kLookahead) return;
    }
    if (scanned_) return;
    BreakKind previous = static_cast<BreakKind>(previousKind_);
    bool foundStretch = false;
    while (count_ < kLookahead && offset_ < text_.size()) {
      const std::size_t position = offset_;
      const BreakKind current = breakKindAt(text_, offset_);
      const bool certain = isCertainBoundary(previous, current);
      previous = current;
      if (!certain) {
        stretchIsUncertain_ = true;
        continue;
      }
      if (stretchIsUncertain_) {
        pendingBegin_ = pendingResume_ = stretchStart_;
        pendingEnd_ = position;
        foundStretch = true;
      } else {
        push(position);
      }
      stretchStart_ = position;
      stretchIsUncertain_ = false;
      if (foundStretch) break;
    }
    previousKind_ = static_cast<int>(previous);
    if (foundStretch) continue;
    if (count_ == kLookahead) return;
    // The end of the text.
    scanned_ = true;
    if (!stretchIsUncertain_) {
      push(text_.size());
      return;
    }
    pendingBegin_ = pendingResume_ = stretchStart_;
    pendingEnd_ = text_.size();
  }
}

std::vector<std::size_t> graphemeBoundaries(std::string_view text) {
  std::vector<std::size_t> boundaries;
  boundaries.reserve(text.size() + 1);
  boundaries.push_back(0);
  GraphemeCursor cursor(text);
  for (auto ahead = cursor.nextBoundaries(); !ahead.empty(); ahead = cursor.nextBoundaries()) {
    boundaries.insert(boundaries.end(), ahead.begin(), ahead.end());
  }
  return boundaries;
}

std::size_t graphemeCount(std::string_view text) {
  return graphemeBoundaries(text).size() - 1;
}

namespace {

// Start of the scalar that ends at `end` (> 0): back over at most three continuation bytes.
std::size_t scalarStartBefore(std::string_view text, std::size_t end) {
  std::size_t start = end - 1;
  while (start > 0 && end - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
  std::size_t probe = start;
  decodeUTF8(text, probe);
  // An ill-formed tail decodes as one-byte replacements: fall back to the last byte.
  return probe == end ? start : end - 1;
}

// ICU's answer for one position of the whole text.
bool icuIsBoundary(std::string_view text, std::size_t position) {
  icu::BreakIterator* iterator = characterBreakIterator();
  if (iterator == nullptr) return true;
  UErrorCode status = U_ZERO_ERROR;
  UText utext = UTEXT_INITIALIZER;
  utext_openUTF8(&utext, text.data(), static_cast<int64_t>(text.size()), &status);
  if (U_FAILURE(status)) {
    utext_close(&utext);
    return true;
  }
  iterator->setText(&utext, status);
  const bool boundary = iterator->isBoundary(static_cast<int32_t>(position)) != 0;
  utext_close(&utext);
  return boundary;
}

}  // namespace

bool isGraphemeBoundary(std::string_view text, std::size_t position) {
  if (position == 0 || position >= text.size()) return true;
  if ((static_cast<unsigned char>(text[position]) & 0xC0) == 0x80) return false;  // inside a scalar
  const std::size_t scalarBefore = scalarStartBefore(text, position);
  std::size_t beforeStart = scalarBefore;
  const BreakKind before = breakKindAt(text, beforeStart);
  std::size_t afterStart = position;
  const BreakKind after = breakKindAt(text, afterStart);
  if (isCertainBoundary(before, after)) return true;
  // After Other or CR the two scalars alone decide; every other case needs context.
  if (before == BreakKind::Other || before == BreakKind::CR) return false;
  // No ASCII scalar extends a cluster, joins an emoji, pairs as a flag or continues a syllable:
  // only a Prepend holds a break before a printable one back. Punctuation after marks or flags is common
  // enough in prompts that asking ICU (which scans the text anew) each time would be slow.
  if (static_cast<unsigned char>(text[position]) < 0x80) {
    if (after != BreakKind::Other) return true;  // a control character always starts a cluster
    std::size_t offset = scalarBefore;
    const char32_t scalar = decodeUTF8(text, offset);
    return u_getIntPropertyValue(static_cast<UChar32>(scalar), UCHAR_GRAPHEME_CLUSTER_BREAK) != U_GCB_PREPEND;
  }
  return icuIsBoundary(text, position);
}

}  // namespace lorvex::text
