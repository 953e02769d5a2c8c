#include "model/generation_metadata.h"

#include <array>

#include "model/text/numbers.h"
#include "model/text/whitespace.h"

namespace lorvex {

bool GenerationMetadataProvider::usesStableDiffusionPromptSyntax(
    const std::optional<GenerationMetadataProvider>& provider) {
  if (!provider) return false;
  constexpr std::array<std::string_view, 3> stableDiffusionCodes = {"automatic1111", "comfyui",
                                                                    "stableswarmui"};
  for (std::string_view code : stableDiffusionCodes) {
    if (provider->code == code) return true;
  }
  return false;
}

std::string CharacterCaption::id() const {
  std::string result = caption;
  result += '|';
  for (std::size_t i = 0; i < centers.size(); ++i) {
    if (i > 0) result += ';';
    result += text::formatDouble(centers[i].x);
    result += ',';
    result += text::formatDouble(centers[i].y);
  }
  return result;
}

std::vector<PromptTextSegment> GenerationMetadata::makePromptSegments(
    const std::optional<std::string>& prompt, const std::optional<std::string>& negativePrompt,
    const std::optional<std::string>& baseCaption, const std::optional<std::string>& negativeBaseCaption) {
  struct Candidate {
    std::string_view role;
    bool isNegative;
    const std::optional<std::string>& text;
  };
  const std::array<Candidate, 4> candidates = {{
      {"positive", false, prompt},
      {"negative", true, negativePrompt},
      {"base_caption", false, baseCaption},
      {"base_caption", true, negativeBaseCaption},
  }};
  std::vector<PromptTextSegment> segments;
  for (const Candidate& candidate : candidates) {
    if (!candidate.text) continue;
    std::string_view content = text::trimmedWhitespace(*candidate.text);
    if (content.empty()) continue;
    segments.push_back({std::string(candidate.role), candidate.isNegative, std::string(content)});
  }
  return segments;
}

std::vector<GenerationParameter> GenerationMetadata::makeGenerationParameters(
    const ParameterDefaults& defaults) {
  std::vector<GenerationParameter> parameters;
  auto addInteger = [&](const char* key, const std::optional<std::int64_t>& value) {
    if (value) parameters.push_back({key, value, std::nullopt, std::nullopt});
  };
  auto addText = [&](const char* key, const std::optional<std::string>& value) {
    if (value) parameters.push_back({key, std::nullopt, std::nullopt, value});
  };
  addInteger("seed", defaults.seed);
  addInteger("steps", defaults.steps);
  if (defaults.scale) parameters.push_back({"scale", std::nullopt, defaults.scale, std::nullopt});
  addText("sampler", defaults.sampler);
  addText("noise_schedule", defaults.noiseSchedule);
  addText("request_type", defaults.requestType);
  addInteger("version", defaults.version);
  return parameters;
}

bool GenerationMetadata::isNovelAI() const {
  if (provider && provider->code == "novelai") return true;
  if (software && *software == "NovelAI") return true;
  return source && source->starts_with("NovelAI");
}

}  // namespace lorvex
