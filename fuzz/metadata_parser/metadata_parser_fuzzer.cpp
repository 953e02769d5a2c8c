// The generation metadata parser over arbitrary chunk maps. The input is a list of chunks
// separated by 0x1E, each "keyword 0x1F value"; texts become what the reader would deliver
// (valid UTF-8 kept, anything else read as Latin-1). Checks what every record must carry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_map>

#include "metadata/generation_metadata_parser.h"
#include "metadata/png_text_chunk_reader.h"
#include "model/text/numbers.h"
#include "model/text/unicode.h"

namespace {

std::string asReaderText(std::string_view bytes) {
  if (lorvex::text::isValidUTF8(bytes)) return std::string(bytes);
  return lorvex::latin1ToUTF8({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

lorvex::PNGTextMetadata metadataOf(std::string_view input) {
  lorvex::PNGTextMetadata metadata;
  std::unordered_map<std::string, std::int64_t> counts;
  while (!input.empty()) {
    const std::size_t end = std::min(input.find('\x1E'), input.size());
    const std::string_view chunk = input.substr(0, end);
    input.remove_prefix(std::min(end + 1, input.size()));
    const std::size_t separator = chunk.find('\x1F');
    if (separator == std::string_view::npos) continue;
    std::string keyword = asReaderText(chunk.substr(0, separator));
    std::string value = asReaderText(chunk.substr(separator + 1));
    const std::int64_t occurrence = counts[keyword]++;
    metadata.textChunks.insert_or_assign(keyword, value);
    metadata.textChunkEntries.push_back({std::move(keyword), std::move(value), occurrence, "tEXt"});
  }
  const auto lift = [&](const char* key) -> std::optional<std::string> {
    const auto found = metadata.textChunks.find(key);
    return found == metadata.textChunks.end() ? std::nullopt : std::optional<std::string>(found->second);
  };
  metadata.title = lift("Title");
  metadata.description = lift("Description");
  metadata.software = lift("Software");
  metadata.source = lift("Source");
  if (const auto time = lift("Generation time")) metadata.generationTime = lorvex::text::parseReal(*time);
  metadata.commentJSON = lift("Comment");
  return metadata;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const lorvex::GenerationMetadataParser parser;
  const lorvex::PNGTextMetadata metadata = metadataOf({reinterpret_cast<const char*>(data), size});
  const lorvex::GenerationMetadata record = parser.parse(metadata);
  if (record.rawPayloads != lorvex::GenerationMetadataParser::rawTextChunkPayloads(metadata)) std::abort();
  if (record.rawTextChunks != metadata.textChunks) std::abort();
  if (!metadata.textChunks.empty() && !record.provider) std::abort();
  // Every text of the record must stay valid UTF-8 (the database and the views rely on it).
  for (const auto* text : {&record.prompt, &record.negativePrompt, &record.sampler, &record.parseWarning,
                           &record.baseCaption, &record.modelHash}) {
    if (*text && !lorvex::text::isValidUTF8(**text)) std::abort();
  }
  for (const auto& usage : record.modelUsages) {
    if (!lorvex::text::isValidUTF8(usage.rawSource)) std::abort();
  }
  return 0;
}
