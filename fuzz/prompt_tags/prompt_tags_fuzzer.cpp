// Arbitrary bytes through tag extraction in both dialects and through each splitter and
// normaliser. Aborts when a result breaks its promises: tags trimmed, collapsed, lower-case,
// canonically distinct and valid UTF-8 (for valid input), NovelAI normalisation idempotent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/novelai_prompt_syntax.h"
#include "model/prompt_tags.h"
#include "model/prompt_whitespace.h"
#include "model/stable_diffusion_prompt_attention_normalizer.h"
#include "model/text/unicode.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

void checkTags(const std::vector<std::string>& tags, bool inputIsValid) {
  std::set<std::string> keys;
  for (const std::string& tag : tags) {
    require(!tag.empty());
    require(lorvex::collapsePromptWhitespace(tag) == tag);
    if (!inputIsValid) continue;
    require(lorvex::text::isValidUTF8(tag));
    require(lorvex::text::lowercased(tag) == tag);
    require(keys.insert(lorvex::text::nfc(tag)).second);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const bool valid = lorvex::text::isValidUTF8(bytes);
  // Raw bytes must be safe; the promises about text hold for valid UTF-8.
  const std::string repaired = lorvex::text::repairedUTF8(bytes);
  for (const std::string_view prompt : {bytes, std::string_view(repaired)}) {
    const bool promptIsValid = prompt.data() != bytes.data() || valid;
    for (const bool stableDiffusion : {true, false}) {
      const std::vector<std::string> tags = lorvex::extractPromptTags(prompt, stableDiffusion);
      checkTags(tags, promptIsValid);
      // A limit leaves out exactly the tags longer than it.
      std::vector<std::string> short_;
      for (const std::string& tag : tags) {
        if (tag.size() <= 6) short_.push_back(tag);
      }
      require(lorvex::extractPromptTags(prompt, stableDiffusion, 6) == short_);
    }
    lorvex::novelai_prompt::forEachToken(prompt, [](const lorvex::novelai_prompt::TokenView& token) {
      const auto tag = lorvex::normalizeNovelAIPromptTag(token.text);
      if (tag) require(lorvex::normalizeNovelAIPromptTag(*tag) == tag);
    });
    const std::string normalized = lorvex::StableDiffusionPromptAttentionNormalizer::normalize(prompt);
    if (promptIsValid) require(lorvex::text::isValidUTF8(normalized));
    (void)lorvex::StableDiffusionPromptAttentionNormalizer::containsAttentionGroup(prompt);
    (void)lorvex::displayPromptTags({{std::string(prompt), {}}});
  }
  return 0;
}
