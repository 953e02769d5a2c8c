// What the PNG text-chunk reader hands to the metadata parsers: the lifted well-known chunks, every
// text chunk in file order and the keyword map.
//
// Thread safety: plain values; a value may be copied to and read on any thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lorvex {

// One text chunk of the file. `occurrenceIndex` is 0 for the first chunk of a keyword in the file,
// 1 for the second, and so on; `chunkType` is "tEXt", "zTXt" or "iTXt".
struct PNGTextChunkEntry {
  std::string keyword;
  std::string value;
  std::int64_t occurrenceIndex = 0;
  std::optional<std::string> chunkType;

  friend bool operator==(const PNGTextChunkEntry&, const PNGTextChunkEntry&) = default;
};

struct PNGTextMetadata {
  std::optional<std::string> title;        // "Title"
  std::optional<std::string> description;  // "Description"
  std::optional<std::string> software;     // "Software"
  std::optional<std::string> source;       // "Source"
  std::optional<double> generationTime;    // "Generation time", read as a number
  std::optional<std::string> commentJSON;  // "Comment"
  std::vector<PNGTextChunkEntry> textChunkEntries;
  // Keyword -> text; the last chunk of a keyword wins.
  std::map<std::string, std::string> textChunks;
  // Set when the reader passed over text chunks beyond its per-file limits (count and decoded
  // size); the parser carries it into the record's parseWarning.
  std::optional<std::string> readWarning;

  friend bool operator==(const PNGTextMetadata&, const PNGTextMetadata&) = default;
};

}  // namespace lorvex
