#include "metadata/comfyui_workflow_parser.h"

#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "metadata/comfyui_prompt_text_resolver.h"
#include "metadata/generation_metadata_parser.h"
#include "metadata/provider_parsers.h"

namespace lorvex {
namespace {

using comfyui::ComfyUIExtraction;
using nlohmann::json;

PNGTextMetadata metadataWith(const std::map<std::string, std::string>& chunks,
                             std::optional<std::string> software = std::nullopt,
                             std::optional<std::string> source = std::nullopt) {
  PNGTextMetadata metadata;
  metadata.software = std::move(software);
  metadata.source = std::move(source);
  for (const auto& [keyword, value] : chunks)
    metadata.textChunkEntries.push_back({keyword, value, 0, "tEXt"});
  metadata.textChunks = chunks;
  return metadata;
}

std::optional<GenerationMetadata> parse(const PNGTextMetadata& metadata) {
  return ComfyUIGenerationMetadataProviderParser{}.parse(
      metadata, GenerationMetadataParser::rawTextChunkPayloads(metadata));
}

// A sampler "3" whose positive input links to "6" and negative to "7".
const char* const kSimpleGraph = R"({
  "3": {"class_type": "KSampler", "inputs": {"seed": 42, "steps": 20, "cfg": 7.5, "sampler_name": "euler",
        "model": ["4", 0], "positive": ["6", 0], "negative": ["7", 0]}},
  "4": {"class_type": "CheckpointLoaderSimple", "inputs": {"ckpt_name": " model.safetensors "}},
  "6": {"class_type": "CLIPTextEncode", "inputs": {"text": "  a cat  ", "clip": ["4", 1]}},
  "7": {"class_type": "CLIPTextEncode", "inputs": {"text": "blurry\n"}}
})";

TEST(ComfyUIWorkflowParserTest, SignatureComesFromWorkflowChunkOrSoftwareOrSource) {
  struct Case {
    std::map<std::string, std::string> chunks;
    std::optional<std::string> software, source;
    bool expected;
  };
  const Case cases[] = {
      {{{"workflow", ""}}, std::nullopt, std::nullopt, true},  // an empty workflow still counts
      {{}, "comfyui", std::nullopt, true},
      {{}, "Made with COMFYUI v1", std::nullopt, true},
      {{}, std::nullopt, "ComfyUI", true},
      {{}, "Comfy UI", "NovelAI", false},
      // Only ASCII letters fold: a dotted capital I is not an "I".
      {{}, "COMFYU\u0130", std::nullopt, false},
      {{{"Workflow", "{}"}}, std::nullopt, std::nullopt, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(comfyui::hasComfyUISignature(metadataWith(c.chunks, c.software, c.source)), c.expected)
        << c.software.value_or("-") << " / " << c.source.value_or("-");
  }
}

TEST(ComfyUIWorkflowParserTest, AcceptsDeclinesAndWarnsByChunksAndSignature) {
  const std::optional<std::string_view> noWarning;
  const std::string loaderOnly = R"({"1": {"class_type": "LoraLoader", "inputs": {}}})";
  const std::string unknownClasses = R"({"1": {"class_type": "SaveImage", "inputs": {"images": ["2", 0]}}})";
  const std::string recognisedWithoutInputs = R"({"1": {"class_type": "KSampler"}})";
  const std::string lowercaseSampler = R"({"1": {"class_type": "ksampler", "inputs": {}}})";
  struct Case {
    const char* name;
    std::map<std::string, std::string> chunks;
    std::optional<std::string> software;
    bool accepted;
    std::optional<std::string_view> warning;
  };
  const Case cases[] = {
      {"workflow only", {{"workflow", "{}"}}, std::nullopt, true, comfyui::kPromptUnavailableWarning},
      {"software only", {}, "ComfyUI", true, comfyui::kPromptUnavailableWarning},
      {"plain text prompt", {{"prompt", "a cat"}}, "comfyui", true, comfyui::kPromptUndecodableWarning},
      {"array prompt", {{"prompt", "[1,2]"}}, "COMFYUI", true, comfyui::kPromptUndecodableWarning},
      {"empty prompt",
       {{"prompt", ""}, {"workflow", "{}"}},
       std::nullopt,
       true,
       comfyui::kPromptUndecodableWarning},
      {"plain text, unsigned", {{"prompt", "a cat"}}, std::nullopt, false, noWarning},
      {"array, unsigned", {{"prompt", "[1,2]"}}, std::nullopt, false, noWarning},
      {"no chunks, unsigned", {}, std::nullopt, false, noWarning},
      {"loader graph, unsigned",
       {{"prompt", loaderOnly}},
       std::nullopt,
       true,
       comfyui::kNoPositivePromptWarning},
      {"case-folded class, unsigned",
       {{"prompt", lowercaseSampler}},
       std::nullopt,
       true,
       comfyui::kNoPositivePromptWarning},
      {"unknown classes, unsigned", {{"prompt", unknownClasses}}, std::nullopt, false, noWarning},
      {"unknown classes, signed",
       {{"prompt", unknownClasses}, {"workflow", "{}"}},
       std::nullopt,
       true,
       comfyui::kNoPositivePromptWarning},
      {"node without inputs, unsigned",
       {{"prompt", recognisedWithoutInputs}},
       std::nullopt,
       false,
       noWarning},
      {"readable graph, unsigned", {{"prompt", kSimpleGraph}}, std::nullopt, true, noWarning},
      // StableSwarmUI stores the ComfyUI graph it ran beside its own, richer parameters.
      {"graph beside StableSwarmUI parameters",
       {{"prompt", kSimpleGraph}, {"parameters", R"({"sui_image_params": {"prompt": "a cat"}})"}},
       std::nullopt,
       false,
       noWarning},
      {"signed graph beside StableSwarmUI parameters",
       {{"prompt", kSimpleGraph}, {"workflow", "{}"}, {"parameters", R"({"sui_image_params": {}})"}},
       std::nullopt,
       true,
       noWarning},
      // Python's json module writes NaN for some inputs; the graph stays readable.
      {"NaN literal in the graph",
       {{"prompt", R"({"1": {"class_type": "KSampler", "inputs": {"is_changed": NaN, "positive": "x"}}})"}},
       "ComfyUI",
       true,
       comfyui::kNoPositivePromptWarning},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PNGTextMetadata metadata = metadataWith(c.chunks, c.software);
    auto record = parse(metadata);
    ASSERT_EQ(record.has_value(), c.accepted);
    if (!record) continue;
    EXPECT_EQ(record->parseWarning, c.warning ? std::optional<std::string>(*c.warning) : std::nullopt);
    EXPECT_EQ(record->rawPayloads, GenerationMetadataParser::rawTextChunkPayloads(metadata));
    EXPECT_EQ(record->rawTextChunks, metadata.textChunks);
  }
}

TEST(ComfyUIWorkflowParserTest, AnUnsignedGraphRefusedByTheReaderIsClaimedWithItsReason) {
  // A graph the JSON reader refuses (nesting, a number out of range) is still a graph: the record
  // says why it has no prompt, where plain text or a non-object stays no ComfyUI image.
  const std::string tooDeep = "{\"1\": " + std::string(600, '[') + std::string(600, ']') + "}";
  const std::string numberOutOfRange = R"({"1": {"class_type": "KSampler", "inputs": {"seed": 1e999}}})";
  const struct {
    const char* name;
    std::map<std::string, std::string> chunks;
    std::optional<std::string> warningStart;
  } cases[] = {
      {"nested too deep", {{"prompt", tooDeep}}, "Failed to decode ComfyUI prompt JSON: The JSON text nests"},
      {"number out of range", {{"prompt", numberOutOfRange}}, "Failed to decode ComfyUI prompt JSON: "},
      {"refused beside StableSwarmUI parameters",
       {{"prompt", tooDeep}, {"parameters", R"({"sui_image_params": {}})"}},
       std::nullopt},
      {"not JSON", {{"prompt", "{a cat"}}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto record = parse(metadataWith(c.chunks));
    ASSERT_EQ(record.has_value(), c.warningStart.has_value());
    if (!record) continue;
    EXPECT_EQ(record->provider->code, "comfyui");
    ASSERT_TRUE(record->parseWarning);
    EXPECT_TRUE(record->parseWarning->starts_with(*c.warningStart)) << *record->parseWarning;
    EXPECT_GT(record->parseWarning->size(), std::string_view(comfyui::kPromptRefusedWarningPrefix).size());
    EXPECT_FALSE(record->prompt);
  }
}

TEST(ComfyUIWorkflowParserTest, RecordCarriesTheExtractionAndTheChunks) {
  PNGTextMetadata metadata = metadataWith({{"prompt", kSimpleGraph}, {"workflow", "{\"nodes\": []}"}});
  metadata.commentJSON = "{\"note\": 1}";
  auto record = parse(metadata);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->provider, (GenerationMetadataProvider{"comfyui", "ComfyUI"}));
  EXPECT_EQ(record->format, (GenerationMetadataFormat{"comfyui_png_workflow", "ComfyUI PNG workflow"}));
  EXPECT_EQ(record->prompt, "a cat");
  EXPECT_EQ(record->negativePrompt, "blurry");
  EXPECT_EQ(record->software, "ComfyUI");
  EXPECT_EQ(record->source, "model.safetensors");
  EXPECT_EQ(record->seed, 42);
  EXPECT_EQ(record->steps, 20);
  EXPECT_EQ(record->scale, 7.5);
  EXPECT_EQ(record->sampler, "euler");
  EXPECT_EQ(record->rawCommentJSON, "{\"note\": 1}");
  EXPECT_FALSE(record->parseWarning);
  EXPECT_FALSE(record->generationTime);
  EXPECT_EQ(record->promptSegments,
            (std::vector<PromptTextSegment>{{"positive", false, "a cat"}, {"negative", true, "blurry"}}));
  EXPECT_EQ(record->generationParameters,
            (std::vector<GenerationParameter>{{"seed", 42, std::nullopt, std::nullopt},
                                              {"steps", 20, std::nullopt, std::nullopt},
                                              {"scale", std::nullopt, 7.5, std::nullopt},
                                              {"sampler", std::nullopt, std::nullopt, "euler"}}));
  EXPECT_EQ(record->modelUsages,
            (std::vector<GenerationModelUsage>{
                {"model.safetensors", "ComfyUI", "primary", std::nullopt, std::nullopt}}));
}

TEST(ComfyUIWorkflowParserTest, WorkflowOnlyRecordKeepsTheWorkflowAndTheSoftwareAsRead) {
  auto record = parse(metadataWith({{"workflow", "{\"nodes\": []}"}}));
  ASSERT_TRUE(record);
  EXPECT_FALSE(record->prompt);
  EXPECT_EQ(record->software, "ComfyUI");
  EXPECT_TRUE(record->modelUsages.empty());
  ASSERT_EQ(record->rawPayloads.size(), 1u);
  EXPECT_EQ(record->rawPayloads[0].key, "workflow");

  auto emptySoftware = parse(metadataWith({{"workflow", "{}"}}, std::string()));
  ASSERT_TRUE(emptySoftware);
  EXPECT_EQ(emptySoftware->software, "");
}

ComfyUIExtraction extractFrom(const std::string& text) {
  return comfyui::extract(json::parse(text));
}

// A graph whose sampler "1" takes the given inputs, plus the given extra nodes.
std::string samplerGraph(const std::string& samplerInputs, const std::string& extraNodes = "") {
  return R"({"1": {"class_type": "KSampler", "inputs": )" + samplerInputs + "}" +
         (extraNodes.empty() ? "" : ", " + extraNodes) + "}";
}

TEST(ComfyUIWorkflowParserTest, PromptTextResolution) {
  const std::string encoder6 = R"("6": {"class_type": "CLIPTextEncode", "inputs": {"text": "  a cat  "}})";
  struct Case {
    const char* name;
    std::string graph;
    std::optional<std::string> positive;
  };
  const Case cases[] = {
      {"literal text is trimmed", samplerGraph(R"({"positive": ["6", 0]})", encoder6), "a cat"},
      {"integer link id", samplerGraph(R"({"positive": [6, 0]})", encoder6), "a cat"},
      {"nested array link", samplerGraph(R"({"positive": [["6"], 0]})", encoder6), "a cat"},
      {"fractional link id", samplerGraph(R"({"positive": [6.5, 0]})", encoder6), std::nullopt},
      {"boolean link", samplerGraph(R"({"positive": [true, 0]})", R"("1": {})"), std::nullopt},
      {"empty link", samplerGraph(R"({"positive": []})", encoder6), std::nullopt},
      {"link to a missing node", samplerGraph(R"({"positive": ["8", 0]})", encoder6), std::nullopt},
      {"link to a non-object", samplerGraph(R"({"positive": ["6", 0]})", R"("6": "text")"), std::nullopt},
      {"guidance passes conditioning through",
       samplerGraph(
           R"({"positive": ["5", 0]})",
           R"("5": {"class_type": "FluxGuidance", "inputs": {"conditioning": ["6", 0]}}, )" + encoder6),
       "a cat"},
      {"guidance tries nothing else",
       samplerGraph(
           R"({"positive": ["5", 0]})",
           R"("5": {"class_type": "FluxGuidance", "inputs": {"text": "own", "conditioning": ["9", 0]}})"),
       std::nullopt},
      {"t5xxl when text is empty",
       samplerGraph(
           R"({"positive": ["6", 0]})",
           R"("6": {"class_type": "CLIPTextEncodeFlux", "inputs": {"text": "", "t5xxl": "t5 text"}})"),
       "t5 text"},
      {"wildcard populated text",
       samplerGraph(R"({"positive": ["5", 0]})",
                    R"("5": {"class_type": "ImpactWildcardProcessor",
                             "inputs": {"populated_text": " filled ", "text": "template"}})"),
       "filled"},
      {"blank wildcard falls back to its inputs",
       samplerGraph(R"({"positive": ["5", 0]})",
                    R"("5": {"class_type": "ImpactWildcardProcessor",
                             "inputs": {"populated_text": "  ", "wildcard_text": "w", "text": "template"}})"),
       "template"},
      {"earlier input's link wins over a later literal",
       samplerGraph(
           R"({"positive": ["5", 0]})",
           R"("5": {"class_type": "X", "inputs": {"text": ["6", 0], "prompt": "later"}}, )" + encoder6),
       "a cat"},
      {"dead link falls through to the next input",
       samplerGraph(R"({"positive": ["5", 0]})",
                    R"("5": {"class_type": "X", "inputs": {"text": ["9", 0], "string": "from string"}})"),
       "from string"},
      {"conditioning before positive before negative",
       samplerGraph(R"({"positive": ["5", 0]})",
                    R"("5": {"class_type": "C", "inputs": {"negative": ["7", 0], "positive": ["6", 0]}},
                       "7": {"class_type": "E", "inputs": {"text": "neg"}}, )" +
                        encoder6),
       "a cat"},
      {"integer literal is a link",
       samplerGraph(R"({"positive": ["5", 0]})",
                    R"("5": {"class_type": "Primitive", "inputs": {"value": 7}},
                                                    "7": {"class_type": "E", "inputs": {"text": "seven"}})"),
       "seven"},
      {"text in conditioning is a node id",
       samplerGraph(R"({"positive": ["5", 0]})",
                    R"("5": {"class_type": "C", "inputs": {"conditioning": "6"}}, )" + encoder6),
       "a cat"},
      {"two nodes linking each other",
       samplerGraph(R"({"positive": ["5", 0]})", R"("5": {"class_type": "E", "inputs": {"text": ["6", 0]}},
                                                    "6": {"class_type": "E", "inputs": {"text": ["5", 0]}})"),
       std::nullopt},
      {"self link",
       samplerGraph(R"({"positive": ["5", 0]})",
                    R"("5": {"class_type": "E", "inputs": {"conditioning": ["5", 0]}})"),
       std::nullopt},
      {"cycle cut on one branch, text on the next",
       samplerGraph(R"({"positive": ["5", 0]})",
                    R"("5": {"class_type": "E", "inputs": {"text": ["6", 0], "positive": ["7", 0]}},
                       "6": {"class_type": "E", "inputs": {"conditioning": ["5", 0]}},
                       "7": {"class_type": "E", "inputs": {"text": "found"}})"),
       "found"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(extractFrom(c.graph).positivePrompt, c.positive) << c.name;
  }
}

TEST(ComfyUIWorkflowParserTest, SharedEncoderGivesBothPrompts) {
  // Each prompt is resolved from a fresh start: a node seen for the positive prompt is walked
  // again for the negative one, and a node two branches share is found from either.
  const std::string graph =
      samplerGraph(R"({"positive": ["5", 0], "negative": ["6", 0]})",
                   R"("5": {"class_type": "Combine", "inputs": {"conditioning": ["6", 0]}},
                                            "6": {"class_type": "E", "inputs": {"text": "shared"}})");
  ComfyUIExtraction extraction = extractFrom(graph);
  EXPECT_EQ(extraction.positivePrompt, "shared");
  EXPECT_EQ(extraction.negativePrompt, "shared");
}

TEST(ComfyUIWorkflowParserTest, SamplerIsTheFirstKSamplerByIdInCodePointOrder) {
  struct Case {
    const char* name;
    std::string graph;
    std::optional<std::int64_t> seed;
  };
  const Case cases[] = {
      {"\"10\" before \"3\"",
       R"({"3": {"class_type": "KSampler", "inputs": {"seed": 3}},
           "10": {"class_type": "KSamplerAdvanced", "inputs": {"seed": 10}}})",
       10},
      {"\"3\" before \"9\"",
       R"({"9": {"class_type": "KSampler", "inputs": {"seed": 9}},
           "3": {"class_type": "KSampler", "inputs": {"seed": 3}}})",
       3},
      {"lower-case ksampler is not a sampler",
       R"({"1": {"class_type": "ksampler", "inputs": {"seed": 1}},
           "2": {"class_type": "MyKSamplerNode", "inputs": {"seed": 2}}})",
       2},
      {"sampler without inputs object", R"({"1": {"class_type": "KSampler", "inputs": [1]}})", std::nullopt},
      {"no sampler", R"({"1": {"class_type": "CLIPTextEncode", "inputs": {"seed": 1}}})", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(extractFrom(c.graph).seed, c.seed) << c.name;
  }
}

TEST(ComfyUIWorkflowParserTest, SamplerSettingsAndCheckpoint) {
  struct Case {
    const char* name;
    std::string graph;
    ComfyUIExtraction expected;
  };
  const std::string checkpoint4 =
      R"("4": {"class_type": "CheckpointLoaderSimple", "inputs": {"ckpt_name": " m.ckpt "}})";
  const Case cases[] = {
      {"numbers as texts",
       samplerGraph(R"({"seed": "42", "steps": "+20", "cfg": "7.5"})"),
       {.seed = 42, .steps = 20, .cfg = 7.5}},
      {"fraction in an integer text", samplerGraph(R"({"seed": "42.5", "cfg": 7})"), {.cfg = 7.0}},
      {"floating-point seed truncates",
       samplerGraph(R"({"seed": 42.9, "steps": -3.5})"),
       {.seed = 42, .steps = -3}},
      // Seeds may be any 64-bit unsigned value; beyond int64 they are absent, never wrapped.
      {"seed beyond int64",
       samplerGraph(R"({"seed": 18446744073709551615, "steps": 9223372036854775807})"),
       {.steps = 9223372036854775807}},
      {"huge floating-point seed", samplerGraph(R"({"seed": 1e300, "cfg": "nan"})"), {}},
      {"empty sampler name is kept", samplerGraph(R"({"sampler_name": ""})"), {.sampler = ""}},
      {"sampler name is not trimmed", samplerGraph(R"({"sampler_name": " euler "})"), {.sampler = " euler "}},
      {"numeric sampler name", samplerGraph(R"({"sampler_name": 3})"), {}},
      {"checkpoint one hop", samplerGraph(R"({"model": ["4", 0]})", checkpoint4), {.model = "m.ckpt"}},
      {"checkpoint by integer id", samplerGraph(R"({"model": [4, 0]})", checkpoint4), {.model = "m.ckpt"}},
      {"no model behind a LoRA loader",
       samplerGraph(
           R"({"model": ["5", 0]})",
           R"("5": {"class_type": "LoraLoader", "inputs": {"model": ["4", 0], "lora_name": "x"}}, )" +
               checkpoint4),
       {}},
      {"blank checkpoint name",
       samplerGraph(R"({"model": ["4", 0]})", R"("4": {"class_type": "C", "inputs": {"ckpt_name": "  "}})"),
       {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(extractFrom(c.graph), c.expected) << c.name;
  }
}

// Links "conditioning" from node `from` to node `to`.
void link(json& graph, const std::string& from, const std::string& input, const std::string& to) {
  graph[from]["class_type"] = "Node";
  graph[from]["inputs"][input] = json::array({to, 0});
}

TEST(ComfyUIWorkflowParserTest, LongChainsResolveWithoutDeepRecursion) {
  constexpr int kLength = 100'000;
  json graph = json::object();
  graph["s"] = {{"class_type", "KSampler"}, {"inputs", {{"positive", {"0", 0}}, {"negative", {"0", 0}}}}};
  for (int i = 0; i < kLength; ++i) link(graph, std::to_string(i), "conditioning", std::to_string(i + 1));
  graph[std::to_string(kLength)] = {{"class_type", "CLIPTextEncode"}, {"inputs", {{"text", "at the end"}}}};
  EXPECT_EQ(comfyui::extract(graph).positivePrompt, "at the end");

  // The same chain closed into a ring holds no text and must still end.
  link(graph, std::to_string(kLength), "conditioning", "0");
  graph[std::to_string(kLength)]["inputs"].erase("text");
  auto record = parse(metadataWith({{"prompt", graph.dump()}}, "ComfyUI"));
  ASSERT_TRUE(record);
  EXPECT_FALSE(record->prompt);
  EXPECT_EQ(record->parseWarning, comfyui::kNoPositivePromptWarning);
}

TEST(ComfyUIWorkflowParserTest, GraphsWithExponentiallyManyPathsResolveInLinearWork) {
  // 60 layers of two nodes, each linking to both nodes of the next layer: 2^60 paths to the bottom.
  constexpr int kLayers = 60;
  auto name = [](int layer, char side) { return std::to_string(layer) + side; };
  auto ladder = [&](bool textAtBottom) {
    json graph = json::object();
    graph["s"] = {{"class_type", "KSampler"}, {"inputs", {{"positive", {name(0, 'a'), 0}}}}};
    for (int layer = 0; layer < kLayers; ++layer) {
      for (char side : {'a', 'b'}) {
        link(graph, name(layer, side), "conditioning", name(layer + 1, 'a'));
        link(graph, name(layer, side), "positive", name(layer + 1, 'b'));
      }
    }
    graph[name(kLayers, 'a')] = {{"class_type", "Empty"}, {"inputs", json::object()}};
    graph[name(kLayers, 'b')] = {{"class_type", "CLIPTextEncode"},
                                 {"inputs", {{"text", textAtBottom ? "bottom" : " "}}}};
    return graph;
  };
  EXPECT_EQ(comfyui::extract(ladder(true)).positivePrompt, "bottom");
  EXPECT_EQ(comfyui::extract(ladder(false)).positivePrompt, std::nullopt);
}

TEST(ComfyUIWorkflowParserTest, LinkedNodeIDForms) {
  struct Case {
    json input;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"12", "12"},
      {12, "12"},
      {json::array({json::array({"7"}), 0}), "7"},
      {18446744073709551615ull, "18446744073709551615"},
      {-3, "-3"},
      {6.0, "6"},
      {6.5, std::nullopt},
      {1e300, std::nullopt},
      {true, std::nullopt},
      {nullptr, std::nullopt},
      {json::object(), std::nullopt},
      {json::array(), std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(comfyui::linkedNodeID(&c.input), c.expected) << c.input.dump();
  EXPECT_EQ(comfyui::linkedNodeID(nullptr), std::nullopt);
}

}  // namespace
}  // namespace lorvex
