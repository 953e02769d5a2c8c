#include "metadata/stable_swarm_ui_parser.h"

#include <algorithm>
#include <map>

#include "metadata/generation_metadata_parser.h"
#include "metadata/json_document.h"
#include "metadata/provider_parsers.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace lorvex {
namespace stableswarmui {

using nlohmann::json;

namespace {

const std::string* textValue(const json* value) {
  return value != nullptr && value->is_string() ? &value->get_ref<const std::string&>() : nullptr;
}

// trimmedNonEmpty of a JSON text; anything that is not a text gives nothing.
std::optional<std::string> trimmedText(const json* value) {
  const std::string* text = textValue(value);
  return text != nullptr ? text::trimmedNonEmpty(*text) : std::nullopt;
}

// Every non-overlapping occurrence of `pattern`, left to right, in one pass.
std::string removingOccurrences(std::string_view text, std::string_view pattern) {
  std::string result;
  result.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t found = text.find(pattern); found != std::string_view::npos;
       found = text.find(pattern, start)) {
    result.append(text.substr(start, found - start));
    start = found + pattern.size();
  }
  result.append(text.substr(start));
  return result;
}

bool isModelEntryFor(const json& entry, std::string_view param) {
  const std::string* value = textValue(jsonMember(entry, "param"));
  return value != nullptr && *value == param;
}

std::optional<std::string> modelHashEntry(const json& entry, const std::string& model) {
  if (!isModelEntryFor(entry, "model")) return std::nullopt;
  auto name = trimmedText(jsonMember(entry, "name"));
  if (!name || !name->starts_with(model)) return std::nullopt;
  auto hash = trimmedText(jsonMember(entry, "hash"));
  if (!hash) return std::nullopt;
  return hashForm(*hash);
}

std::optional<std::pair<std::string, std::string>> loraHashEntry(const json& entry) {
  if (!isModelEntryFor(entry, "loras")) return std::nullopt;
  auto name = trimmedText(jsonMember(entry, "name"));
  auto hash = trimmedText(jsonMember(entry, "hash"));
  if (!name || !hash) return std::nullopt;
  return std::pair{loraKey(*name), hashForm(*hash)};
}

}  // namespace

std::optional<ImageParameters> findImageParameters(const PNGTextMetadata& metadata) {
  for (const char* keyword : {"parameters", "Comment"}) {
    auto chunk = metadata.textChunks.find(keyword);
    if (chunk == metadata.textChunks.end()) continue;
    std::optional<json> document = parseJSONDocument(chunk->second);
    if (!document || !document->is_object()) continue;
    auto params = document->find("sui_image_params");
    if (params == document->end() || !params->is_object()) continue;

    ImageParameters found{std::move(*params), {}};
    auto models = document->find("sui_models");
    if (models != document->end() && models->is_array() &&
        std::all_of(models->begin(), models->end(), [](const json& model) { return model.is_object(); })) {
      found.models.assign(std::make_move_iterator(models->begin()), std::make_move_iterator(models->end()));
    }
    return found;
  }
  return std::nullopt;
}

std::string loraKey(std::string_view trimmedName) {
  return text::lowercased(removingOccurrences(removingOccurrences(trimmedName, ".safetensors"), ".pt"));
}

std::string hashForm(std::string_view hash) {
  return removingOccurrences(text::trimmedWhitespace(hash), "0x");
}

std::optional<std::string> primaryModelHash(const std::optional<std::string>& model,
                                            const std::vector<json>& models) {
  if (!model) return std::nullopt;
  for (const json& entry : models) {
    if (auto hash = modelHashEntry(entry, *model)) return hash;
  }
  return std::nullopt;
}

std::vector<GenerationModelUsage> loraUsages(const json& params, const std::vector<json>& models) {
  const json* loras = jsonMember(params, "loras");
  if (loras == nullptr || !loras->is_array() ||
      !std::all_of(loras->begin(), loras->end(), [](const json& name) { return name.is_string(); })) {
    return {};
  }
  const json* weights = jsonMember(params, "loraweights");
  const std::size_t weightCount = weights != nullptr && weights->is_array() ? weights->size() : 0;

  std::map<std::string, std::string> hashes;
  for (const json& entry : models) {
    if (auto pair = loraHashEntry(entry))
      hashes.insert_or_assign(std::move(pair->first), std::move(pair->second));
  }

  std::vector<GenerationModelUsage> usages;
  for (std::size_t i = 0; i < loras->size(); ++i) {
    auto name = text::trimmedNonEmpty((*loras)[i].get_ref<const std::string&>());
    if (!name) continue;
    GenerationModelUsage usage;
    usage.rawSource = *name;
    usage.provider = "StableSwarmUI";
    usage.role = "lora";
    if (i < weightCount) usage.weight = GenerationMetadataParser::doubleValue(&(*weights)[i]);
    if (auto hash = hashes.find(loraKey(*name)); hash != hashes.end()) usage.hash = hash->second;
    usages.push_back(std::move(usage));
  }
  return usages;
}

std::vector<GenerationParameter> makeStableSwarmUIGenerationParameters(
    const json& params, const std::optional<std::string>& modelHash) {
  std::vector<GenerationParameter> parameters;
  auto add = [&](const char* key) -> GenerationParameter& {
    return parameters.emplace_back(GenerationParameter{key, {}, {}, {}});
  };
  auto addInteger = [&](const char* key, const char* name) {
    if (auto value = GenerationMetadataParser::int64Value(jsonMember(params, name)))
      add(key).integerValue = value;
  };
  auto addReal = [&](const char* key, const char* name) {
    if (auto value = GenerationMetadataParser::doubleValue(jsonMember(params, name)))
      add(key).realValue = value;
  };
  auto addText = [&](const char* key, std::optional<std::string> value) {
    if (value) add(key).textValue = std::move(value);
  };
  addInteger("seed", "seed");
  addInteger("steps", "steps");
  addReal("scale", "cfgscale");
  addText("sampler", stringValue(jsonMember(params, "sampler")));
  addInteger("width", "width");
  addInteger("height", "height");
  addInteger("images", "images");
  addReal("initimagecreativity", "initimagecreativity");
  addText("model", stringValue(jsonMember(params, "model")));
  addText("model_hash", modelHash);
  addText("swarm_version", stringValue(jsonMember(params, "swarm_version")));
  addText("date", stringValue(jsonMember(params, "date")));
  addText("generation_time", stringValue(jsonMember(params, "generation_time")));
  return parameters;
}

std::optional<std::string> stringValue(const json* value) {
  if (value == nullptr || value->is_null()) return std::nullopt;
  if (value->is_string()) return text::trimmedNonEmpty(value->get_ref<const std::string&>());
  return text::trimmedNonEmpty(value->dump());
}

}  // namespace stableswarmui

std::optional<GenerationMetadata> StableSwarmUIMetadataProviderParser::parse(
    const PNGTextMetadata& metadata, const std::vector<RawMetadataPayload>& rawPayloads) const {
  auto found = stableswarmui::findImageParameters(metadata);
  if (!found) return std::nullopt;
  const nlohmann::json& params = found->params;
  auto text = [&](const char* name) { return stableswarmui::trimmedText(jsonMember(params, name)); };
  auto integer = [&](const char* name) {
    return GenerationMetadataParser::int64Value(jsonMember(params, name));
  };

  GenerationMetadata record;
  const std::optional<std::string> model = text("model");
  const std::optional<std::string> modelHash = stableswarmui::primaryModelHash(model, found->models);
  record.provider = GenerationMetadataProvider{"stableswarmui", "StableSwarmUI"};
  record.format = GenerationMetadataFormat{"stableswarmui_png_parameters", "StableSwarmUI PNG parameters"};
  record.prompt = text("prompt");
  record.negativePrompt = text("negativeprompt");
  record.software = metadata.software ? *metadata.software : std::string("StableSwarmUI");
  record.source = model;
  record.modelHash = modelHash;
  record.seed = integer("seed");
  record.width = integer("width");
  record.height = integer("height");
  record.steps = integer("steps");
  record.scale = GenerationMetadataParser::doubleValue(jsonMember(params, "cfgscale"));
  record.sampler = text("sampler");
  record.rawCommentJSON = metadata.commentJSON;
  record.promptSegments =
      GenerationMetadata::makePromptSegments(record.prompt, record.negativePrompt, {}, {});
  record.generationParameters = stableswarmui::makeStableSwarmUIGenerationParameters(params, modelHash);
  record.modelUsages = GenerationMetadataParser::primaryModelUsages("StableSwarmUI", model, modelHash);
  for (auto& usage : stableswarmui::loraUsages(params, found->models))
    record.modelUsages.push_back(std::move(usage));
  record.rawPayloads = rawPayloads;
  record.rawTextChunks = metadata.textChunks;
  return record;
}

}  // namespace lorvex
