// The NovelAI prompt dialect in one pass: tokens of a prompt together with their normalised tags,
// sharing the work between the splitter (which normalises candidate suffixes to decide where a
// weight begins) and the normaliser.
//
// Thread safety: pure functions.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lorvex::novelai_prompt {

// A token as the splitter finds it: views into its working text, valid only while the visitor
// runs.
struct TokenView {
  std::string_view text;
  std::optional<std::string_view> tag;
};
using TokenVisitor = std::function<void(const TokenView&)>;
// Asked before each token; true ends the visit there.
using TokenStop = std::function<bool()>;

// Visits the tokens of a prompt in order, holding one comma piece at a time and no token beyond
// the visit: a prompt of tens of megabytes costs a few copies of its longest piece. With `stop`,
// the visit ends as soon as it answers true, the rest of the prompt unread: what was visited are
// exactly the first tokens of the whole prompt.
void forEachToken(std::string_view prompt, const TokenVisitor& visit, const TokenStop& stop = {});

// normalizeNovelAIPromptTag of text whose whitespace is already collapsed.
std::optional<std::string> tag(std::string_view collapsed);

}  // namespace lorvex::novelai_prompt
