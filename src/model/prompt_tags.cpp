#include "model/prompt_tags.h"

#include <unordered_set>

#include "model/novelai_prompt_syntax.h"
#include "model/prompt_whitespace.h"
#include "model/stable_diffusion_prompt_attention_normalizer.h"
#include "model/text/graphemes.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace lorvex {

namespace {

// "<lora:name:0.8>" and the like: trimmed, it begins with the character "<", ends with ">" and
// holds a ":".
bool isNetworkReference(std::string_view candidate) {
  const std::string_view text = text::trimmedWhitespace(candidate);
  if (text.size() < 2 || text.front() != '<' || text.back() != '>') return false;
  if (!text::isGraphemeBoundary(text, 1) || !text::isGraphemeBoundary(text, text.size() - 1)) return false;
  for (std::size_t i = text.find(':'); i != std::string_view::npos; i = text.find(':', i + 1)) {
    if (text::isGraphemeBoundary(text, i) && text::isGraphemeBoundary(text, i + 1)) return true;
  }
  return false;
}

// Keeps the first of canonically equivalent texts, in order.
class DistinctTexts {
 public:
  // `key` decides equality; `text` is what is kept.
  void add(std::string text, const std::string& key) {
    if (seen_.insert(text::nfc(key)).second) texts_.push_back(std::move(text));
  }
  std::size_t size() const { return texts_.size(); }
  std::vector<std::string> take() { return std::move(texts_); }

 private:
  std::unordered_set<std::string> seen_;
  std::vector<std::string> texts_;
};

}  // namespace

void forEachStableDiffusionPromptToken(std::string_view prompt,
                                       const std::function<void(std::string_view token)>& visit,
                                       const std::function<bool()>& stop) {
  // Token by token: a prompt of millions of tokens never holds them all at once.
  StableDiffusionTopLevelSplitter splitter(prompt);
  while (!stop || !stop()) {
    const auto piece = splitter.next();
    if (!piece) return;
    const std::string token = collapsePromptWhitespace(*piece);
    if (!token.empty()) visit(token);
  }
}

std::optional<std::string> normalizeNovelAIPromptTag(std::string_view token) {
  return novelai_prompt::tag(collapsePromptWhitespace(token));
}

std::vector<std::string> extractPromptTags(std::string_view prompt, bool usesStableDiffusionSyntax,
                                           std::size_t maximumTagBytes, std::size_t maximumTagCount) {
  DistinctTexts tags;
  // Whatever follows the last kept tag is not read at all.
  const auto full = [&tags, maximumTagCount] { return tags.size() >= maximumTagCount; };
  const auto consider = [&tags, maximumTagBytes](std::string_view normalized) {
    if (normalized.empty()) return;
    // Lower-casing shrinks a character at most from three bytes to one (the Kelvin sign), so a
    // text over three times the limit is too long whatever its case.
    if (normalized.size() / 3 > maximumTagBytes) return;
    std::string tag = text::lowercased(normalized);
    if (tag.size() > maximumTagBytes) return;
    // A reference hidden inside a group shows only after normalisation.
    if (isNetworkReference(tag)) return;
    tags.add(tag, tag);
  };
  if (usesStableDiffusionSyntax) {
    forEachStableDiffusionPromptToken(
        prompt,
        [&consider](std::string_view token) {
          // normalize already collapses whitespace.
          if (!isNetworkReference(token))
            consider(StableDiffusionPromptAttentionNormalizer::normalize(token));
        },
        full);
  } else {
    novelai_prompt::forEachToken(
        prompt,
        [&consider](const novelai_prompt::TokenView& token) {
          if (token.tag && !isNetworkReference(token.text)) consider(*token.tag);
        },
        full);
  }
  return tags.take();
}

std::vector<std::string> displayPromptTags(const std::vector<CharacterCaption>& captions,
                                           std::size_t maximumCount) {
  DistinctTexts tags;
  const auto full = [&tags, maximumCount] { return tags.size() >= maximumCount; };
  for (const CharacterCaption& caption : captions) {
    if (full()) break;
    novelai_prompt::forEachToken(
        caption.caption,
        [&tags](const novelai_prompt::TokenView& token) {
          if (!token.tag) return;
          std::string tag(*token.tag);
          const std::string key = text::lowercased(tag);
          tags.add(std::move(tag), key);
        },
        full);
  }
  return tags.take();
}

}  // namespace lorvex
