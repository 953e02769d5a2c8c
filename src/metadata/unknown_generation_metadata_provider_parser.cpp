#include "metadata/provider_parsers.h"
#include "model/text/whitespace.h"

namespace lorvex {

GenerationMetadata UnknownGenerationMetadataProviderParser::parse(
    const PNGTextMetadata& metadata, const std::vector<RawMetadataPayload>& rawPayloads) const {
  // Whether the image has text at all is decided by the map alone.
  const bool hasTextChunks = !metadata.textChunks.empty();
  const std::optional<std::string> providerName =
      hasTextChunks ? std::optional<std::string>("Unknown") : std::nullopt;

  GenerationMetadata record;
  if (hasTextChunks) record.provider = GenerationMetadataProvider{"unknown", "Unknown"};
  record.title = metadata.title;
  record.prompt = metadata.description;
  record.software = metadata.software;
  record.source = metadata.source;
  record.generationTime = metadata.generationTime;
  record.promptSegments =
      GenerationMetadata::makePromptSegments(metadata.description, std::nullopt, std::nullopt, std::nullopt);
  if (metadata.source && text::trimmedNonEmpty(*metadata.source)) {
    record.modelUsages.push_back(
        GenerationModelUsage{*metadata.source, providerName, "primary", std::nullopt, std::nullopt});
  }
  record.rawPayloads = rawPayloads;
  record.rawTextChunks = metadata.textChunks;
  return record;
}

}  // namespace lorvex
