#include "metadata/stable_swarm_ui_parser.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "metadata/generation_metadata_parser.h"
#include "metadata/provider_parsers.h"

namespace lorvex {
namespace {

using nlohmann::json;

std::optional<GenerationMetadata> parseChunks(const std::map<std::string, std::string>& chunks,
                                              std::optional<std::string> software = std::nullopt) {
  PNGTextMetadata metadata;
  metadata.software = std::move(software);
  for (const auto& [keyword, value] : chunks)
    metadata.textChunkEntries.push_back({keyword, value, 0, "tEXt"});
  metadata.textChunks = chunks;
  return StableSwarmUIMetadataProviderParser{}.parse(
      metadata, GenerationMetadataParser::rawTextChunkPayloads(metadata));
}

std::optional<GenerationMetadata> parseDocument(const json& document) {
  return parseChunks({{"parameters", document.dump()}});
}

GenerationModelUsage lora(const char* name, std::optional<double> weight, std::optional<std::string> hash) {
  return {name, "StableSwarmUI", "lora", weight, std::move(hash)};
}

TEST(StableSwarmUIParserTest, FindsTheDocumentInParametersThenComment) {
  const std::string swarm = R"({"sui_image_params": {"prompt": "a cat"}})";
  struct Case {
    const char* name;
    std::map<std::string, std::string> chunks;
    std::optional<std::string> prompt;  // nothing: declined
  };
  const Case cases[] = {
      {"in parameters", {{"parameters", swarm}}, "a cat"},
      {"A1111 text in parameters, document in Comment",
       {{"parameters", "a dog\nSteps: 20"}, {"Comment", swarm}},
       "a cat"},
      {"parameters wins over Comment",
       {{"parameters", R"({"sui_image_params": {"prompt": "first"}})"}, {"Comment", swarm}},
       "first"},
      {"image params as text", {{"parameters", R"({"sui_image_params": "a cat"})"}}, std::nullopt},
      {"top level is an array", {{"parameters", "[" + swarm + "]"}}, std::nullopt},
      {"no image params", {{"parameters", R"({"prompt": "a cat"})"}}, std::nullopt},
      {"not JSON", {{"parameters", "a cat"}}, std::nullopt},
      {"keyword case matters", {{"Parameters", swarm}, {"comment", swarm}}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto record = parseChunks(c.chunks);
    ASSERT_EQ(record.has_value(), c.prompt.has_value());
    if (record) {
      EXPECT_EQ(record->prompt, c.prompt);
    }
  }
}

TEST(StableSwarmUIParserTest, MapsTheImageParametersOntoTheRecord) {
  json document = {
      {"sui_image_params",
       {{"prompt", " a cat \n"},
        {"negativeprompt", "  "},
        {"model", " sdxl_base "},
        {"seed", 2083100758},
        {"steps", "30"},
        {"cfgscale", 7},
        {"sampler", " euler "},
        {"width", 1024},
        {"height", 768.0},
        {"images", 2},
        {"initimagecreativity", "0.6"},
        {"swarm_version", "0.9.7.4"},
        {"date", "2026-01-03"},
        {"generation_time", 1.5}}},
      {"sui_models", {{{"param", "model"}, {"name", "sdxl_base.safetensors"}, {"hash", " 0xABCDEF "}}}}};
  auto record = parseDocument(document);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->provider, (GenerationMetadataProvider{"stableswarmui", "StableSwarmUI"}));
  EXPECT_EQ(record->format,
            (GenerationMetadataFormat{"stableswarmui_png_parameters", "StableSwarmUI PNG parameters"}));
  EXPECT_EQ(record->prompt, "a cat");
  EXPECT_FALSE(record->negativePrompt);
  EXPECT_EQ(record->software, "StableSwarmUI");
  EXPECT_EQ(record->source, "sdxl_base");
  EXPECT_EQ(record->modelHash, "ABCDEF");
  EXPECT_EQ(record->seed, 2083100758);
  EXPECT_EQ(record->steps, 30);
  EXPECT_EQ(record->scale, 7.0);
  EXPECT_EQ(record->sampler, "euler");
  EXPECT_EQ(record->width, 1024);
  EXPECT_EQ(record->height, 768);
  EXPECT_FALSE(record->generationTime);
  EXPECT_FALSE(record->parseWarning);
  EXPECT_EQ(record->promptSegments, (std::vector<PromptTextSegment>{{"positive", false, "a cat"}}));
  EXPECT_EQ(
      record->modelUsages,
      (std::vector<GenerationModelUsage>{{"sdxl_base", "StableSwarmUI", "primary", std::nullopt, "ABCDEF"}}));
  const std::vector<GenerationParameter> expected{
      {"seed", 2083100758, {}, {}},
      {"steps", 30, {}, {}},
      {"scale", {}, 7.0, {}},
      {"sampler", {}, {}, "euler"},
      {"width", 1024, {}, {}},
      {"height", 768, {}, {}},
      {"images", 2, {}, {}},
      {"initimagecreativity", {}, 0.6, {}},
      {"model", {}, {}, "sdxl_base"},
      {"model_hash", {}, {}, "ABCDEF"},
      {"swarm_version", {}, {}, "0.9.7.4"},
      {"date", {}, {}, "2026-01-03"},
      {"generation_time", {}, {}, "1.5"},
  };
  EXPECT_EQ(record->generationParameters, expected);

  auto withSoftware = parseChunks({{"parameters", document.dump()}}, "SwarmUI 0.9");
  ASSERT_TRUE(withSoftware);
  EXPECT_EQ(withSoftware->software, "SwarmUI 0.9");
}

TEST(StableSwarmUIParserTest, NonTextValuesFillParametersButNotRecordTexts) {
  auto record = parseDocument({{"sui_image_params", {{"sampler", 3}, {"model", true}, {"date", nullptr}}}});
  ASSERT_TRUE(record);
  EXPECT_FALSE(record->sampler);
  EXPECT_FALSE(record->source);
  EXPECT_TRUE(record->modelUsages.empty());
  EXPECT_EQ(record->generationParameters,
            (std::vector<GenerationParameter>{{"sampler", {}, {}, "3"}, {"model", {}, {}, "true"}}));
}

TEST(StableSwarmUIParserTest, PrimaryModelHashNeedsAModelEntryWhoseNameBeginsWithTheModel) {
  struct Case {
    const char* name;
    json models;
    std::optional<std::string> hash;
  };
  const Case cases[] = {
      {"prefix match", json::array({{{"param", "model"}, {"name", "M.safetensors"}, {"hash", "0x1a2b"}}}),
       "1a2b"},
      {"name merely ends with the model", json::array({{{"param", "model"}, {"name", "xM"}, {"hash", "1"}}}),
       std::nullopt},
      {"prefix is case-sensitive", json::array({{{"param", "model"}, {"name", "m.ckpt"}, {"hash", "1"}}}),
       std::nullopt},
      {"LoRA entry is not the model", json::array({{{"param", "loras"}, {"name", "M"}, {"hash", "1"}}}),
       std::nullopt},
      {"first matching entry wins",
       json::array({{{"param", "model"}, {"name", "M"}, {"hash", " "}},
                    {{"param", "model"}, {"name", "M2"}, {"hash", "0x0x22"}},
                    {{"param", "model"}, {"name", "M3"}, {"hash", "33"}}}),
       "22"},
      {"an element that is not an object drops every hash",
       json::array({{{"param", "model"}, {"name", "M"}, {"hash", "1"}}, 5}), std::nullopt},
      {"models not an array", json{{"param", "model"}, {"name", "M"}, {"hash", "1"}}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto record = parseDocument({{"sui_image_params", {{"model", "M"}}}, {"sui_models", c.models}});
    ASSERT_TRUE(record);
    EXPECT_EQ(record->modelHash, c.hash);
    ASSERT_EQ(record->modelUsages.size(), 1u);
    EXPECT_EQ(record->modelUsages[0].hash, c.hash);
  }
}

TEST(StableSwarmUIParserTest, LoraUsagesKeepPositionsAlignedWithWeights) {
  struct Case {
    const char* name;
    json params;
    json models;
    std::vector<GenerationModelUsage> expected;
  };
  const Case cases[] = {
      {"blank name skips its weight",
       {{"loras", {"first", "  ", "third"}}, {"loraweights", {0.8, "0.5"}}},
       json::array(),
       {lora("first", 0.8, std::nullopt), lora("third", std::nullopt, std::nullopt)}},
      {"hash matched by LoRA key",
       {{"loras", {" Detail_Tweaker.safetensors "}}, {"loraweights", {"x"}}},
       json::array({{{"param", "loras"}, {"name", "detail_tweaker"}, {"hash", "0x99"}}}),
       {lora("Detail_Tweaker.safetensors", std::nullopt, "99")}},
      {".pt endings match too",
       {{"loras", {"style.pt"}}},
       json::array({{{"param", "loras"}, {"name", "STYLE"}, {"hash", "7"}}}),
       {lora("style.pt", std::nullopt, "7")}},
      {"later table entry wins",
       {{"loras", {"a"}}},
       json::array({{{"param", "loras"}, {"name", "a"}, {"hash", "1"}},
                    {{"param", "loras"}, {"name", "A"}, {"hash", "2"}}}),
       {lora("a", std::nullopt, "2")}},
      {"weights not an array",
       {{"loras", {"a"}}, {"loraweights", 0.5}},
       json::array(),
       {lora("a", std::nullopt, std::nullopt)}},
      {"loras holding a non-text", {{"loras", {"a", 1}}}, json::array(), {}},
      {"loras not an array", {{"loras", "a"}}, json::array(), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto record = parseDocument({{"sui_image_params", c.params}, {"sui_models", c.models}});
    ASSERT_TRUE(record);
    EXPECT_EQ(record->modelUsages, c.expected);
  }
}

TEST(StableSwarmUIParserTest, LoraKeyAndHashForms) {
  EXPECT_EQ(stableswarmui::loraKey("My.safetensorsLora.pt"), "mylora");
  EXPECT_EQ(stableswarmui::loraKey("a.SAFETENSORS"), "a.safetensors");  // removal is case-sensitive
  EXPECT_EQ(stableswarmui::loraKey("..ptpt"), ".pt");                   // one left-to-right pass
  EXPECT_EQ(stableswarmui::hashForm(" 0x12 0xAB\n"), "12 AB");
  EXPECT_EQ(stableswarmui::hashForm("00xx"), "0x");
}

TEST(StableSwarmUIParserTest, StringValueForms) {
  struct Case {
    json value;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {" text ", "text"},
      {"   ", std::nullopt},
      {42, "42"},
      {-1, "-1"},
      {0.5, "0.5"},
      {true, "true"},
      {nullptr, std::nullopt},
      {json::array({1, "a"}), "[1,\"a\"]"},
  };
  for (const Case& c : cases) EXPECT_EQ(stableswarmui::stringValue(&c.value), c.expected) << c.value.dump();
  EXPECT_EQ(stableswarmui::stringValue(nullptr), std::nullopt);
}

}  // namespace
}  // namespace lorvex
