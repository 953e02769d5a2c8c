// User-perceived characters (extended grapheme clusters). Where the program splits, counts or
// compares "characters" it walks these. Boundaries that the two scalars around them decide (ASCII,
// most CJK) take a fast path; stretches with marks, joiners, flags or jamo go to ICU.
//
// Thread safety: pure functions, callable from any thread (each thread keeps its own ICU
// iterator). Input is UTF-8; ill-formed bytes are handled safely as U+FFFD.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace lorvex::text {

// Byte offsets of every cluster boundary of valid UTF-8 `text`, starting with 0 and ending with
// text.size() (so an empty text gives {0}).
std::vector<std::size_t> graphemeBoundaries(std::string_view text);

std::size_t graphemeCount(std::string_view text);

// True when a cluster boundary of `text` lies at byte `position` (0 and text.size() always are).
// Decided from the two scalars around it where the rules allow, by ICU otherwise.
bool isGraphemeBoundary(std::string_view text, std::size_t position);

// The start of the last cluster of text[0, position): the text is taken to end at `position`,
// and 0 is returned for position 0.
std::size_t previousGraphemeBoundary(std::string_view text, std::size_t position);

}  // namespace lorvex::text
