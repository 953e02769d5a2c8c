// A guard run before parsing untrusted JSON: the parser, copies and dumps of a parsed value
// recurse once per nesting level, so deeply nested input must be refused before it reaches them.
//
// Thread safety: pure function.
#pragma once

#include <cstddef>
#include <string_view>

namespace lorvex::platform {

// True when no array or object in `text` nests deeper than `maxDepth` levels. Brackets inside
// string literals do not count; the text need not be valid JSON (the parser judges that).
bool jsonNestingWithin(std::string_view text, std::size_t maxDepth);

}  // namespace lorvex::platform
