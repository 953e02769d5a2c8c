#include <gtest/gtest.h>

#include <memory>

#include "metadata/json_document.h"
#include "metadata/provider_parsers.h"
#include "text_metadata_fixture.h"

namespace lorvex {
namespace {

using testing::textMetadata;

std::optional<GenerationMetadata> parseNovelAI(const PNGTextMetadata& metadata) {
  const NovelAIGenerationMetadataProviderParser parser{std::make_shared<const JSONDecoder>()};
  return parser.parse(metadata,
                      {RawMetadataPayload{"png_text", "Comment", 0, "raw", "observed", std::nullopt}});
}

// A NovelAI image with the given comment and description.
std::optional<GenerationMetadata> parseComment(const std::string& comment,
                                               const std::string& description = "the description") {
  return parseNovelAI(
      textMetadata({{"Software", "NovelAI"}, {"Description", description}, {"Comment", comment}}));
}

TEST(NovelAIParser, RecognisesSoftwareOrSourceExactly) {
  struct Case {
    std::optional<std::string> software;
    std::optional<std::string> source;
    bool recognised;
  };
  const std::vector<Case> cases = {
      {"NovelAI", std::nullopt, true},
      {"novelai", std::nullopt, false},
      {std::nullopt, "NovelAI Diffusion V4.5 4BDE2A90", true},
      {"ComfyUI", "NovelAI Diffusion V3", true},
      {std::nullopt, " NovelAI Diffusion", false},
      {"NovelAI ", std::nullopt, false},
      {std::nullopt, std::nullopt, false},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<std::string, std::string>> chunks = {{"Comment", "{}"}};
    if (c.software) chunks.emplace_back("Software", *c.software);
    if (c.source) chunks.emplace_back("Source", *c.source);
    EXPECT_EQ(parseNovelAI(textMetadata(chunks)).has_value(), c.recognised)
        << c.software.value_or("-") << " / " << c.source.value_or("-");
  }
}

TEST(NovelAIParser, DecodesTheCommentIntoTheRecord) {
  const std::string comment = R"({"prompt": "1girl", "uc": "lowres", "steps": 28, "scale": 5, "seed": 42,
    "width": 832, "height": 1216, "sampler": "k_euler_ancestral", "noise_schedule": "karras",
    "request_type": "PromptGenerateRequest", "version": 1, "signed_hash": "sig", "unknown_key": [1, 2]})";
  const PNGTextMetadata metadata = textMetadata({{"Title", "AI generated image"},
                                                 {"Software", "NovelAI"},
                                                 {"Source", "NovelAI Diffusion V4.5 4BDE2A90"},
                                                 {"Generation time", "3.5"},
                                                 {"Comment", comment}});
  const std::optional<GenerationMetadata> record = parseNovelAI(metadata);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->provider, (GenerationMetadataProvider{"novelai", "NovelAI"}));
  EXPECT_EQ(record->format, (GenerationMetadataFormat{"novelai_png_text", "NovelAI PNG text chunks"}));
  EXPECT_EQ(record->title, "AI generated image");
  EXPECT_EQ(record->prompt, "1girl");
  EXPECT_EQ(record->negativePrompt, "lowres");
  EXPECT_EQ(record->generationTime, 3.5);
  EXPECT_EQ(record->seed, 42);
  EXPECT_EQ(record->steps, 28);
  EXPECT_EQ(record->scale, 5.0);
  EXPECT_EQ(record->width, 832);
  EXPECT_EQ(record->height, 1216);
  EXPECT_EQ(record->sampler, "k_euler_ancestral");
  EXPECT_EQ(record->noiseSchedule, "karras");
  EXPECT_EQ(record->requestType, "PromptGenerateRequest");
  EXPECT_EQ(record->version, 1);
  EXPECT_EQ(record->signedHash, "sig");
  EXPECT_FALSE(record->modelHash);
  EXPECT_EQ(record->rawCommentJSON, comment);
  EXPECT_FALSE(record->parseWarning);
  EXPECT_EQ(record->promptSegments,
            (std::vector<PromptTextSegment>{{"positive", false, "1girl"}, {"negative", true, "lowres"}}));
  std::vector<std::string> parameterKeys;
  for (const GenerationParameter& parameter : record->generationParameters)
    parameterKeys.push_back(parameter.key);
  EXPECT_EQ(parameterKeys, (std::vector<std::string>{"seed", "steps", "scale", "sampler", "noise_schedule",
                                                     "request_type", "version"}));
  EXPECT_EQ(record->modelUsages,
            (std::vector<GenerationModelUsage>{GenerationModelUsage{
                "NovelAI Diffusion V4.5 4BDE2A90", "NovelAI", "primary", std::nullopt, std::nullopt}}));
  EXPECT_EQ(record->rawPayloads.size(), 1u);
  EXPECT_EQ(record->rawTextChunks, metadata.textChunks);
}

TEST(NovelAIParser, WithoutCommentTheImageIsClaimedAsUnknown) {
  const PNGTextMetadata metadata =
      textMetadata({{"Software", "NovelAI"}, {"Description", "d"}, {"parameters", "a cat\nSteps: 20"}});
  const std::optional<GenerationMetadata> record = parseNovelAI(metadata);
  ASSERT_TRUE(record);
  EXPECT_EQ(*record, UnknownGenerationMetadataProviderParser{}.parse(metadata, record->rawPayloads));
  EXPECT_EQ(record->provider->code, "unknown");
}

TEST(NovelAIParser, AnUndecodableCommentGivesTheWarningRecord) {
  // Each of these breaks a typing rule somewhere, so nothing of the comment is used.
  const std::vector<std::string> comments = {
      "not json",
      "[1, 2]",
      R"({"prompt": "p", "seed": "42"})",
      R"({"prompt": "p", "steps": 28.5})",
      R"({"prompt": "p", "seed": 9223372036854775808})",
      R"({"prompt": 5})",
      R"({"prompt": "p", "sampler": true})",
      R"({"prompt": "p", "scale": "5"})",
      R"({"prompt": "p", "v4_prompt": []})",
      R"({"prompt": "p", "v4_prompt": {"caption": {"char_captions": {}}}})",
      R"({"prompt": "p", "v4_prompt": {"caption": {"char_captions": [{"centers": [{"x": 0.5}]}]}}})",
      R"({"prompt": "p", "v4_prompt": {"caption": {"char_captions": [{"centers": [{"x": 0.5, "y": null}]}]}}})",
      R"({"prompt": "p", "v4_negative_prompt": {"caption": {"base_caption": 1}}})",
  };
  for (const std::string& comment : comments) {
    const std::optional<GenerationMetadata> record =
        parseNovelAI(textMetadata({{"Software", "NovelAI"},
                                   {"Source", "NovelAI Diffusion V3"},
                                   {"Description", "the description"},
                                   {"Comment", comment}}));
    ASSERT_TRUE(record) << comment;
    EXPECT_EQ(record->provider->code, "novelai") << comment;
    EXPECT_EQ(record->format->code, "novelai_png_text") << comment;
    EXPECT_EQ(record->prompt, "the description") << comment;
    EXPECT_EQ(record->rawCommentJSON, comment);
    ASSERT_TRUE(record->parseWarning) << comment;
    EXPECT_TRUE(record->parseWarning->starts_with("Failed to decode NovelAI Comment JSON: ")) << comment;
    EXPECT_GT(record->parseWarning->size(), 40u) << "the reason follows the prefix: " << comment;
    EXPECT_FALSE(record->seed);
    EXPECT_FALSE(record->steps);
    EXPECT_FALSE(record->negativePrompt);
    EXPECT_TRUE(record->generationParameters.empty());
    EXPECT_EQ(record->promptSegments,
              (std::vector<PromptTextSegment>{{"positive", false, "the description"}}));
    EXPECT_EQ(record->modelUsages.size(), 1u);
  }
}

TEST(NovelAIParser, WarningNamesWhereDecodingFailed) {
  const auto record = parseComment(R"({"seed": "42"})");
  EXPECT_EQ(record->parseWarning,
            "Failed to decode NovelAI Comment JSON: Expected an integer at \"seed\" but found a string.");
  const auto nested =
      parseComment(R"({"v4_prompt": {"caption": {"char_captions": [{}, {"centers": [{"x": 1}]}]}}})");
  EXPECT_EQ(nested->parseWarning,
            "Failed to decode NovelAI Comment JSON: No value for the required key "
            "\"v4_prompt.caption.char_captions[1].centers[0].y\".");
}

TEST(NovelAIParser, PromptFallsBackToTheDescriptionOnlyWhenAbsent) {
  EXPECT_EQ(parseComment(R"({"uc": "x"})")->prompt, "the description");
  EXPECT_EQ(parseComment(R"({"prompt": null})")->prompt, "the description");
  const auto empty = parseComment(R"({"prompt": ""})");
  EXPECT_EQ(empty->prompt, "");
  EXPECT_TRUE(empty->promptSegments.empty());
}

TEST(NovelAIParser, NullsAndWholeNumbersAreAccepted) {
  const auto record =
      parseComment(R"({"seed": null, "steps": 28.0, "scale": 5.5, "version": 2e0, "uc": null})");
  ASSERT_FALSE(record->parseWarning) << *record->parseWarning;
  EXPECT_FALSE(record->seed);
  EXPECT_EQ(record->steps, 28);
  EXPECT_EQ(record->version, 2);
  EXPECT_FALSE(record->negativePrompt);
}

TEST(NovelAIParser, ReadsV4CaptionsAsWritten) {
  const auto record = parseComment(R"({"prompt": "p",
    "v4_prompt": {"caption": {"base_caption": "scene", "char_captions": [
      {"char_caption": "girl", "centers": [{"x": 0.5, "y": 0.5}, {"x": 0.1, "y": 0.9}]},
      {"centers": [{"x": 0.2, "y": 0.2}]},
      {"char_caption": "", "centers": null},
      {"char_caption": " boy "}]}},
    "v4_negative_prompt": {"caption": {"base_caption": "bad", "char_captions": null}}})");
  ASSERT_FALSE(record->parseWarning) << *record->parseWarning;
  EXPECT_EQ(record->baseCaption, "scene");
  EXPECT_EQ(record->negativeBaseCaption, "bad");
  EXPECT_EQ(record->characterCaptions,
            (std::vector<CharacterCaption>{{"girl", {{0.5, 0.5}, {0.1, 0.9}}}, {"", {}}, {" boy ", {}}}));
  EXPECT_TRUE(record->negativeCharacterCaptions.empty());
  EXPECT_EQ(record->promptSegments,
            (std::vector<PromptTextSegment>{
                {"positive", false, "p"}, {"base_caption", false, "scene"}, {"base_caption", true, "bad"}}));

  for (const char* comment :
       {R"({"v4_prompt": {"caption": null}})", R"({"v4_prompt": {}})", R"({"v4_prompt": null})"}) {
    const auto bare = parseComment(comment);
    EXPECT_FALSE(bare->parseWarning) << comment;
    EXPECT_FALSE(bare->baseCaption) << comment;
    EXPECT_TRUE(bare->characterCaptions.empty()) << comment;
  }
}

TEST(NovelAIParser, SourceUsageKeepsTheSourceUntrimmed) {
  const auto blank =
      parseNovelAI(textMetadata({{"Software", "NovelAI"}, {"Source", "  "}, {"Comment", "{}"}}));
  EXPECT_TRUE(blank->modelUsages.empty());
  const auto model =
      parseNovelAI(textMetadata({{"Source", "NovelAI Model V1 ABCD1234 "}, {"Comment", R"({"width": 5})"}}));
  EXPECT_EQ(model->modelUsages,
            (std::vector<GenerationModelUsage>{GenerationModelUsage{"NovelAI Model V1 ABCD1234 ", "NovelAI",
                                                                    "primary", std::nullopt, std::nullopt}}));
  EXPECT_EQ(model->width, 5);
  EXPECT_TRUE(model->generationParameters.empty());  // width and height are not parameters
}

TEST(UnknownSourceParser, MovesTheGenericTextsIntoTheRecord) {
  const PNGTextMetadata metadata = textMetadata({{"Title", "t"},
                                                 {"Description", "a cat"},
                                                 {"Software", "Tool"},
                                                 {"Source", " modelX "},
                                                 {"Generation time", "2"},
                                                 {"Comment", R"({"prompt": "x"})"}});
  const std::vector<RawMetadataPayload> payloads = {
      RawMetadataPayload{"png_text", "Title", 0, "t", "observed", std::nullopt}};
  const GenerationMetadata record = UnknownGenerationMetadataProviderParser{}.parse(metadata, payloads);
  GenerationMetadata expected;
  expected.provider = GenerationMetadataProvider{"unknown", "Unknown"};
  expected.title = "t";
  expected.prompt = "a cat";
  expected.software = "Tool";
  expected.source = " modelX ";
  expected.generationTime = 2.0;
  expected.promptSegments = {{"positive", false, "a cat"}};
  expected.modelUsages = {GenerationModelUsage{" modelX ", "Unknown", "primary", std::nullopt, std::nullopt}};
  expected.rawPayloads = payloads;
  expected.rawTextChunks = metadata.textChunks;
  EXPECT_EQ(record, expected);
}

TEST(UnknownSourceParser, BlankTextsGiveNoSegmentOrUsage) {
  const GenerationMetadata record = UnknownGenerationMetadataProviderParser{}.parse(
      textMetadata({{"Description", "  "}, {"Source", "\n"}}), {});
  EXPECT_EQ(record.prompt, "  ");
  EXPECT_TRUE(record.promptSegments.empty());
  EXPECT_TRUE(record.modelUsages.empty());
}

TEST(UnknownSourceParser, WithoutTextChunksThereIsNoProvider) {
  PNGTextMetadata metadata;
  metadata.source = "entries without a map";  // only the map decides
  const GenerationMetadata record = UnknownGenerationMetadataProviderParser{}.parse(metadata, {});
  EXPECT_FALSE(record.provider);
  ASSERT_EQ(record.modelUsages.size(), 1u);
  EXPECT_FALSE(record.modelUsages[0].provider);
}

}  // namespace
}  // namespace lorvex
