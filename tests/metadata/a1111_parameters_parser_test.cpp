#include "metadata/a1111_parameters_parser.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "metadata/generation_metadata_parser.h"
#include "metadata/provider_parsers.h"

namespace lorvex {
namespace {

using a1111::ParameterMap;

std::optional<GenerationMetadata> parseParameters(const std::string& text,
                                                  std::optional<std::string> software = std::nullopt) {
  PNGTextMetadata metadata;
  metadata.software = std::move(software);
  metadata.textChunkEntries.push_back({"parameters", text, 0, "tEXt"});
  metadata.textChunks["parameters"] = text;
  return A1111GenerationMetadataProviderParser{}.parse(
      metadata, GenerationMetadataParser::rawTextChunkPayloads(metadata));
}

GenerationParameter integerParameter(const char* key, std::int64_t value) {
  return {key, value, {}, {}};
}
GenerationParameter realParameter(const char* key, double value) {
  return {key, {}, value, {}};
}
GenerationParameter textParameter(const char* key, const char* value) {
  return {key, {}, {}, value};
}

TEST(A1111ParametersParserTest, ReadsTheCompleteThreePartText) {
  auto record = parseParameters(
      "masterpiece, 1girl\nNegative prompt: lowres, bad hands\n"
      "Steps: 20, Sampler: Euler a, CFG scale: 7, Seed: 42, Size: 512x768, Model hash: abc123, Model: "
      "modelA, "
      "Clip skip: 2");
  ASSERT_TRUE(record);
  EXPECT_EQ(record->provider, (GenerationMetadataProvider{"automatic1111", "AUTOMATIC1111 / SD WebUI"}));
  EXPECT_EQ(record->format, (GenerationMetadataFormat{"a1111_png_parameters", "A1111 PNG parameters"}));
  EXPECT_EQ(record->prompt, "masterpiece, 1girl");
  EXPECT_EQ(record->negativePrompt, "lowres, bad hands");
  EXPECT_EQ(record->steps, 20);
  EXPECT_EQ(record->sampler, "Euler a");
  EXPECT_EQ(record->scale, 7.0);
  EXPECT_EQ(record->seed, 42);
  EXPECT_EQ(record->width, 512);
  EXPECT_EQ(record->height, 768);
  EXPECT_EQ(record->source, "modelA");
  EXPECT_EQ(record->modelHash, "abc123");
  EXPECT_FALSE(record->software);
  EXPECT_FALSE(record->parseWarning);
  EXPECT_EQ(record->modelUsages, (std::vector<GenerationModelUsage>{{"modelA", "AUTOMATIC1111 / SD WebUI",
                                                                     "primary", std::nullopt, "abc123"}}));
  EXPECT_EQ(record->generationParameters,
            (std::vector<GenerationParameter>{
                integerParameter("seed", 42), integerParameter("steps", 20), realParameter("scale", 7.0),
                textParameter("sampler", "Euler a"), textParameter("model", "modelA"),
                textParameter("model_hash", "abc123")}));
  EXPECT_EQ(record->promptSegments,
            (std::vector<PromptTextSegment>{{"positive", false, "masterpiece, 1girl"},
                                            {"negative", true, "lowres, bad hands"}}));
  ASSERT_EQ(record->rawPayloads.size(), 1u);
  EXPECT_EQ(record->rawTextChunks.at("parameters").substr(0, 11), "masterpiece");
}

TEST(A1111ParametersParserTest, AcceptsOnlyPlainTextThatYieldsAPromptOrAParameter) {
  struct Case {
    const char* text;
    bool accepted;
  };
  const Case cases[] = {
      {"", false},
      {" \n\t ", false},
      {" {\"prompt\": \"a cat\"} ", false},
      {"[1, 2]", false},
      {"Negative prompt: x", false},
      {"Negative prompt: x\nnot a pair", false},  // the second line is still negative
      {"a cat", true},
      {"Steps: 20", true},
      {"{masterpiece}, 1girl", true},  // braces, but not JSON
      {"[cat:dog:0.5]", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseParameters(c.text).has_value(), c.accepted) << c.text;
  }
}

TEST(A1111ParametersParserTest, SplitsPromptNegativePromptAndParameterLine) {
  struct Case {
    const char* name;
    std::string text;
    std::optional<std::string> prompt, negative;
    ParameterMap parameters;
  };
  const Case cases[] = {
      {"prompt only", "a cat\n\n", "a cat", std::nullopt, {}},
      {"parameter line only",
       "Steps: 5, Seed: 1",
       std::nullopt,
       std::nullopt,
       {{"Steps", "5"}, {"Seed", "1"}}},
      {"multi-line prompt keeps inner blank lines",
       "\n line one\n\nline two \n",
       "line one\n\nline two",
       std::nullopt,
       {}},
      {"negative continues untrimmed until Steps",
       "p\nNegative prompt:\t bad \n  worse  \nSteps: 1\nafter",
       "p\nafter",
       "bad\n  worse",
       {{"Steps", "1"}}},
      {"line after Steps goes back to the prompt", "p\nSteps: 1\nq", "p\nq", std::nullopt, {{"Steps", "1"}}},
      {"later Steps line replaces the earlier",
       "Steps: 1, Seed: 3\nSteps: 2",
       std::nullopt,
       std::nullopt,
       {{"Steps", "2"}}},
      {"prefixes are case-sensitive and exact",
       "negative prompt: x\nSteps:1\n Steps: 2",
       "negative prompt: x\nSteps:1\n Steps: 2",
       std::nullopt,
       {}},
      // Several A1111 forks end lines with CR LF: the lines are still told apart.
      {"CR LF line ends",
       "a cat\r\nNegative prompt: dog\r\nSteps: 20, Seed: 7\r\n",
       "a cat",
       "dog",
       {{"Steps", "20"}, {"Seed", "7"}}},
      {"a lone CR is not a line end", "a\rNegative prompt: b", "a\rNegative prompt: b", std::nullopt, {}},
      // A combining mark joins the character before it: the line no longer begins with the prefix.
      {"Steps prefix ending in a marked space",
       "a\nSteps: \xCC\x81"
       "20",
       "a\nSteps: \xCC\x81"
       "20",
       std::nullopt,
       {}},
      {"Negative prefix ending in a marked colon",
       "a\nNegative prompt:\xCC\x81 b",
       "a\nNegative prompt:\xCC\x81 b",
       std::nullopt,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    a1111::ParameterText split = a1111::splitParameterText(c.text);
    EXPECT_EQ(split.prompt, c.prompt);
    EXPECT_EQ(split.negativePrompt, c.negative);
    EXPECT_EQ(split.parameters, c.parameters);
  }
}

TEST(A1111ParametersParserTest, ParameterLineCutsAtEveryCommaAndTheFirstInnerColon) {
  struct Case {
    std::string line;
    ParameterMap expected;
  };
  const Case cases[] = {
      {"Steps: 20, Sampler: Euler a", {{"Steps", "20"}, {"Sampler", "Euler a"}}},
      // Quotes give no protection against commas; only the value's outer quotes are stripped.
      {"Lora hashes: \"a: 1, b: 2\"", {{"Lora hashes", "a: 1"}, {"b", "2"}}},
      {"\"Key\": \"\"v\"\"", {{"\"Key\"", "v"}}},
      {"Time: 12:30:45", {{"Time", "12:30:45"}}},
      {":a:b", {{":a", "b"}}},
      {"::", {}},
      {"no colon, Sampler:, Seed:  , : x", {{"Seed", ""}}},
      {" , ,, Seed: 1,, Seed: 2 ", {{"Seed", "2"}}},
      {"Model: \"\"", {{"Model", ""}}},
      {"", {}},
      // A comma or colon followed by a combining mark is another character.
      {"Seed: 1,\xCC\x81 Steps: 2", {{"Seed", "1,\xCC\x81 Steps: 2"}}},
      {"Seed:\xCC\x81"
       "1, Steps: 2",
       {{"Steps", "2"}}},
      {"Caf\xC3\xA9: 1, \xE4\xBA\x94: 2", {{"Caf\xC3\xA9", "1"}, {"\xE4\xBA\x94", "2"}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(a1111::parseParameterLine(c.line), c.expected) << c.line;
  }
}

TEST(A1111ParametersParserTest, SizeIsTwoIntegersAroundX) {
  struct Case {
    const char* text;
    std::optional<a1111::ImageSize> expected;
  };
  const Case cases[] = {
      {"512x768", a1111::ImageSize{512, 768}},
      {"640 X 960", a1111::ImageSize{640, 960}},
      {"512xx768", a1111::ImageSize{512, 768}},
      {"x512x768x", a1111::ImageSize{512, 768}},
      {"512x", std::nullopt},
      {"512x768x2", std::nullopt},
      {"512\tx768", std::nullopt},
      {"5.5x7", std::nullopt},
      {"", std::nullopt},
      {"99999999999999999999x1", std::nullopt},
      // Each side is a pixel count of 1 to 2^31 - 1; one side out of range drops both.
      {"999999999999x-5", std::nullopt},
      {"512x0", std::nullopt},
      {"0x512", std::nullopt},
      {"-512x768", std::nullopt},
      {"2147483648x1", std::nullopt},
      {"1x2147483648", std::nullopt},
      {"2147483647x1", a1111::ImageSize{2147483647, 1}},
      {"1x+7", a1111::ImageSize{1, 7}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(a1111::parseSize(c.text), c.expected) << c.text;
  }
}

TEST(A1111ParametersParserTest, NumbersReadStrictlyOrNotAtAll) {
  struct Case {
    const char* line;
    std::optional<std::int64_t> seed;
    std::optional<double> scale;
  };
  const Case cases[] = {
      {"Seed: 12.5, CFG scale: seven", std::nullopt, std::nullopt},
      {"Seed: 1e3, CFG scale: 1e1", std::nullopt, 10.0},
      {"Seed: -1, CFG scale: 7", -1, 7.0},
      {"Seed: +7, CFG scale: 4.5", 7, 4.5},
      {"Seed: 18446744073709551615, CFG scale: inf", std::nullopt, std::nullopt},
      {"Seed: 0x10, CFG scale: 1,5", std::nullopt, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    auto record = parseParameters(std::string("p\nSteps: 1, ") + c.line);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->seed, c.seed);
    EXPECT_EQ(record->scale, c.scale);
    const auto& parameters = record->generationParameters;
    EXPECT_EQ(std::count_if(parameters.begin(), parameters.end(), [](auto& p) { return p.key == "seed"; }),
              c.seed ? 1 : 0);
    EXPECT_EQ(std::count_if(parameters.begin(), parameters.end(), [](auto& p) { return p.key == "scale"; }),
              c.scale ? 1 : 0);
  }
}

TEST(A1111ParametersParserTest, LoraTagsOfThePromptBecomeUsages) {
  auto lora = [](const char* name, std::optional<double> weight) {
    return GenerationModelUsage{name, "AUTOMATIC1111 / SD WebUI", "lora", weight, std::nullopt};
  };
  struct Case {
    const char* prompt;
    std::vector<GenerationModelUsage> expected;
  };
  const Case cases[] = {
      {"<lora:detail:0.6> cat <LORA:style>", {lora("detail", 0.6), lora("style", std::nullopt)}},
      {"<lora:detail:0.6:1>", {}},
      {"<lora:a:1.2.3> <Lora:a:.5> <lora:a:1>", {lora("a", std::nullopt), lora("a", 0.5), lora("a", 1.0)}},
      {"<lora::0.5> <lora:> <lora:x", {}},
      {"<lora:a<lora:b>", {lora("b", std::nullopt)}},
      {"<lora: spaced name :0.7>", {lora(" spaced name ", 0.7)}},
      {"<hypernet:x:1> <lyco:y:1>", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(a1111::loraUsages(c.prompt), c.expected) << c.prompt;
  }

  // After the primary usage; the negative prompt is never searched.
  auto record = parseParameters("cat <lora:a:0.5>\nNegative prompt: <lora:b:1>\nSteps: 1, Model:  m ");
  ASSERT_TRUE(record);
  EXPECT_EQ(record->modelUsages,
            (std::vector<GenerationModelUsage>{
                {"m", "AUTOMATIC1111 / SD WebUI", "primary", std::nullopt, std::nullopt}, lora("a", 0.5)}));
}

TEST(A1111ParametersParserTest, ParametersKeepTextsAsWrittenAndSkipUnreadableNumbers) {
  auto record = parseParameters("p\nSteps: x, Sampler: , Model hash: h, Size: 1x2");
  ASSERT_TRUE(record);
  EXPECT_EQ(record->sampler, "");
  EXPECT_FALSE(record->steps);
  EXPECT_EQ(record->width, 1);
  EXPECT_EQ(record->height, 2);
  EXPECT_FALSE(record->source);
  EXPECT_TRUE(record->modelUsages.empty());  // a hash without a model names no model
  EXPECT_EQ(
      record->generationParameters,
      (std::vector<GenerationParameter>{textParameter("sampler", ""), textParameter("model_hash", "h")}));

  auto withSoftware = parseParameters("p", "Forge");
  ASSERT_TRUE(withSoftware);
  EXPECT_EQ(withSoftware->software, "Forge");
  EXPECT_TRUE(withSoftware->generationParameters.empty());
}

}  // namespace
}  // namespace lorvex
