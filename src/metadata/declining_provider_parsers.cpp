// Provider parsers that do not read their generator's format yet: they decline every image, so
// the driver moves on to the next one. Each definition leaves this file when its parser is built.
#include "metadata/provider_parsers.h"

namespace lorvex {

std::optional<GenerationMetadata> ComfyUIGenerationMetadataProviderParser::parse(
    const PNGTextMetadata&, const std::vector<RawMetadataPayload>&) const {
  return std::nullopt;
}

std::optional<GenerationMetadata> StableSwarmUIMetadataProviderParser::parse(
    const PNGTextMetadata&, const std::vector<RawMetadataPayload>&) const {
  return std::nullopt;
}

std::optional<GenerationMetadata> A1111GenerationMetadataProviderParser::parse(
    const PNGTextMetadata&, const std::vector<RawMetadataPayload>&) const {
  return std::nullopt;
}

}  // namespace lorvex
