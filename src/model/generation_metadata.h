// GenerationMetadata: everything known about how one image was generated — who produced it, the
// prompts, the sampler settings, NovelAI's captions, the models used and the raw texts it was read
// from — with the small pure derivations every layer shares (prompt segments, generation
// parameters, the NovelAI test and the choice of prompt syntax).
//
// The provider parsers build it, the library database stores and rebuilds it, the views show it.
// Equality is memberwise throughout (lists in order, maps as maps, reals exactly).
//
// Thread safety: plain values and pure functions; a value may be copied to and read on any thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex {

// Who produced an image. `code` is the stable lower-case identifier ("novelai", "comfyui",
// "stableswarmui", "automatic1111", "unknown"); `displayName` is shown to the user.
struct GenerationMetadataProvider {
  std::string code;
  std::string displayName;

  // True for the providers whose prompts use the Stable Diffusion emphasis syntax (codes
  // "automatic1111", "comfyui" and "stableswarmui", compared exactly); every other provider, and no
  // provider, uses the NovelAI syntax.
  static bool usesStableDiffusionPromptSyntax(const std::optional<GenerationMetadataProvider>& provider);

  friend bool operator==(const GenerationMetadataProvider&, const GenerationMetadataProvider&) = default;
};

// In which container and layout the metadata was found, e.g. "novelai_png_text".
struct GenerationMetadataFormat {
  std::string code;
  std::string displayName;

  friend bool operator==(const GenerationMetadataFormat&, const GenerationMetadataFormat&) = default;
};

// Position of a character in the image, as the generator gave it.
struct CaptionCenter {
  double x = 0;
  double y = 0;

  friend bool operator==(const CaptionCenter&, const CaptionCenter&) = default;
};

// A per-character caption of a NovelAI prompt.
struct CharacterCaption {
  std::string caption;
  std::vector<CaptionCenter> centers;

  // "caption|x,y;x,y" with every number in its shortest round-trip form ("1.0", "0.5"):
  // "cat|0.5,0.5;0.1,0.9", or "cat|" without centers.
  std::string id() const;

  friend bool operator==(const CharacterCaption&, const CharacterCaption&) = default;
};

// One prompt text by role: "positive", "negative" or "base_caption" (positive or negative told
// apart by `isNegative`); the database adds character roles of its own.
struct PromptTextSegment {
  std::string role;
  bool isNegative = false;
  std::string content;

  friend bool operator==(const PromptTextSegment&, const PromptTextSegment&) = default;
};

// One sampler setting; the derivation below fills exactly one of the three values.
struct GenerationParameter {
  std::string key;
  std::optional<std::int64_t> integerValue;
  std::optional<double> realValue;
  std::optional<std::string> textValue;

  friend bool operator==(const GenerationParameter&, const GenerationParameter&) = default;
};

// A model used for the image: `role` is "primary" or "lora"; `weight` e.g. a LoRA weight.
struct GenerationModelUsage {
  std::string rawSource;
  std::optional<std::string> provider;
  std::string role;
  std::optional<double> weight;
  std::optional<std::string> hash;

  friend bool operator==(const GenerationModelUsage&, const GenerationModelUsage&) = default;
};

// One raw text the metadata was read from. `container` is "png_text" for PNG text chunks, `key`
// the chunk keyword, `occurrenceIndex` the 0-based position among chunks of that keyword.
struct RawMetadataPayload {
  std::string container;
  std::string key;
  std::int64_t occurrenceIndex = 0;
  std::string text;
  std::string parseStatus;
  std::optional<std::string> parseWarning;

  friend bool operator==(const RawMetadataPayload&, const RawMetadataPayload&) = default;
};

struct GenerationMetadata {
  std::optional<GenerationMetadataProvider> provider;
  std::optional<GenerationMetadataFormat> format;
  std::optional<std::string> title;
  std::optional<std::string> prompt;
  std::optional<std::string> negativePrompt;
  std::optional<std::string> software;
  std::optional<std::string> source;
  std::optional<std::string> modelHash;
  std::optional<double> generationTime;
  std::optional<std::int64_t> seed;
  std::optional<std::int64_t> width;
  std::optional<std::int64_t> height;
  std::optional<std::int64_t> steps;
  std::optional<double> scale;
  std::optional<std::string> sampler;
  std::optional<std::string> noiseSchedule;
  std::optional<std::string> requestType;
  std::optional<std::int64_t> version;
  std::optional<std::string> signedHash;
  std::optional<std::string> baseCaption;
  std::optional<std::string> negativeBaseCaption;
  std::vector<CharacterCaption> characterCaptions;
  std::vector<CharacterCaption> negativeCharacterCaptions;
  std::optional<std::string> rawCommentJSON;
  std::optional<std::string> parseWarning;
  std::vector<PromptTextSegment> promptSegments;
  std::vector<GenerationParameter> generationParameters;
  std::vector<GenerationModelUsage> modelUsages;
  std::vector<RawMetadataPayload> rawPayloads;
  // PNG keyword -> text as read; the last chunk of a keyword wins.
  std::map<std::string, std::string> rawTextChunks;

  // The sampler settings from which makeGenerationParameters derives its list.
  struct ParameterDefaults {
    std::optional<std::int64_t> seed;
    std::optional<std::int64_t> steps;
    std::optional<double> scale;
    std::optional<std::string> sampler;
    std::optional<std::string> noiseSchedule;
    std::optional<std::string> requestType;
    std::optional<std::int64_t> version;

    friend bool operator==(const ParameterDefaults&, const ParameterDefaults&) = default;
  };

  // Up to four segments in the order positive, negative, positive base caption, negative base
  // caption; each present text is trimmed of whitespace and left out when nothing remains.
  static std::vector<PromptTextSegment> makePromptSegments(
      const std::optional<std::string>& prompt, const std::optional<std::string>& negativePrompt,
      const std::optional<std::string>& baseCaption, const std::optional<std::string>& negativeBaseCaption);

  // One parameter per present value, in the order "seed", "steps", "scale", "sampler",
  // "noise_schedule", "request_type", "version". Texts are kept as they are (an empty sampler is
  // still a parameter).
  static std::vector<GenerationParameter> makeGenerationParameters(const ParameterDefaults& defaults);

  // True when the provider code is "novelai", the software is "NovelAI" or the source begins
  // with "NovelAI" (all case-sensitive).
  bool isNovelAI() const;

  friend bool operator==(const GenerationMetadata&, const GenerationMetadata&) = default;
};

}  // namespace lorvex
