// The five provider parsers that GenerationMetadataParser consults, in this order. Each one
// decides by itself whether an image is its generator's: it returns a complete record, or nothing
// to decline. A parser that recognises its generator but cannot read the details still returns a
// record, with an English sentence in parseWarning.
//
// Every accepted record carries provider and format (the unknown source: no format, and no
// provider when the image has no text chunk), `rawPayloads` exactly as given and `rawTextChunks`
// = metadata.textChunks.
//
// Internal to the metadata layer. Thread safety: pure functions of their arguments.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "model/generation_metadata.h"
#include "model/png_text_metadata.h"

namespace lorvex {

class JSONDecoder;

// 1. Software "NovelAI", or a source beginning with "NovelAI"; decodes the "Comment" JSON.
//    provider "novelai" / "NovelAI", format "novelai_png_text" / "NovelAI PNG text chunks".
struct NovelAIGenerationMetadataProviderParser {
  std::shared_ptr<const JSONDecoder> decoder;

  std::optional<GenerationMetadata> parse(const PNGTextMetadata& metadata,
                                          const std::vector<RawMetadataPayload>& rawPayloads) const;
};

// 2. A ComfyUI signature or prompt graph.
//    provider "comfyui" / "ComfyUI", format "comfyui_png_workflow" / "ComfyUI PNG workflow".
struct ComfyUIGenerationMetadataProviderParser {
  std::optional<GenerationMetadata> parse(const PNGTextMetadata& metadata,
                                          const std::vector<RawMetadataPayload>& rawPayloads) const;
};

// 3. A "parameters" or "Comment" JSON object holding "sui_image_params".
//    provider "stableswarmui" / "StableSwarmUI",
//    format "stableswarmui_png_parameters" / "StableSwarmUI PNG parameters".
struct StableSwarmUIMetadataProviderParser {
  std::optional<GenerationMetadata> parse(const PNGTextMetadata& metadata,
                                          const std::vector<RawMetadataPayload>& rawPayloads) const;
};

// 4. A non-empty "parameters" text that is not JSON and yields a prompt or a parameter.
//    provider "automatic1111" / "AUTOMATIC1111 / SD WebUI",
//    format "a1111_png_parameters" / "A1111 PNG parameters".
struct A1111GenerationMetadataProviderParser {
  std::optional<GenerationMetadata> parse(const PNGTextMetadata& metadata,
                                          const std::vector<RawMetadataPayload>& rawPayloads) const;
};

// 5. Everything else: the generic PNG texts, provider "unknown" / "Unknown" when the image has at
//    least one text chunk. Never declines. Also the record NovelAI returns for an image marked as
//    NovelAI's that has no "Comment" chunk.
struct UnknownGenerationMetadataProviderParser {
  GenerationMetadata parse(const PNGTextMetadata& metadata,
                           const std::vector<RawMetadataPayload>& rawPayloads) const;
};

}  // namespace lorvex
