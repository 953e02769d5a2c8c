#include "metadata/generation_metadata_parser.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "metadata/json_document.h"
#include "metadata/provider_parsers.h"
#include "model/text/numbers.h"
#include "model/text/whitespace.h"

namespace lorvex {
namespace {

RawMetadataPayload observedPayload(const std::string& keyword, std::int64_t occurrenceIndex,
                                   const std::string& text) {
  return RawMetadataPayload{"png_text", keyword, occurrenceIndex, text, "observed", std::nullopt};
}

// Chunks the reader passed over are worth knowing about whichever provider accepted the image.
GenerationMetadata withReadWarning(GenerationMetadata record, const PNGTextMetadata& metadata) {
  if (!metadata.readWarning) return record;
  record.parseWarning =
      record.parseWarning ? *record.parseWarning + " " + *metadata.readWarning : *metadata.readWarning;
  return record;
}

}  // namespace

GenerationMetadataParser::GenerationMetadataParser() : decoder(std::make_shared<const JSONDecoder>()) {}

GenerationMetadata GenerationMetadataParser::parse(const PNGTextMetadata& metadata) const {
  const std::vector<RawMetadataPayload> rawPayloads = rawTextChunkPayloads(metadata);
  if (auto record = NovelAIGenerationMetadataProviderParser{decoder}.parse(metadata, rawPayloads)) {
    return withReadWarning(std::move(*record), metadata);
  }
  if (auto record = ComfyUIGenerationMetadataProviderParser{}.parse(metadata, rawPayloads)) {
    return withReadWarning(std::move(*record), metadata);
  }
  if (auto record = StableSwarmUIMetadataProviderParser{}.parse(metadata, rawPayloads)) {
    return withReadWarning(std::move(*record), metadata);
  }
  if (auto record = A1111GenerationMetadataProviderParser{}.parse(metadata, rawPayloads)) {
    return withReadWarning(std::move(*record), metadata);
  }
  return withReadWarning(UnknownGenerationMetadataProviderParser{}.parse(metadata, rawPayloads), metadata);
}

std::vector<RawMetadataPayload> GenerationMetadataParser::rawTextChunkPayloads(
    const PNGTextMetadata& metadata) {
  std::vector<RawMetadataPayload> payloads;
  for (const PNGTextChunkEntry& entry : metadata.textChunkEntries) {
    if (entry.keyword.empty()) continue;
    payloads.push_back(observedPayload(entry.keyword, entry.occurrenceIndex, entry.value));
  }
  if (!payloads.empty()) return payloads;
  // A map without keyworded entries: the map is ordered by keyword bytes, which for UTF-8 is
  // code-point order.
  for (const auto& [keyword, text] : metadata.textChunks) {
    if (keyword.empty()) continue;
    payloads.push_back(observedPayload(keyword, 0, text));
  }
  return payloads;
}

std::vector<GenerationModelUsage> GenerationMetadataParser::primaryModelUsages(
    const std::optional<std::string>& provider, const std::optional<std::string>& model,
    const std::optional<std::string>& hash) {
  std::optional<std::string> trimmed = text::trimmedNonEmpty(model.value_or(std::string()));
  if (!trimmed) return {};
  return {GenerationModelUsage{std::move(*trimmed), provider, "primary", std::nullopt, hash}};
}

std::optional<std::int64_t> GenerationMetadataParser::int64Value(const nlohmann::json* value) {
  if (value == nullptr) return std::nullopt;
  switch (value->type()) {
    case nlohmann::json::value_t::number_integer:
      return value->get<std::int64_t>();
    case nlohmann::json::value_t::number_unsigned: {
      const auto unsignedValue = value->get<std::uint64_t>();
      if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
      return static_cast<std::int64_t>(unsignedValue);
    }
    case nlohmann::json::value_t::number_float: {
      const double truncated = std::trunc(value->get<double>());
      // 2^63 is exactly representable; every double below it and at or above -2^63 converts.
      if (!(truncated >= -9223372036854775808.0 && truncated < 9223372036854775808.0)) return std::nullopt;
      return static_cast<std::int64_t>(truncated);
    }
    case nlohmann::json::value_t::boolean:
      return value->get<bool>() ? 1 : 0;
    case nlohmann::json::value_t::string:
      return text::parseInt64(value->get_ref<const std::string&>());
    default:
      return std::nullopt;
  }
}

std::optional<double> GenerationMetadataParser::doubleValue(const nlohmann::json* value) {
  if (value == nullptr) return std::nullopt;
  if (value->is_number()) return value->get<double>();
  if (value->is_boolean()) return value->get<bool>() ? 1.0 : 0.0;
  if (value->is_string()) return text::parseReal(value->get_ref<const std::string&>());
  return std::nullopt;
}

}  // namespace lorvex
