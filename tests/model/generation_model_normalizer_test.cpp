#include "model/generation_model_normalizer.h"

#include <gtest/gtest.h>

namespace lorvex {
namespace {

using Text = std::optional<std::string>;

struct Case {
  const char* rawSource;
  const char* expectedRawSource;
  Text provider, family, version, sourceHash;
};

TEST(GenerationModelNormalizerTest, TakesNovelAISourcesApart) {
  const std::nullopt_t none = std::nullopt;
  const Case cases[] = {
      {"NovelAI Diffusion V4.5 1229B44F", "NovelAI Diffusion V4.5 1229B44F", "NovelAI", "NovelAI Diffusion",
       "V4.5", "1229B44F"},
      {"  NovelAI   Diffusion   V3  ", "NovelAI Diffusion V3", "NovelAI", "NovelAI Diffusion", "V3", none},
      {"NovelAI", "NovelAI", "NovelAI", none, none, none},
      {"NovelAI Diffusion", "NovelAI Diffusion", "NovelAI", "NovelAI Diffusion", none, none},
      {"NovelAI V4 ABC DEF", "NovelAI V4 ABC DEF", "NovelAI", "NovelAI", "V4", "ABC DEF"},
      {"NovelAI Diffusion v4.5", "NovelAI Diffusion v4.5", "NovelAI", "NovelAI Diffusion v4.5", none, none},
      {"NovelAI Diffusion V4.5.1 X", "NovelAI Diffusion V4.5.1 X", "NovelAI", "NovelAI Diffusion", "V4.5.1",
       "X"},
      {"NovelAI Diffusion V4. X", "NovelAI Diffusion V4. X", "NovelAI", "NovelAI Diffusion V4. X", none,
       none},
      {"NovelAI Diffusion V.4 X", "NovelAI Diffusion V.4 X", "NovelAI", "NovelAI Diffusion V.4 X", none,
       none},
      {"NovelAI Diffusion V X", "NovelAI Diffusion V X", "NovelAI", "NovelAI Diffusion V X", none, none},
      {"NovelAI V3 V4", "NovelAI V3 V4", "NovelAI", "NovelAI", "V3", "V4"},
      {"NovelAI\tDiffusion\nV4\r\n  h1 \u3000 h2", "NovelAI Diffusion V4 h1 h2", "NovelAI",
       "NovelAI Diffusion", "V4", "h1 h2"},
      {"NovelAI Diffusion V\u0664", "NovelAI Diffusion V\u0664", "NovelAI", "NovelAI Diffusion V\u0664", none,
       none},
      {"novelai diffusion v3", "novelai diffusion v3", none, none, none, none},
      {"NovelAIDiffusion V3", "NovelAIDiffusion V3", none, none, none, none},
      {"Stable Diffusion XL", "Stable Diffusion XL", none, none, none, none},
  };
  for (const Case& c : cases) {
    const std::optional<GenerationModelDescriptor> descriptor =
        GenerationModelNormalizer::descriptor(std::string_view(c.rawSource));
    ASSERT_TRUE(descriptor.has_value()) << c.rawSource;
    EXPECT_EQ(descriptor->rawSource, c.expectedRawSource) << c.rawSource;
    EXPECT_EQ(descriptor->displayName, c.expectedRawSource) << c.rawSource;
    EXPECT_EQ(descriptor->provider, c.provider) << c.rawSource;
    EXPECT_EQ(descriptor->family, c.family) << c.rawSource;
    EXPECT_EQ(descriptor->version, c.version) << c.rawSource;
    EXPECT_EQ(descriptor->sourceHash, c.sourceHash) << c.rawSource;
  }
}

TEST(GenerationModelNormalizerTest, BlankOrAbsentSourcesGiveNoDescriptor) {
  EXPECT_EQ(GenerationModelNormalizer::descriptor(std::nullopt), std::nullopt);
  for (const char* blank : {"", " ", " \t\n\r\n ", "\u3000\u00a0"}) {
    EXPECT_EQ(GenerationModelNormalizer::descriptor(std::string_view(blank)), std::nullopt) << blank;
  }
}

TEST(GenerationModelNormalizerTest, KeyIsLowerCasedWhileSpacingDoesNotMatter) {
  const auto a = GenerationModelNormalizer::descriptor(std::string_view("NovelAI Diffusion V4.5 1229B44F"));
  const auto spaced =
      GenerationModelNormalizer::descriptor(std::string_view(" NovelAI  Diffusion\tV4.5 1229B44F\n"));
  const auto lower =
      GenerationModelNormalizer::descriptor(std::string_view("novelai diffusion v4.5 1229b44f"));
  ASSERT_TRUE(a && spaced && lower);
  EXPECT_EQ(a->normalizedKey, "novelai diffusion v4.5 1229b44f");
  EXPECT_EQ(a, spaced);
  EXPECT_EQ(a->normalizedKey, lower->normalizedKey);
  EXPECT_NE(a->rawSource, lower->rawSource);

  const auto nonASCII = GenerationModelNormalizer::descriptor(std::string_view("Ǆ Model İ"));
  ASSERT_TRUE(nonASCII);
  EXPECT_EQ(nonASCII->normalizedKey, "ǆ model i̇");
}

}  // namespace
}  // namespace lorvex
