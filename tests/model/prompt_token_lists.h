// The tokens the prompt splitters visit, gathered into lists for comparing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/novelai_prompt_syntax.h"
#include "model/prompt_tags.h"

namespace lorvex::testing {

inline std::vector<std::string> novelAIPromptTokens(std::string_view prompt) {
  std::vector<std::string> tokens;
  novelai_prompt::forEachToken(
      prompt, [&tokens](const novelai_prompt::TokenView& token) { tokens.emplace_back(token.text); });
  return tokens;
}

// The tags of the NovelAI tokens, their case unchanged and duplicates and references kept.
inline std::vector<std::string> novelAIPromptTokenTags(std::string_view prompt) {
  std::vector<std::string> tags;
  novelai_prompt::forEachToken(prompt, [&tags](const novelai_prompt::TokenView& token) {
    if (token.tag) tags.emplace_back(*token.tag);
  });
  return tags;
}

inline std::vector<std::string> stableDiffusionPromptTokens(std::string_view prompt) {
  std::vector<std::string> tokens;
  forEachStableDiffusionPromptToken(prompt,
                                    [&tokens](std::string_view token) { tokens.emplace_back(token); });
  return tokens;
}

}  // namespace lorvex::testing
