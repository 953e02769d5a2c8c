#include "database/internal/tag_key_candidates.h"

#include <unicode/unistr.h>

#include <algorithm>

#include "database/internal/tag_keys.h"
#include "model/prompt_tags.h"
#include "model/stable_diffusion_prompt_attention_normalizer.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace lorvex {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (text::isASCII(a) && text::isASCII(b)) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
             return lower(x) == lower(y);
           });
  }
  auto fold = [](std::string_view text) {
    icu::UnicodeString string =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    string.foldCase();
    return string;
  };
  return fold(a) == fold(b);
}

std::vector<std::string> tagKeyCandidates(std::string_view tag) {
  const std::string_view trimmed = text::trimmedWhitespace(tag);
  std::vector<std::string> collected;
  if (auto key = tagKey(trimmed)) collected.push_back(std::move(*key));
  if (StableDiffusionPromptAttentionNormalizer::containsAttentionGroup(tag)) {
    for (std::string& extracted : extractPromptTags(tag, true)) collected.push_back(std::move(extracted));
  }
  std::vector<std::string> candidates;
  for (const std::string& value : collected) {
    const std::string_view candidate = text::trimmedWhitespace(value);
    if (candidate.empty() || std::find(candidates.begin(), candidates.end(), candidate) != candidates.end())
      continue;
    candidates.emplace_back(candidate);
  }
  if (!trimmed.empty() &&
      std::none_of(candidates.begin(), candidates.end(),
                   [&](const std::string& candidate) { return equalIgnoringCase(candidate, trimmed); })) {
    candidates.emplace_back(trimmed);
  }
  return candidates;
}

}  // namespace lorvex
