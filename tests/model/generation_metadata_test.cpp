#include "model/generation_metadata.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace lorvex {
namespace {

using Text = std::optional<std::string>;

struct SegmentCase {
  const char* name;
  Text prompt, negativePrompt, baseCaption, negativeBaseCaption;
  std::vector<PromptTextSegment> expected;
};

TEST(GenerationMetadataTest, PromptSegmentsTrimAndSkipBlankTextsInRoleOrder) {
  const SegmentCase cases[] = {
      {"trimmed prompt, empty base caption skipped",
       "  cat, dog \n",
       std::nullopt,
       "",
       "bad",
       {{"positive", false, "cat, dog"}, {"base_caption", true, "bad"}}},
      {"all absent", std::nullopt, std::nullopt, std::nullopt, std::nullopt, {}},
      {"all blank (Unicode spaces and newlines)", " ", "\n\t", "\u3000", "\u00a0\r\n", {}},
      {"all four, order kept",
       "p",
       "n",
       "b",
       "nb",
       {{"positive", false, "p"},
        {"negative", true, "n"},
        {"base_caption", false, "b"},
        {"base_caption", true, "nb"}}},
      {"inner whitespace kept",
       "a \n  b",
       std::nullopt,
       std::nullopt,
       std::nullopt,
       {{"positive", false, "a \n  b"}}},
  };
  for (const SegmentCase& c : cases) {
    EXPECT_EQ(GenerationMetadata::makePromptSegments(c.prompt, c.negativePrompt, c.baseCaption,
                                                     c.negativeBaseCaption),
              c.expected)
        << c.name;
  }
}

TEST(GenerationMetadataTest, GenerationParametersFillOneValueEachInFixedOrder) {
  using P = GenerationParameter;
  GenerationMetadata::ParameterDefaults onlyStepsAndEmptySampler;
  onlyStepsAndEmptySampler.steps = 28;
  onlyStepsAndEmptySampler.sampler = "";
  EXPECT_EQ(GenerationMetadata::makeGenerationParameters(onlyStepsAndEmptySampler),
            (std::vector<P>{{"steps", 28, std::nullopt, std::nullopt},
                            {"sampler", std::nullopt, std::nullopt, ""}}));

  EXPECT_TRUE(GenerationMetadata::makeGenerationParameters({}).empty());

  const GenerationMetadata::ParameterDefaults all{-1, 28, 5.5, " k_euler ", "karras", "generate", 0};
  EXPECT_EQ(GenerationMetadata::makeGenerationParameters(all),
            (std::vector<P>{{"seed", -1, std::nullopt, std::nullopt},
                            {"steps", 28, std::nullopt, std::nullopt},
                            {"scale", std::nullopt, 5.5, std::nullopt},
                            {"sampler", std::nullopt, std::nullopt, " k_euler "},
                            {"noise_schedule", std::nullopt, std::nullopt, "karras"},
                            {"request_type", std::nullopt, std::nullopt, "generate"},
                            {"version", 0, std::nullopt, std::nullopt}}));
}

TEST(GenerationMetadataTest, IsNovelAIChecksProviderSoftwareAndSourceCaseSensitively) {
  struct Case {
    const char* name;
    std::optional<std::string> providerCode;
    Text software, source;
    bool expected;
  };
  const Case cases[] = {
      {"provider code", "novelai", std::nullopt, std::nullopt, true},
      {"software only", std::nullopt, "NovelAI", std::nullopt, true},
      {"lower-case software, other source", std::nullopt, "novelai", "Stable Diffusion", false},
      {"source prefix", std::nullopt, std::nullopt, "NovelAI Diffusion V4.5 1229B44F", true},
      {"source prefix is case-sensitive", std::nullopt, std::nullopt, "novelai diffusion", false},
      {"upper-case provider code", "NOVELAI", std::nullopt, std::nullopt, false},
      {"other provider, NovelAI software", "comfyui", "NovelAI", std::nullopt, true},
      {"nothing", std::nullopt, std::nullopt, std::nullopt, false},
  };
  for (const Case& c : cases) {
    GenerationMetadata metadata;
    if (c.providerCode) metadata.provider = GenerationMetadataProvider{*c.providerCode, "x"};
    metadata.software = c.software;
    metadata.source = c.source;
    EXPECT_EQ(metadata.isNovelAI(), c.expected) << c.name;
  }
}

TEST(GenerationMetadataTest, StableDiffusionSyntaxOnlyForExactSDProviderCodes) {
  struct Case {
    std::optional<std::string> code;
    bool expected;
  };
  const Case cases[] = {
      {std::nullopt, false},    {"automatic1111", true}, {"comfyui", true},  {"stableswarmui", true},
      {"AUTOMATIC1111", false}, {"novelai", false},      {"unknown", false}, {"", false},
  };
  for (const Case& c : cases) {
    std::optional<GenerationMetadataProvider> provider;
    if (c.code) provider = GenerationMetadataProvider{*c.code, "Display"};
    EXPECT_EQ(GenerationMetadataProvider::usesStableDiffusionPromptSyntax(provider), c.expected)
        << c.code.value_or("<none>");
  }
}

TEST(GenerationMetadataTest, CharacterCaptionIdWritesShortestRoundTripNumbers) {
  struct Case {
    CharacterCaption caption;
    std::string expected;
  };
  const Case cases[] = {
      {{"cat", {{0.5, 0.5}, {0.1, 0.9}}}, "cat|0.5,0.5;0.1,0.9"},
      {{"cat", {}}, "cat|"},
      {{"", {{1, 0}}}, "|1.0,0.0"},
      {{"a|b;c", {{0.30000000000000004, -2}}}, "a|b;c|0.30000000000000004,-2.0"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.caption.id(), c.expected);
}

TEST(GenerationMetadataTest, EqualityIsMemberwiseAndOrderSensitive) {
  GenerationMetadata a;
  a.modelUsages = {{"model-a", std::nullopt, "primary", std::nullopt, std::nullopt},
                   {"lora-b", std::nullopt, "lora", 0.8, std::nullopt}};
  a.rawTextChunks = {{"Software", "NovelAI"}, {"Comment", "{}"}};
  GenerationMetadata b = a;
  EXPECT_EQ(a, b);

  std::swap(b.modelUsages[0], b.modelUsages[1]);
  EXPECT_NE(a, b) << "model usage order matters";

  b = a;
  b.generationTime = 0.0;
  EXPECT_NE(a, b) << "absent differs from zero";

  b = a;
  b.characterCaptions = {{"cat", {{0.5, 0.5}}}};
  a.characterCaptions = {{"cat", {{0.5, 0.5000000000000001}}}};
  EXPECT_NE(a, b) << "reals compare exactly";

  GenerationParameter integerSeed{"seed", 1, std::nullopt, std::nullopt};
  GenerationParameter realSeed{"seed", std::nullopt, 1.0, std::nullopt};
  EXPECT_NE(integerSeed, realSeed);
}

}  // namespace
}  // namespace lorvex
