// The NovelAI prompt dialect in one pass: tokens of a prompt together with their normalised tags,
// sharing the work between the splitter (which normalises candidate suffixes to decide where a
// weight begins) and the normaliser.
//
// Thread safety: pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex::novelai_prompt {

struct Token {
  std::string text;                // the raw token, whitespace collapsed
  std::optional<std::string> tag;  // normalizeNovelAIPromptTag of the token
};

std::vector<Token> tokens(std::string_view prompt);

// normalizeNovelAIPromptTag of text whose whitespace is already collapsed.
std::optional<std::string> tag(std::string_view collapsed);

// Splits `text` at every character (grapheme cluster) that is exactly `separator`; empty parts
// are kept.
std::vector<std::string_view> splitAtCharacter(std::string_view text, char separator);

}  // namespace lorvex::novelai_prompt
