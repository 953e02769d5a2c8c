#include "platform/json_nesting.h"

#include <limits>

namespace lorvex::platform {

JSONShapeCheck checkJSONShape(std::string_view text, std::size_t maxDepth, std::size_t maxElements) {
  std::size_t depth = 0;
  std::size_t elements = 0;
  bool inString = false;
  bool escaped = false;
  for (const char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    switch (c) {
      case '"':
        inString = true;
        break;
      case '[':
      case '{':
        if (++depth > maxDepth) return JSONShapeCheck::tooDeep;
        if (++elements > maxElements) return JSONShapeCheck::tooManyElements;
        break;
      case ',':
        if (++elements > maxElements) return JSONShapeCheck::tooManyElements;
        break;
      case ']':
      case '}':
        if (depth > 0) --depth;
        break;
      default:
        break;
    }
  }
  return JSONShapeCheck::within;
}

bool jsonNestingWithin(std::string_view text, std::size_t maxDepth) {
  return checkJSONShape(text, maxDepth, std::numeric_limits<std::size_t>::max()) == JSONShapeCheck::within;
}

}  // namespace lorvex::platform
