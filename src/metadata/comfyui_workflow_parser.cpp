#include "metadata/comfyui_workflow_parser.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

#include "metadata/comfyui_prompt_text_resolver.h"
#include "metadata/generation_metadata_parser.h"
#include "metadata/json_document.h"
#include "metadata/provider_parsers.h"
#include "metadata/stable_swarm_ui_parser.h"
#include "model/text/whitespace.h"

namespace lorvex {
namespace comfyui {

using nlohmann::json;

namespace {

char asciiLowercased(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Case-insensitive for ASCII letters only, so no locale (a Turkish dotless i, say) can change
// which class names and software texts match.
bool containsIgnoringASCIICase(std::string_view haystack, std::string_view needle) {
  auto found = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                           [](char a, char b) { return asciiLowercased(a) == asciiLowercased(b); });
  return found != haystack.end();
}

const std::string* textValue(const json* value) {
  return value != nullptr && value->is_string() ? &value->get_ref<const std::string&>() : nullptr;
}

std::optional<std::string> copied(std::optional<std::string_view> text) {
  return text ? std::optional<std::string>(*text) : std::nullopt;
}

constexpr std::array<std::string_view, 6> kRecognizedClassWords{
    "Sampler", "CLIPTextEncode", "Checkpoint", "Loader", "FluxGuidance", "ImpactWildcardProcessor"};

}  // namespace

bool hasComfyUISignature(const PNGTextMetadata& metadata) {
  if (metadata.textChunks.contains("workflow")) return true;
  if (metadata.software && containsIgnoringASCIICase(*metadata.software, "ComfyUI")) return true;
  return metadata.source && containsIgnoringASCIICase(*metadata.source, "ComfyUI");
}

bool isRecognizedComfyUINode(const json& node) {
  const std::string* className = textValue(jsonMember(node, "class_type"));
  const json* inputs = jsonMember(node, "inputs");
  if (className == nullptr || inputs == nullptr || !inputs->is_object()) return false;
  return std::any_of(kRecognizedClassWords.begin(), kRecognizedClassWords.end(),
                     [&](std::string_view word) { return containsIgnoringASCIICase(*className, word); });
}

bool looksLikeComfyUIGraph(const json& graph) {
  if (!graph.is_object()) return false;
  return std::any_of(graph.begin(), graph.end(),
                     [](const json& node) { return isRecognizedComfyUINode(node); });
}

ComfyUIExtraction extract(const json& graph) {
  if (!graph.is_object()) return {};
  // Object members iterate in key order, which for UTF-8 keys is code-point order: "10" < "3".
  const json* sampler = nullptr;
  for (const json& node : graph) {
    const std::string* className = textValue(jsonMember(node, "class_type"));
    if (className != nullptr && className->find("KSampler") != std::string::npos) {
      sampler = &node;
      break;
    }
  }
  if (sampler == nullptr) return {};
  const json* inputs = jsonMember(*sampler, "inputs");
  if (inputs == nullptr || !inputs->is_object()) return {};

  ComfyUIExtraction extraction;
  // Each prompt is walked from a fresh start, as if the other had never been resolved.
  extraction.positivePrompt = copied(PromptTextResolver(graph).resolve(jsonMember(*inputs, "positive")));
  extraction.negativePrompt = copied(PromptTextResolver(graph).resolve(jsonMember(*inputs, "negative")));
  extraction.seed = GenerationMetadataParser::int64Value(jsonMember(*inputs, "seed"));
  extraction.steps = GenerationMetadataParser::int64Value(jsonMember(*inputs, "steps"));
  extraction.cfg = GenerationMetadataParser::doubleValue(jsonMember(*inputs, "cfg"));
  if (const std::string* samplerName = textValue(jsonMember(*inputs, "sampler_name"))) {
    extraction.sampler = *samplerName;
  }
  extraction.model = resolveCheckpointName(jsonMember(*inputs, "model"), graph);
  return extraction;
}

std::optional<std::string> resolveCheckpointName(const json* input, const json& graph) {
  const json* node = linkedNode(input, graph);
  if (node == nullptr) return std::nullopt;
  const json* inputs = jsonMember(*node, "inputs");
  if (inputs == nullptr || !inputs->is_object()) return std::nullopt;
  const std::string* checkpoint = textValue(jsonMember(*inputs, "ckpt_name"));
  return checkpoint != nullptr ? text::trimmedNonEmpty(*checkpoint) : std::nullopt;
}

GenerationMetadata makeComfyUIRecord(const PNGTextMetadata& metadata,
                                     const std::vector<RawMetadataPayload>& rawPayloads,
                                     const ComfyUIExtraction& extraction,
                                     std::optional<std::string_view> warning) {
  GenerationMetadata record;
  record.provider = GenerationMetadataProvider{"comfyui", "ComfyUI"};
  record.format = GenerationMetadataFormat{"comfyui_png_workflow", "ComfyUI PNG workflow"};
  record.prompt = extraction.positivePrompt;
  record.negativePrompt = extraction.negativePrompt;
  record.software = metadata.software ? *metadata.software : std::string("ComfyUI");
  record.source = extraction.model;
  record.seed = extraction.seed;
  record.steps = extraction.steps;
  record.scale = extraction.cfg;
  record.sampler = extraction.sampler;
  record.rawCommentJSON = metadata.commentJSON;
  record.parseWarning = copied(warning);
  // The same derivations as the shared ones, restricted to what a ComfyUI graph can give.
  record.promptSegments =
      GenerationMetadata::makePromptSegments(extraction.positivePrompt, extraction.negativePrompt, {}, {});
  GenerationMetadata::ParameterDefaults parameters;
  parameters.seed = extraction.seed;
  parameters.steps = extraction.steps;
  parameters.scale = extraction.cfg;
  parameters.sampler = extraction.sampler;
  record.generationParameters = GenerationMetadata::makeGenerationParameters(parameters);
  record.modelUsages =
      GenerationMetadataParser::primaryModelUsages("ComfyUI", extraction.model, std::nullopt);
  record.rawPayloads = rawPayloads;
  record.rawTextChunks = metadata.textChunks;
  return record;
}

}  // namespace comfyui

std::optional<GenerationMetadata> ComfyUIGenerationMetadataProviderParser::parse(
    const PNGTextMetadata& metadata, const std::vector<RawMetadataPayload>& rawPayloads) const {
  const bool hasSignature = comfyui::hasComfyUISignature(metadata);
  auto promptChunk = metadata.textChunks.find("prompt");
  if (promptChunk == metadata.textChunks.end()) {
    if (!hasSignature) return std::nullopt;
    return comfyui::makeComfyUIRecord(metadata, rawPayloads, {}, comfyui::kPromptUnavailableWarning);
  }
  std::string error;
  JSONDecoder::Failure failure = JSONDecoder::Failure::notJSON;
  std::optional<nlohmann::json> graph = parseJSONDocument(promptChunk->second, &error, &failure);
  if (!graph && !hasSignature && failure == JSONDecoder::Failure::refused &&
      !stableswarmui::findImageParameters(metadata)) {
    // A prompt graph too deep, too large or holding a number out of range for this reader is
    // still ComfyUI's graph: the record says why it has no prompt, as a NovelAI comment that
    // cannot be decoded does, instead of passing for an image of no known generator.
    return comfyui::makeComfyUIRecord(metadata, rawPayloads, {},
                                      std::string(comfyui::kPromptRefusedWarningPrefix) + error);
  }
  if (!graph || !graph->is_object()) {
    if (!hasSignature) return std::nullopt;
    return comfyui::makeComfyUIRecord(metadata, rawPayloads, {}, comfyui::kPromptUndecodableWarning);
  }
  if (!hasSignature) {
    if (!comfyui::looksLikeComfyUIGraph(*graph)) return std::nullopt;
    // StableSwarmUI renders through a ComfyUI backend and stores that graph beside its own
    // parameters, which say more (model hashes, LoRAs): an unmarked image that carries them is
    // left to the StableSwarmUI parser.
    if (stableswarmui::findImageParameters(metadata)) return std::nullopt;
  }
  comfyui::ComfyUIExtraction extraction = comfyui::extract(*graph);
  std::optional<std::string_view> warning;
  if (!extraction.positivePrompt) warning = comfyui::kNoPositivePromptWarning;
  return comfyui::makeComfyUIRecord(metadata, rawPayloads, extraction, warning);
}

}  // namespace lorvex
