// The pieces of StableSwarmUIMetadataProviderParser (provider_parsers.h), exposed for tests.
//
// StableSwarmUI writes its settings as one JSON document, {"sui_image_params": {…},
// "sui_models": [{"param", "name", "hash"}…]}, in the "parameters" chunk (or "Comment"). The
// parser maps the image parameters onto the record and finds the hashes of the primary model
// and of each LoRA in "sui_models". It never warns: values of the wrong type only leave their own
// field absent.
//
// Internal to the metadata layer. Thread safety: pure functions.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/generation_metadata.h"
#include "model/png_text_metadata.h"

namespace lorvex::stableswarmui {

struct ImageParameters {
  nlohmann::json params;               // the "sui_image_params" object
  std::vector<nlohmann::json> models;  // the "sui_models" objects; empty unless every element is one
};

// The first of the "parameters" and "Comment" chunks that is a JSON object with an object
// "sui_image_params"; nothing when neither is.
std::optional<ImageParameters> findImageParameters(const PNGTextMetadata& metadata);

// How LoRA names of "loras" and "sui_models" are matched: without ".safetensors" and ".pt"
// (case-sensitive, anywhere), then lower-cased.
std::string loraKey(std::string_view trimmedName);
// A hash trimmed of whitespace, with every "0x" removed.
std::string hashForm(std::string_view hash);

// The hash of the first "sui_models" entry for "model" whose trimmed name begins with `model`.
std::optional<std::string> primaryModelHash(const std::optional<std::string>& model,
                                            const std::vector<nlohmann::json>& models);

// One "lora" usage per non-blank name of "loras", weighted by the value at the same position of
// "loraweights" (positions are never renumbered), with its hash from "sui_models".
std::vector<GenerationModelUsage> loraUsages(const nlohmann::json& params,
                                             const std::vector<nlohmann::json>& models);

std::vector<GenerationParameter> makeStableSwarmUIGenerationParameters(
    const nlohmann::json& params, const std::optional<std::string>& modelHash);

// A text trimmed (nothing when blank); a number, boolean, array or object by its compact JSON text;
// null or absent gives nothing.
std::optional<std::string> stringValue(const nlohmann::json* value);

}  // namespace lorvex::stableswarmui
