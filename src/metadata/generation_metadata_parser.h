// Turns the text chunks of one PNG file into one GenerationMetadata record. The driver knows no
// generator: it builds the raw payload list every record carries, then offers the chunks to the
// provider parsers (provider_parsers.h) in a fixed order — NovelAI, ComfyUI, StableSwarmUI,
// A1111, unknown source — and returns the first record one of them produces. The unknown-source
// parser accepts everything, so a record always comes back.
//
// Thread safety: parse() touches no shared mutable state; copies of a parser share one immutable
// JSON decoder and may be used from any number of threads at once.
//
// Failures: none. Malformed chunk texts are the providers' business: they decline, or accept and
// say what they could not read in the record's parseWarning.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "metadata/png_text_chunk_reader.h"
#include "model/generation_metadata.h"
#include "model/png_text_metadata.h"

namespace lorvex {

class JSONDecoder;

class GenerationMetadataParser {
 public:
  // A new reader and a new default JSON decoder.
  GenerationMetadataParser();

  // Travels with the parser for its holder's use; parsing never reads a file.
  PNGTextChunkReader reader;
  // Shared by every copy; handed to the NovelAI parser, the one that decodes typed records.
  std::shared_ptr<const JSONDecoder> decoder;

  GenerationMetadata parse(const PNGTextMetadata& metadata) const;

  // One "png_text" payload per keyworded entry, in file order; when the entries give none, one
  // per keyworded map pair, sorted by keyword (code-point order), each at occurrence 0.
  static std::vector<RawMetadataPayload> rawTextChunkPayloads(const PNGTextMetadata& metadata);

  // Shared operations of the provider parsers.

  // One "primary" usage of the trimmed model name (provider and hash as given), or nothing when
  // the model is absent or blank.
  static std::vector<GenerationModelUsage> primaryModelUsages(const std::optional<std::string>& provider,
                                                              const std::optional<std::string>& model,
                                                              const std::optional<std::string>& hash);

  // Numbers out of decoded JSON values; nullptr means the value is absent.
  // int64Value: an integer as is (an unsigned one above INT64_MAX is absent); a floating-point
  // number truncated toward zero (absent outside the int64 range); a boolean as 1 or 0; a text
  // that is an optional sign and ASCII digits within int64; anything else absent.
  static std::optional<std::int64_t> int64Value(const nlohmann::json* value);
  // doubleValue: any number or boolean as a double; a text that is one C-locale number covering
  // the whole text; anything else absent.
  static std::optional<double> doubleValue(const nlohmann::json* value);
};

}  // namespace lorvex
