// Linear scanners for the prompt-syntax patterns of tag extraction. Each one gives exactly what
// the ICU regular expression named beside it would match (`\s` is White_Space, `\d` any decimal
// digit), without a backtracking engine: prompts with long digit or colon runs stay linear.
//
// All positions are byte offsets into UTF-8 text; ill-formed bytes are never whitespace or digits.
// The anchored patterns expect collapsed text (no line terminators), where ICU's "$" means the
// end of the text.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace lorvex::prompt_syntax {

struct Match {
  std::size_t begin = 0;
  std::size_t end = 0;
  friend bool operator==(const Match&, const Match&) = default;
};

// "^[+-]?(?:\d+(?:\.\d+)?|\.\d+)::+": length of the weight prefix, 0 when there is none.
std::size_t weightPrefixLength(std::string_view text);

// "^(?:\s*::)+": length of the leading colon pairs, 0 when there are none.
std::size_t leadingColonPairsLength(std::string_view text);

// "(?:\s*::)+$": where the trailing colon pairs begin, text.size() when there are none.
std::size_t trailingColonPairsStart(std::string_view text);

// "^[\{\[]+": length of the leading run of '{' and '['.
std::size_t leadingOpenBracketsLength(std::string_view text);

// "[\}\]]+$": where the trailing run of '}' and ']' begins, text.size() when there is none.
std::size_t trailingCloseBracketsStart(std::string_view text);

// "[+-]?(?:\d+(?:\.\d+)?|\.\d+)::+": the leftmost weight match starting at or after `from`.
std::optional<Match> findWeight(std::string_view text, std::size_t from);

// "\s+(?=::+\S)": the first whitespace run followed by two or more colons and a non-space.
std::optional<Match> findWhitespaceBeforeColons(std::string_view text);

}  // namespace lorvex::prompt_syntax
