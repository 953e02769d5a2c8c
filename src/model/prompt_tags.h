// Prompt tag extraction: every prompt is reduced to a list of plain, comparable tag texts, in
// either of the two prompt dialects.
//
// - Stable Diffusion (AUTOMATIC1111, ComfyUI, StableSwarmUI): "(" and "[" group text, "(text:1.2)"
//   weights a group, "\" escapes a bracket or comma, commas inside a group do not separate tags.
// - NovelAI: "{}" and "[]" add emphasis, "1.2::text::" weights what follows, "|" separates
//   alternatives, and commas always separate tags.
//
// Characters are extended grapheme clusters, whitespace is Unicode White_Space, and text
// equality is canonical equivalence (NFC). Input is UTF-8; every scan is linear in its length, so
// a hostile prompt of any size is safe.
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/generation_metadata.h"

namespace lorvex {

// The longest tag the library stores, in bytes of UTF-8. A longer "tag" is a pasted text rather
// than a tag: kept as a tag it would be written out several times over (vocabulary, search text,
// index, full-text row), while its text is found all the same through the prompt's full-text row.
inline constexpr std::size_t kMaximumStoredPromptTagBytes = 1024;

// The most distinct tags the library stores for one image. Real prompts hold tens to a few hundred
// tags; thousands are a pasted list, and every stored tag costs rows in several tables and a chip
// in the inspector. The prompt's text keeps every word searchable through its full-text row.
inline constexpr std::size_t kMaximumStoredPromptTagCount = 2000;

// The tags of a prompt: lower-case, without "<…:…>" network references, no two canonically
// equivalent, in order of first appearance; tags longer than `maximumTagBytes` are left out, and
// the list ends with its `maximumTagCount`th tag, the rest of the prompt unread (the library
// stores tags with kMaximumStoredPromptTagBytes and kMaximumStoredPromptTagCount).
// `usesStableDiffusionSyntax` picks the dialect (see GenerationMetadataProvider's
// usesStableDiffusionPromptSyntax). Works in memory of a few times the longest token, whatever the
// number of tokens.
std::vector<std::string> extractPromptTags(
    std::string_view prompt, bool usesStableDiffusionSyntax,
    std::size_t maximumTagBytes = std::numeric_limits<std::size_t>::max(),
    std::size_t maximumTagCount = std::numeric_limits<std::size_t>::max());

// The tags of all character captions, in order; a tag equal to an earlier one ignoring case is
// dropped, the first occurrence kept as written. The list ends with its `maximumCount`th tag, the
// rest of the captions unread.
std::vector<std::string> displayPromptTags(
    const std::vector<CharacterCaption>& captions,
    std::size_t maximumCount = std::numeric_limits<std::size_t>::max());

// One NovelAI token cleaned of weights, colon pairs and emphasis brackets; nothing when nothing
// is left.
std::optional<std::string> normalizeNovelAIPromptTag(std::string_view token);

// The raw tokens of the Stable Diffusion splitter, one at a time: top-level comma-separated
// pieces, whitespace collapsed, empty ones dropped. `stop` is asked before each piece; true ends
// the visit there, the rest of the prompt unread. (The NovelAI splitter is
// novelai_prompt::forEachToken.)
void forEachStableDiffusionPromptToken(std::string_view prompt,
                                       const std::function<void(std::string_view token)>& visit,
                                       const std::function<bool()>& stop = {});

}  // namespace lorvex
