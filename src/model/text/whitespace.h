// Trimming and collapsing of Unicode whitespace (White_Space, newlines included).
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lorvex::text {

// Length in bytes of the whitespace scalar at byte `offset` (< text.size()), 0 when there is none.
// Ill-formed bytes are never whitespace.
std::size_t whiteSpaceLength(std::string_view text, std::size_t offset);

// The text without whitespace at either end.
std::string_view trimmedWhitespace(std::string_view text);

// Every run of whitespace replaced by one U+0020; ends are not trimmed.
std::string collapsedWhitespace(std::string_view text);

// Trims both ends, then collapses inner runs of whitespace to one space; nothing when empty.
std::optional<std::string> normalizedWhitespace(std::string_view text);

// The text trimmed of whitespace at both ends, or nothing when nothing is left.
std::optional<std::string> trimmedNonEmpty(std::string_view text);

}  // namespace lorvex::text
