#include "model/novelai_prompt_syntax.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <unordered_map>
#include <utility>

#include "model/prompt_tag_scanners.h"
#include "model/prompt_whitespace.h"
#include "model/text/graphemes.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace lorvex {

namespace novelai_prompt {

namespace {

using Range = std::pair<std::size_t, std::size_t>;

// An array over the positions of a text whose pages are allocated when first written: the passes
// from a few positions touch a few pages, so a text of tens of megabytes costs what its chains
// visit, not several bytes per byte.
class PagedPositions {
 public:
  void reset(std::size_t size, std::uint32_t initial) {
    initial_ = initial;
    pages_.clear();
    pages_.resize(size / kPageSize + 1);
  }
  bool empty() const { return pages_.empty(); }

  std::uint32_t operator[](std::size_t position) const {
    const auto& page = pages_[position / kPageSize];
    return page ? page[position % kPageSize] : initial_;
  }
  void set(std::size_t position, std::uint32_t value) {
    auto& page = pages_[position / kPageSize];
    if (!page) {
      page = std::make_unique<std::uint32_t[]>(kPageSize);
      std::fill_n(page.get(), kPageSize, initial_);
    }
    page[position % kPageSize] = value;
  }

 private:
  static constexpr std::size_t kPageSize = 4096;
  std::vector<std::unique_ptr<std::uint32_t[]>> pages_;
  std::uint32_t initial_ = 0;
};

// Pass-by-pass reduction of one side (front or back) of an alternative, as a forest: each
// position points to where one pass of that side moves it, a fixpoint is a root. Skew-binary
// jump pointers give the position after t passes in O(log n).
class PassForest {
 public:
  static constexpr std::uint32_t kUnknown = std::numeric_limits<std::uint32_t>::max();

  template <typename Step>
  void ensure(std::size_t position, std::size_t size, Step step) {
    if (parent_.empty()) {
      parent_.reset(size + 1, kUnknown);
      jump_.reset(size + 1, kUnknown);
      depth_.reset(size + 1, 0);
    }
    std::vector<std::size_t> chain;
    std::size_t current = position;
    while (parent_[current] == kUnknown) {
      const std::size_t next = step(current);
      if (next == current) {
        parent_.set(current, static_cast<std::uint32_t>(current));
        jump_.set(current, static_cast<std::uint32_t>(current));
        depth_.set(current, 0);
        break;
      }
      chain.push_back(current);
      current = next;
    }
    // Link from the root down, so every parent is complete before its children.
    for (auto node = chain.rbegin(); node != chain.rend(); ++node) {
      const std::uint32_t up = static_cast<std::uint32_t>(current);
      const std::uint32_t upJump = jump_[up];
      parent_.set(*node, up);
      depth_.set(*node, depth_[up] + 1);
      jump_.set(*node,
                depth_[up] - depth_[upJump] == depth_[upJump] - depth_[jump_[upJump]] ? jump_[upJump] : up);
      current = *node;
    }
  }

  std::uint32_t depth(std::size_t position) const { return depth_[position]; }
  std::size_t parent(std::size_t position) const { return parent_[position]; }

  // The position after `passes` passes from `position` (its root once the passes run out).
  std::size_t after(std::size_t position, std::size_t passes) const {
    const std::uint32_t target =
        depth_[position] > passes ? depth_[position] - static_cast<std::uint32_t>(passes) : 0;
    std::size_t node = position;
    while (depth_[node] > target) node = depth_[jump_[node]] >= target ? jump_[node] : parent_[node];
    return node;
  }

 private:
  PagedPositions parent_;
  PagedPositions jump_;
  PagedPositions depth_;
};

// One alternative of a prompt, whitespace already collapsed. Segments and tags are byte ranges
// of it; reduce() gives what normalizeNovelAIPromptTag leaves of a range.
//
// Normalising strips, pass after pass, a weight prefix, colon pairs and opening brackets from the
// front and colon pairs and closing brackets from the back. Done naively, deciding where weights
// split a long alternative normalises one suffix per candidate weight, each pass by pass:
// quadratic. For long ranges the front and the back are followed separately instead, each as a
// memoised function of its position: a pass does exactly what the two separate passes do as long
// as the front after it still lies before the back after it (neither side then reads anything
// the other removes). So the range is exact up to the first pass where the two would meet,
// found by binary search over pass counts, and only from there is it simulated pass by pass.
class Alternative {
 public:
  explicit Alternative(std::string_view text) : text_(text) {}

  Range reduce(std::size_t begin, std::size_t end) {
    if (end - begin <= kDirectLimit || text_.size() >= PassForest::kUnknown)
      return simulate(begin, end, false);
    front_.ensure(begin, text_.size(), [this](std::size_t p) { return frontPass(p); });
    back_.ensure(end, text_.size(), [this](std::size_t p) { return backPass(p); });
    const auto apart = [&](std::size_t passes) {
      return front_.after(begin, passes) < back_.after(end, passes);
    };
    // After `settled` passes the back has stopped moving.
    const std::size_t settled = back_.depth(end);
    if (apart(settled)) return reduceSettled(front_.after(begin, settled), back_.after(end, settled));
    std::size_t stillApart = 0;  // apart(0) holds: begin < end
    std::size_t together = settled;
    while (together - stillApart > 1) {
      const std::size_t middle = stillApart + (together - stillApart) / 2;
      (apart(middle) ? stillApart : together) = middle;
    }
    // Passes before `together` ran exactly as the separate sides did.
    const std::size_t passes = together - 1;
    return simulate(front_.after(begin, passes), back_.after(end, passes), true);
  }

  // The weighted segments, in order. Splitting is done with an explicit stack, so a prompt of any
  // length cannot exhaust the call stack.
  //
  // The part after a whitespace-before-colons cut needs no new weight search: it keeps the end of
  // a text that had no qualifying weight, no weight match crosses the cut (whitespace separates
  // them), so its weights are that text's and none qualifies. Searching again would rescan the
  // rest of the text at every cut, quadratic in a long run of ' ::a'.
  void visitTokens(const TokenVisitor& visit, const TokenStop& stop) {
    struct Pending {
      std::size_t begin;
      std::size_t end;
      bool hasNoWeightSplit;
    };
    std::vector<Pending> pending{{0, text_.size(), false}};
    while (!pending.empty() && !(stop && stop())) {
      auto [begin, end, hasNoWeightSplit] = pending.back();
      pending.pop_back();
      const std::string_view trimmed = text::trimmedWhitespace(text_.substr(begin, end - begin));
      if (trimmed.empty()) continue;
      begin = static_cast<std::size_t>(trimmed.data() - text_.data());
      end = begin + trimmed.size();
      if (const auto split = hasNoWeightSplit ? std::nullopt : weightSplitIndex(begin, end)) {
        pending.push_back({*split, end, false});
        pending.push_back({begin, *split, false});
        continue;
      }
      if (const auto space = prompt_syntax::findWhitespaceBeforeColons(trimmed)) {
        pending.push_back({begin + space->end, end, true});
        pending.push_back({begin, begin + space->begin, false});
        continue;
      }
      const auto [tagBegin, tagEnd] = reduce(begin, end);
      TokenView token{trimmed, std::nullopt};
      if (tagBegin < tagEnd) token.tag = text_.substr(tagBegin, tagEnd - tagBegin);
      visit(token);
    }
  }

 private:
  static constexpr std::size_t kDirectLimit = 96;

  std::string_view view(std::size_t begin, std::size_t end) const { return text_.substr(begin, end - begin); }

  // One pass of the normaliser over [begin, end): weight prefix, leading colon pairs, trailing
  // colon pairs, opening brackets, closing brackets, then trimming.
  Range pass(std::size_t begin, std::size_t end) const {
    begin += prompt_syntax::weightPrefixLength(view(begin, end));
    begin += prompt_syntax::leadingColonPairsLength(view(begin, end));
    end = begin + prompt_syntax::trailingColonPairsStart(view(begin, end));
    begin += prompt_syntax::leadingOpenBracketsLength(view(begin, end));
    end = begin + prompt_syntax::trailingCloseBracketsStart(view(begin, end));
    const std::string_view trimmed = text::trimmedWhitespace(view(begin, end));
    begin = static_cast<std::size_t>(trimmed.data() - text_.data());
    return {begin, begin + trimmed.size()};
  }

  static std::uint64_t stateKey(std::size_t begin, std::size_t end) {
    return (static_cast<std::uint64_t>(begin) << 32) | end;
  }

  // The result from a pass that starts at [begin, end) where the back no longer moves: the front
  // follows its own chain until its next step would reach the back. Every state on the way is
  // memoised, so the suffixes of one weight chain share a single walk.
  Range reduceSettled(std::size_t begin, std::size_t end) {
    std::vector<std::uint64_t> visited;
    Range result;
    for (;;) {
      const std::uint64_t key = stateKey(begin, end);
      if (const auto found = states_.find(key); found != states_.end()) {
        result = found->second;
        break;
      }
      visited.push_back(key);
      const std::size_t next = front_.parent(begin);
      if (next == begin) {
        result = {begin, end};
        break;
      }
      if (next >= end) {
        result = simulate(begin, end, true);
        break;
      }
      begin = next;
    }
    for (const std::uint64_t key : visited) states_[key] = result;
    return result;
  }

  Range simulate(std::size_t begin, std::size_t end, bool memoise) {
    std::vector<std::uint64_t> visited;
    Range result;
    for (;;) {
      if (memoise) {
        const std::uint64_t key = stateKey(begin, end);
        if (const auto found = states_.find(key); found != states_.end()) {
          result = found->second;
          break;
        }
        visited.push_back(key);
      }
      const Range next = pass(begin, end);
      if (next == Range{begin, end}) {
        result = next;
        break;
      }
      std::tie(begin, end) = next;
    }
    for (const std::uint64_t key : visited) states_[key] = result;
    return result;
  }

  // The front steps of a pass with nothing cut off at the back.
  std::size_t frontPass(std::size_t position) const {
    const std::size_t end = text_.size();
    position += prompt_syntax::weightPrefixLength(view(position, end));
    position += prompt_syntax::leadingColonPairsLength(view(position, end));
    position += prompt_syntax::leadingOpenBracketsLength(view(position, end));
    while (position < end) {
      const std::size_t length = text::whiteSpaceLength(text_, position);
      if (length == 0) break;
      position += length;
    }
    return position;
  }

  // The back steps of a pass with nothing cut off at the front.
  std::size_t backPass(std::size_t position) const {
    position = prompt_syntax::trailingColonPairsStart(view(0, position));
    position = prompt_syntax::trailingCloseBracketsStart(view(0, position));
    const std::string_view trimmed = text::trimmedWhitespace(view(0, position));
    return static_cast<std::size_t>(trimmed.data() - text_.data()) + trimmed.size();
  }

  bool isBoundary(std::size_t position) {
    if (boundaryKnown_ == Unknown) {
      boundaryKnown_ = text::isASCII(text_) ? AllASCII : Computed;
      if (boundaryKnown_ == Computed) {
        boundaries_.assign(text_.size() + 1, false);
        for (const std::size_t b : text::graphemeBoundaries(text_)) boundaries_[b] = true;
      }
    }
    return boundaryKnown_ == AllASCII || boundaries_[position];
  }

  // Start of the last character of text[begin, position).
  std::size_t lastCharacterStart(std::size_t begin, std::size_t position) {
    std::size_t start = position - 1;
    while (start > begin && !isBoundary(start)) --start;
    return start;
  }

  // The character before a weight is whitespace, or the two characters before it are both ":".
  bool followsSpaceOrColonPair(std::size_t begin, std::size_t position) {
    const std::size_t last = lastCharacterStart(begin, position);
    std::size_t offset = last;
    if (text::isWhiteSpace(text::decodeUTF8(text_, offset))) return true;
    if (position - last != 1 || text_[last] != ':' || last == begin) return false;
    const std::size_t previous = lastCharacterStart(begin, last);
    return last - previous == 1 && text_[previous] == ':';
  }

  // Where a later weight starts a new segment of text[begin, end): the first weight that does
  // not open the text, follows whitespace or "::", and leaves a tag of its own.
  std::optional<std::size_t> weightSplitIndex(std::size_t begin, std::size_t end) {
    const std::string_view segment = view(begin, end);
    std::size_t from = 0;
    while (const auto match = prompt_syntax::findWeight(segment, from)) {
      const std::size_t position = begin + match->begin;
      if (position > begin && followsSpaceOrColonPair(begin, position)) {
        const auto [tagBegin, tagEnd] = reduce(position, end);
        if (tagBegin < tagEnd) return position;
      }
      from = match->end;
    }
    return std::nullopt;
  }

  enum BoundaryState { Unknown, AllASCII, Computed };

  std::string_view text_;
  PassForest front_;
  PassForest back_;
  std::unordered_map<std::uint64_t, Range> states_;
  BoundaryState boundaryKnown_ = Unknown;
  std::vector<bool> boundaries_;
};

// Calls visit(part) for the parts of `text` between characters that are exactly `separator`,
// empty parts included, without holding them all; none after `stop` (when given) answers true.
template <typename Visit>
void forEachPartAtCharacter(std::string_view text, char separator, const TokenStop& stop, Visit&& visit) {
  const auto stopped = [&stop] { return stop && stop(); };
  std::size_t partStart = 0;
  if (text::isASCII(text)) {
    // A separator other than CR or LF is always a character of its own in ASCII text.
    for (std::size_t i = text.find(separator); i != std::string_view::npos; i = text.find(separator, i + 1)) {
      if (stopped()) return;
      visit(text.substr(partStart, i - partStart));
      partStart = i + 1;
    }
  } else {
    text::GraphemeCursor cursor(text);
    for (std::string_view c = cursor.next(); !c.empty(); c = cursor.next()) {
      if (c.size() != 1 || c[0] != separator) continue;
      if (stopped()) return;
      const std::size_t offset = static_cast<std::size_t>(c.data() - text.data());
      visit(text.substr(partStart, offset - partStart));
      partStart = offset + 1;
    }
  }
  if (!stopped()) visit(text.substr(partStart));
}

}  // namespace

void forEachToken(std::string_view prompt, const TokenVisitor& visit, const TokenStop& stop) {
  // One comma piece at a time: a prompt of millions of pieces never holds them all.
  forEachPartAtCharacter(prompt, ',', stop, [&visit, &stop](std::string_view piece) {
    if (piece.empty()) return;
    const std::string collapsedPiece = collapsePromptWhitespace(piece);
    // The alternatives between "|"; with none left, the collapsed piece itself. A piece without
    // a separator is its own single part, already collapsed.
    bool visitedAlternative = false;
    forEachPartAtCharacter(collapsedPiece, '|', stop, [&](std::string_view part) {
      if (part.empty()) return;
      if (part.size() == collapsedPiece.size()) {
        Alternative(collapsedPiece).visitTokens(visit, stop);
        visitedAlternative = true;
        return;
      }
      const std::string alternative = collapsePromptWhitespace(part);
      if (alternative.empty()) return;
      Alternative(alternative).visitTokens(visit, stop);
      visitedAlternative = true;
    });
    if (!visitedAlternative) Alternative(collapsedPiece).visitTokens(visit, stop);
  });
}

std::optional<std::string> tag(std::string_view collapsed) {
  const auto [begin, end] = Alternative(collapsed).reduce(0, collapsed.size());
  if (begin >= end) return std::nullopt;
  return std::string(collapsed.substr(begin, end - begin));
}

}  // namespace novelai_prompt
}  // namespace lorvex
