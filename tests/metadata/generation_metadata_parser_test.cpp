#include "metadata/generation_metadata_parser.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "text_metadata_fixture.h"

namespace lorvex {
namespace {

using testing::textMetadata;

RawMetadataPayload observed(std::string key, std::int64_t occurrence, std::string text) {
  return RawMetadataPayload{"png_text",      std::move(key), occurrence,
                            std::move(text), "observed",     std::nullopt};
}

TEST(GenerationMetadataParser, NoTextChunksGiveTheBareUnknownRecord) {
  const GenerationMetadata record = GenerationMetadataParser().parse(PNGTextMetadata{});
  EXPECT_EQ(record, GenerationMetadata{});
}

TEST(GenerationMetadataParser, RawPayloadsFollowTheEntriesInFileOrder) {
  PNGTextMetadata metadata = textMetadata({{"Comment", "a"}, {"", "nameless"}, {"Comment", "b"}, {"x", "y"}});
  EXPECT_EQ(GenerationMetadataParser::rawTextChunkPayloads(metadata),
            (std::vector<RawMetadataPayload>{observed("Comment", 0, "a"), observed("Comment", 1, "b"),
                                             observed("x", 0, "y")}));
}

TEST(GenerationMetadataParser, RawPayloadsFallBackToTheMapSortedByKeyword) {
  PNGTextMetadata metadata;
  metadata.textChunks = {{"prompt", "p"}, {"Comment", "c"}, {"", "dropped"}};
  EXPECT_EQ(GenerationMetadataParser::rawTextChunkPayloads(metadata),
            (std::vector<RawMetadataPayload>{observed("Comment", 0, "c"), observed("prompt", 0, "p")}));
  // Entries whose keywords are all empty give nothing, so the map is used.
  metadata.textChunkEntries = {PNGTextChunkEntry{"", "v", 0, "tEXt"}};
  EXPECT_EQ(GenerationMetadataParser::rawTextChunkPayloads(metadata).size(), 2u);
}

TEST(GenerationMetadataParser, NovelAIIsAskedFirst) {
  const PNGTextMetadata metadata = textMetadata({{"Software", "NovelAI"},
                                                 {"Comment", R"({"prompt": "1girl"})"},
                                                 {"workflow", R"({"nodes": []})"},
                                                 {"parameters", "a cat\nSteps: 20"}});
  const GenerationMetadata record = GenerationMetadataParser().parse(metadata);
  ASSERT_TRUE(record.provider);
  EXPECT_EQ(record.provider->code, "novelai");
  EXPECT_EQ(record.prompt, "1girl");
  EXPECT_EQ(record.rawPayloads.size(), 4u);
}

TEST(GenerationMetadataParser, ProvidersAreAskedInTheirFixedOrder) {
  const std::string a1111 = "a cat\nSteps: 20, Sampler: Euler a, CFG scale: 7, Seed: 1";
  const std::string swarm = R"({"sui_image_params": {"prompt": "a dog", "steps": 30}})";
  struct Case {
    std::vector<std::pair<std::string, std::string>> chunks;
    std::string provider;
  };
  const std::vector<Case> cases = {
      {{{"parameters", a1111}, {"Software", "NovelAI"}, {"Comment", "{}"}}, "novelai"},
      {{{"parameters", a1111}, {"workflow", R"({"nodes": []})"}}, "comfyui"},
      {{{"parameters", swarm}}, "stableswarmui"},
      {{{"parameters", a1111}}, "automatic1111"},
      {{{"parameters", "{}"}}, "unknown"},
  };
  for (const Case& c : cases) {
    const PNGTextMetadata metadata = textMetadata(c.chunks);
    const GenerationMetadata record = GenerationMetadataParser().parse(metadata);
    ASSERT_TRUE(record.provider) << c.provider;
    EXPECT_EQ(record.provider->code, c.provider);
    // The raw payloads are the same whichever provider accepted.
    EXPECT_EQ(record.rawPayloads, GenerationMetadataParser::rawTextChunkPayloads(metadata)) << c.provider;
    EXPECT_EQ(record.rawTextChunks, metadata.textChunks) << c.provider;
  }
}

TEST(GenerationMetadataParser, NovelAIWithoutCommentIsClaimedAsUnknown) {
  const PNGTextMetadata metadata =
      textMetadata({{"Software", "NovelAI"},
                    {"workflow", R"({"nodes": []})"},
                    {"prompt", R"({"3": {"class_type": "KSampler", "inputs": {}}})"},
                    {"parameters", "a cat\nSteps: 20"}});
  const GenerationMetadata record = GenerationMetadataParser().parse(metadata);
  ASSERT_TRUE(record.provider);
  EXPECT_EQ(record.provider->code, "unknown");
  EXPECT_FALSE(record.format);
  EXPECT_EQ(record.rawPayloads, GenerationMetadataParser::rawTextChunkPayloads(metadata));
}

TEST(GenerationMetadataParser, UnclaimedImagesFallToTheUnknownSource) {
  const PNGTextMetadata metadata = textMetadata({{"Description", "a cat"}, {"date:create", "2024"}});
  const GenerationMetadata record = GenerationMetadataParser().parse(metadata);
  ASSERT_TRUE(record.provider);
  EXPECT_EQ(*record.provider, (GenerationMetadataProvider{"unknown", "Unknown"}));
  EXPECT_EQ(record.prompt, "a cat");
  EXPECT_EQ(record.rawPayloads, (std::vector<RawMetadataPayload>{observed("Description", 0, "a cat"),
                                                                 observed("date:create", 0, "2024")}));
  EXPECT_EQ(record.rawTextChunks, metadata.textChunks);
}

TEST(GenerationMetadataParser, TheReadersWarningReachesTheRecord) {
  PNGTextMetadata metadata = textMetadata({{"Software", "NovelAI"}, {"Comment", "not json"}});
  metadata.readWarning = "Skipped 1 text chunk.";
  GenerationMetadata record = GenerationMetadataParser().parse(metadata);
  ASSERT_TRUE(record.parseWarning);
  EXPECT_TRUE(record.parseWarning->starts_with("Failed to decode NovelAI Comment JSON: "));
  EXPECT_TRUE(record.parseWarning->ends_with(" Skipped 1 text chunk."));

  metadata = textMetadata({{"Description", "d"}});
  metadata.readWarning = "Skipped 1 text chunk.";
  EXPECT_EQ(GenerationMetadataParser().parse(metadata).parseWarning, "Skipped 1 text chunk.");
}

TEST(GenerationMetadataParser, CopiesShareOneDecoder) {
  const GenerationMetadataParser parser;
  const GenerationMetadataParser copy = parser;
  EXPECT_NE(parser.decoder, nullptr);
  EXPECT_EQ(parser.decoder, copy.decoder);
}

TEST(GenerationMetadataParser, PrimaryModelUsageOfTheTrimmedModel) {
  EXPECT_TRUE(GenerationMetadataParser::primaryModelUsages("ComfyUI", std::nullopt, "h").empty());
  EXPECT_TRUE(GenerationMetadataParser::primaryModelUsages("ComfyUI", " \n", "h").empty());
  EXPECT_EQ(GenerationMetadataParser::primaryModelUsages(std::nullopt, "  model.safetensors\n", "abc"),
            (std::vector<GenerationModelUsage>{
                GenerationModelUsage{"model.safetensors", std::nullopt, "primary", std::nullopt, "abc"}}));
}

TEST(GenerationMetadataParser, Int64ValueOfDecodedJSON) {
  const nlohmann::json document = nlohmann::json::parse(R"({
    "int": -42, "big": 9223372036854775807, "huge": 18446744073709551615, "fraction": -28.9,
    "float_big": 1e300, "yes": true, "no": false, "text": "+17", "spaced": " 17", "fractext": "1.5",
    "overflow": "9223372036854775808", "null": null, "array": [1], "object": {}})");
  const auto value = [&](const char* key) { return GenerationMetadataParser::int64Value(&document.at(key)); };
  EXPECT_EQ(GenerationMetadataParser::int64Value(nullptr), std::nullopt);
  EXPECT_EQ(value("int"), -42);
  EXPECT_EQ(value("big"), INT64_MAX);
  EXPECT_EQ(value("huge"), std::nullopt);
  EXPECT_EQ(value("fraction"), -28);
  EXPECT_EQ(value("float_big"), std::nullopt);
  EXPECT_EQ(value("yes"), 1);
  EXPECT_EQ(value("no"), 0);
  EXPECT_EQ(value("text"), 17);
  EXPECT_EQ(value("spaced"), std::nullopt);
  EXPECT_EQ(value("fractext"), std::nullopt);
  EXPECT_EQ(value("overflow"), std::nullopt);
  EXPECT_EQ(value("null"), std::nullopt);
  EXPECT_EQ(value("array"), std::nullopt);
  EXPECT_EQ(value("object"), std::nullopt);
}

TEST(GenerationMetadataParser, DoubleValueOfDecodedJSON) {
  const nlohmann::json document = nlohmann::json::parse(R"({
    "int": 7, "unsigned": 18446744073709551615, "real": 2.5, "yes": true, "text": "6.5e1",
    "spaced": " 1", "suffix": "1x", "empty": "", "null": null, "array": []})");
  const auto value = [&](const char* key) {
    return GenerationMetadataParser::doubleValue(&document.at(key));
  };
  EXPECT_EQ(GenerationMetadataParser::doubleValue(nullptr), std::nullopt);
  EXPECT_EQ(value("int"), 7.0);
  EXPECT_EQ(value("unsigned"), 18446744073709551615.0);
  EXPECT_EQ(value("real"), 2.5);
  EXPECT_EQ(value("yes"), 1.0);
  EXPECT_EQ(value("text"), 65.0);
  EXPECT_EQ(value("spaced"), std::nullopt);
  EXPECT_EQ(value("suffix"), std::nullopt);
  EXPECT_EQ(value("empty"), std::nullopt);
  EXPECT_EQ(value("null"), std::nullopt);
  EXPECT_EQ(value("array"), std::nullopt);
}

}  // namespace
}  // namespace lorvex
