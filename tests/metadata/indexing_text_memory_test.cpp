// How much memory one huge text chunk costs on its way to the library: read from the file,
// parsed into a record, its prompt reduced to the tags the library stores. A pasted text of tens
// of megabytes must cost a few copies of itself, not a few bytes per character (the record itself
// holds four: the raw payload, the chunk map, the prompt and its segment). This test counts every
// allocation made through operator new, so it lives in an executable of its own.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "metadata/generation_metadata_parser.h"
#include "metadata/png_text_chunk_reader.h"
#include "model/prompt_tags.h"
#include "support/allocation_counter.h"
#include "support/png_builder.h"

namespace lorvex {
namespace {

constexpr std::size_t kChunkText = 60 * 1024 * 1024;

struct Indexed {
  GenerationMetadata metadata;
  std::vector<std::string> tags;
};

// What the scanner does with one file, in its order: the chunks are dropped once parsed.
Indexed index(const std::string& file) {
  Indexed indexed;
  {
    MemoryPNGTextChunkByteSource source(file);
    const PNGTextMetadata text = PNGTextChunkReader().read(source);
    indexed.metadata = GenerationMetadataParser().parse(text);
  }
  indexed.tags = extractPromptTags(
      indexed.metadata.prompt.value_or(""),
      GenerationMetadataProvider::usesStableDiffusionPromptSyntax(indexed.metadata.provider),
      kMaximumStoredPromptTagBytes);
  return indexed;
}

std::string a1111File(const std::string& prompt) {
  return testing::PNGBuilder()
      .ihdr()
      .tEXt("parameters", prompt + "\nSteps: 20, Size: 512x768")
      .iend()
      .bytes();
}

std::string novelAIFile(const std::string& prompt) {
  const std::string comment = R"({"prompt": ")" + prompt + R"(", "uc": "bad", "width": 512, "height": 768})";
  return testing::PNGBuilder().ihdr().tEXt("Software", "NovelAI").tEXt("Comment", comment).iend().bytes();
}

TEST(IndexingTextMemoryTest, AHugeParametersChunkCostsAFewCopiesOfItself) {
  const struct {
    const char* name;
    std::string prompt;
    std::size_t tagCount;
    std::string (*file)(const std::string&) = a1111File;
  } cases[] = {
      // One token: no tag (far over the tag limit), and no per-character bookkeeping.
      {"one token", std::string(kChunkText, 'a'), 0},
      // Millions of empty pieces between commas.
      {"commas", std::string(kChunkText, ','), 0},
      // Millions of tokens, a few thousand distinct.
      {"many tags",
       [] {
         std::string prompt;
         for (int i = 0; prompt.size() < kChunkText; ++i) prompt += "tag" + std::to_string(i % 5000) + ", ";
         return prompt;
       }(),
       5000},
      // Weights and groups nested a million deep around a short tag.
      {"deep groups", std::string(kChunkText / 2 - 2, '(') + "cat" + std::string(kChunkText / 2 - 2, ')'), 1},
      // The NovelAI dialect, from a comment's JSON.
      {"NovelAI token", std::string(kChunkText, 'a'), 0, novelAIFile},
      {"NovelAI words",
       [] {
         std::string prompt;
         while (prompt.size() < kChunkText) prompt += "word ";
         return prompt;
       }(),
       0, novelAIFile},
  };
  for (const auto& c : cases) {
    const std::string file = c.file(c.prompt);
    const std::size_t chunk = c.prompt.size();
    const std::size_t before = testing::resetAllocationPeak();
    const Indexed indexed = index(file);
    const std::size_t peak = testing::allocationPeak() - before;
    EXPECT_EQ(indexed.metadata.width, 512) << c.name;
    EXPECT_EQ(indexed.tags.size(), c.tagCount) << c.name;
    // The indexer's whole budget for one file (its database work included) is eight copies of
    // the largest chunk and 100 MB: reading and parsing stay within it on their own.
    EXPECT_LE(peak, 8 * chunk + 100'000'000) << c.name << ": peak " << peak / (1024 * 1024) << " MiB";
  }
}

}  // namespace
}  // namespace lorvex
