// PNGTextMetadata as the reader delivers it for a file holding the given text chunks (written as
// iTXt, so any UTF-8 text goes through unchanged).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "metadata/png_text_chunk_reader.h"
#include "support/png_builder.h"

namespace lorvex::testing {

inline PNGTextMetadata textMetadata(const std::vector<std::pair<std::string, std::string>>& chunks) {
  PNGBuilder builder;
  builder.ihdr();
  for (const auto& [keyword, text] : chunks) builder.iTXt(keyword, text);
  builder.iend();
  MemoryPNGTextChunkByteSource source(builder.bytes());
  return PNGTextChunkReader().read(source);
}

}  // namespace lorvex::testing
