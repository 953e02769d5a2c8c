// The pieces of A1111GenerationMetadataProviderParser (provider_parsers.h), exposed for tests.
//
// AUTOMATIC1111 / SD WebUI and its forks write one plain-text "parameters" chunk:
//
//   masterpiece, 1girl                 <- positive prompt (any number of lines)
//   Negative prompt: lowres, bad hands <- negative prompt (and the lines up to "Steps: ")
//   Steps: 20, Sampler: Euler a, CFG scale: 7, Seed: 42, Size: 512x768, Model: modelA
//
// Lines end in LF or CR LF (several forks write CR LF). The parameter line is split at every
// comma, quotes or not; only Seed, Steps, CFG scale, Sampler, Size, Model and Model hash are read.
// Malformed input degrades field by field; the record never carries a warning.
//
// Internal to the metadata layer. Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/generation_metadata.h"

namespace lorvex::a1111 {

inline constexpr std::string_view kProviderDisplayName = "AUTOMATIC1111 / SD WebUI";

// Key -> value of the parameter line; keys are exact (case-sensitive), a later pair wins.
using ParameterMap = std::map<std::string, std::string, std::less<>>;

struct ParameterText {
  std::optional<std::string> prompt;
  std::optional<std::string> negativePrompt;
  ParameterMap parameters;

  friend bool operator==(const ParameterText&, const ParameterText&) = default;
};

// The largest width or height read from a "Size" value.
inline constexpr std::int64_t kMaximumImageSide = 2'147'483'647;

struct ImageSize {
  std::int64_t width = 0;
  std::int64_t height = 0;

  friend bool operator==(const ImageSize&, const ImageSize&) = default;
};

// True when the trimmed text is a JSON object or array (such a chunk belongs to other generators).
bool isJSONContainer(std::string_view text);

// With `onlyReadKeys`, the map keeps only the keys a record reads ("Seed", "Steps", "CFG scale",
// "Sampler", "Size", "Model", "Model hash"): a parameter line of millions of short pairs would
// otherwise be held whole, many times its size.
ParameterText splitParameterText(std::string_view text, bool onlyReadKeys = false);

// Pieces between commas; in each, the first colon after the first character separates key and
// value (both trimmed; double quotes stripped from the value's ends). Pieces without one, or
// with nothing after it, are ignored.
ParameterMap parseParameterLine(std::string_view line, bool onlyReadKeys = false);

// "512x768", "640 X 960": two integers around "x" (spaces ignored), each a pixel count from 1
// to 2^31 - 1; anything else is nothing (both sides together).
std::optional<ImageSize> parseSize(std::string_view text);

// One "lora" usage per <lora:name> or <lora:name:weight> tag (any letter case), in prompt order.
std::vector<GenerationModelUsage> loraUsages(std::string_view prompt);

// "seed", "steps", "scale", "sampler", "model", "model_hash", each when present and readable.
std::vector<GenerationParameter> makeGenerationParameters(const ParameterMap& parameters);

}  // namespace lorvex::a1111
