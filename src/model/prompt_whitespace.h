// The whitespace rule shared by both prompt dialects: a token or tag is compared with its ends
// trimmed and every inner run of whitespace read as one space.
//
// Thread safety: pure function, callable from any thread.
#pragma once

#include <string>
#include <string_view>

namespace lorvex {

// Trims whitespace at both ends and replaces each inner run of whitespace by one space.
std::string collapsePromptWhitespace(std::string_view text);

}  // namespace lorvex
