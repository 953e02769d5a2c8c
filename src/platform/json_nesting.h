// Guards run before parsing untrusted JSON: the parser, copies and dumps of a parsed value
// recurse once per nesting level, so deeply nested input must be refused before it reaches them,
// and a document of millions of tiny elements would take gigabytes once parsed.
//
// Thread safety: pure function.
#pragma once

#include <cstddef>
#include <string_view>

namespace lorvex::platform {

// True when no array or object in `text` nests deeper than `maxDepth` levels. Brackets inside
// string literals do not count; the text need not be valid JSON (the parser judges that).
bool jsonNestingWithin(std::string_view text, std::size_t maxDepth);

enum class JSONShapeCheck { within, tooDeep, tooManyElements };

// Both guards in one pass: nesting as above, and at most `maxElements` elements — the arrays and
// objects the text opens plus the commas between their members, outside string literals. A parsed
// tree costs tens of bytes per element, so this bounds what a hostile document can allocate.
JSONShapeCheck checkJSONShape(std::string_view text, std::size_t maxDepth, std::size_t maxElements);

}  // namespace lorvex::platform
