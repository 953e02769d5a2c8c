// User-perceived characters (extended grapheme clusters). Where the program splits, counts or
// compares "characters" it walks these; ASCII text (except CR LF, one cluster) takes a fast path.
//
// Thread safety: pure functions; a GraphemeCursor belongs to one thread.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace lorvex::text {

// Byte offsets of every cluster boundary of valid UTF-8 `text`, starting with 0 and ending with
// text.size() (so an empty text gives {0}).
std::vector<std::size_t> graphemeBoundaries(std::string_view text);

std::size_t graphemeCount(std::string_view text);

}  // namespace lorvex::text
