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

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/generation_metadata.h"

namespace lorvex {

// The tags stored for an image: lower-case, without "<…:…>" network references, no two
// canonically equivalent, in order of first appearance. `usesStableDiffusionSyntax` picks the
// dialect (see GenerationMetadataProvider's usesStableDiffusionPromptSyntax).
std::vector<std::string> extractPromptTags(std::string_view prompt, bool usesStableDiffusionSyntax);

// NovelAI tags with their case unchanged and duplicates and references kept.
std::vector<std::string> normalizedNovelAIPromptTags(std::string_view prompt);

// The tags of all character captions, in order; a tag equal to an earlier one ignoring case is
// dropped, the first occurrence kept as written.
std::vector<std::string> displayPromptTags(const std::vector<CharacterCaption>& captions);

// One NovelAI token cleaned of weights, colon pairs and emphasis brackets; nothing when nothing
// is left.
std::optional<std::string> normalizeNovelAIPromptTag(std::string_view token);

// The raw tokens of the NovelAI splitter: pieces between commas, their "|" alternatives, and
// those cut again where a new weight begins.
std::vector<std::string> novelAIPromptTokens(std::string_view prompt);

// The raw tokens of the Stable Diffusion splitter: top-level comma-separated pieces, whitespace
// collapsed, empty ones dropped.
std::vector<std::string> stableDiffusionPromptTokens(std::string_view prompt);

}  // namespace lorvex
