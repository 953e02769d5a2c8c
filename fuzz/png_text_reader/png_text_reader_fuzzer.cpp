// The PNG text chunk reader over arbitrary bytes, and the parser over whatever it reads. Any
// outcome but a result or the reader's own error is a bug.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "metadata/generation_metadata_parser.h"
#include "metadata/png_text_chunk_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const lorvex::GenerationMetadataParser parser;
  lorvex::MemoryPNGTextChunkByteSource source(std::span<const std::uint8_t>(data, size));
  try {
    const lorvex::PNGTextMetadata metadata = parser.reader.read(source);
    std::size_t entries = 0;
    for (const auto& entry : metadata.textChunkEntries) {
      if (metadata.textChunks.find(entry.keyword) == metadata.textChunks.end()) std::abort();
      ++entries;
    }
    if (entries < metadata.textChunks.size()) std::abort();
    const lorvex::GenerationMetadata record = parser.parse(metadata);
    if (record.rawTextChunks != metadata.textChunks) std::abort();
  } catch (const lorvex::PNGTextChunkReaderError&) {
  }
  return 0;
}
