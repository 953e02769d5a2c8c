// The pieces of ComfyUIGenerationMetadataProviderParser (provider_parsers.h), exposed for tests.
//
// A ComfyUI PNG carries two JSON chunks: "workflow" (the editor's graph, kept only as a raw
// payload and used as a signature) and "prompt" (the executed node graph). The parser picks the
// sampler node of "prompt", follows its "positive" and "negative" links back to the prompt texts
// and reads the sampling settings and the checkpoint name. An image that is plainly ComfyUI's but
// whose graph cannot be read is accepted with one of the warnings below.
//
// Internal to the metadata layer. Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "metadata/parse_warnings.h"
#include "model/generation_metadata.h"
#include "model/png_text_metadata.h"

namespace lorvex::comfyui {

inline constexpr std::string_view kPromptUnavailableWarning =
    parseWarningText(ParseWarningKind::comfyUIPromptUnavailable);
inline constexpr std::string_view kPromptUndecodableWarning =
    parseWarningText(ParseWarningKind::comfyUIPromptUndecodable);
// Followed by the reader's reason, as for a NovelAI comment that cannot be decoded.
inline constexpr std::string_view kPromptRefusedWarningPrefix =
    parseWarningText(ParseWarningKind::comfyUIPromptRefused);
inline constexpr std::string_view kNoPositivePromptWarning =
    parseWarningText(ParseWarningKind::comfyUINoPositivePrompt);

// What the prompt graph yields; every field absent in the empty extraction. (The empty braces let
// designated initializers name only some fields.)
struct ComfyUIExtraction {
  std::optional<std::string> positivePrompt{};
  std::optional<std::string> negativePrompt{};
  std::optional<std::int64_t> seed{};
  std::optional<std::int64_t> steps{};
  std::optional<double> cfg{};
  std::optional<std::string> sampler{};
  std::optional<std::string> model{};

  friend bool operator==(const ComfyUIExtraction&, const ComfyUIExtraction&) = default;
};

// A "workflow" chunk (even empty), or "ComfyUI" in the software or source text (ASCII letters
// compared without case, whatever the process locale).
bool hasComfyUISignature(const PNGTextMetadata& metadata);

// An object with a text "class_type" and an object "inputs" whose class names a sampler, text
// encoder, checkpoint, loader, guidance or wildcard node (without regard to ASCII case).
bool isRecognizedComfyUINode(const nlohmann::json& node);
bool looksLikeComfyUIGraph(const nlohmann::json& graph);

// The sampler is the first node, by id in code-point order ("10" before "3"), whose class_type
// contains "KSampler"; without one, or without its "inputs" object, the extraction is empty.
ComfyUIExtraction extract(const nlohmann::json& graph);

// One hop from the sampler's "model" input: the linked node's trimmed "ckpt_name" text. A LoRA
// loader or any other node in between gives nothing.
std::optional<std::string> resolveCheckpointName(const nlohmann::json* input, const nlohmann::json& graph);

GenerationMetadata makeComfyUIRecord(const PNGTextMetadata& metadata,
                                     const std::vector<RawMetadataPayload>& rawPayloads,
                                     const ComfyUIExtraction& extraction,
                                     std::optional<std::string_view> warning);

}  // namespace lorvex::comfyui
