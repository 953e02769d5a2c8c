// The group syntax of Stable Diffusion prompts: "(text)", "[text]", "(text:1.2)" and "\" escapes.
// The normaliser strips brackets and weights from one token; the detector tells whether a search
// text holds a weighted group.
//
// Thread safety: stateless; every function is pure and callable from any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/text/graphemes.h"

namespace lorvex {

struct StableDiffusionPromptAttentionNormalizer {
  // One bracket group open during normalisation. `resultStart` is where the group's text begins:
  // a byte offset into the output (clusters are compared, so a mark that later joins the cluster
  // before it does not move the group's first character).
  struct OpenGroup {
    char marker = '(';  // '(' or '['
    std::size_t resultStart = 0;
  };

  // The token without brackets, escapes and group weights, whitespace collapsed; may be empty.
  // ")" closes the most recent "(" even when a "[" opened after it; unclosed groups lose their
  // bracket; "\" unescapes only "\ ( ) [ ] ,".
  static std::string normalize(std::string_view token);

  // True when `text` holds a "(…:number)" group outside escapes.
  static bool containsAttentionGroup(std::string_view text);
};

// The top-level pieces of a Stable Diffusion prompt, split at commas outside brackets and
// escapes, one at a time and as they are (empty ones included), in constant memory (a prompt may
// be tens of megabytes of commas). Only whether any group is open matters, and ")" removes a "(" wherever it
// sits in the stack, so two counts stand for the stack. The prompt must outlive the splitter.
class StableDiffusionTopLevelSplitter {
 public:
  explicit StableDiffusionTopLevelSplitter(std::string_view prompt);

  // The next piece; nothing after the last one.
  std::optional<std::string_view> next();

 private:
  std::string_view prompt_;
  text::GraphemeCursor cursor_;
  std::size_t pieceStart_ = 0;
  std::size_t openParentheses_ = 0;
  std::size_t openSquareBrackets_ = 0;
  bool finished_ = false;
};

}  // namespace lorvex
