// Real PNG files written by image generators (the shared fixtures folder; skipped when absent).
#include <gtest/gtest.h>

#include <filesystem>

#include "metadata/generation_metadata_parser.h"

namespace lorvex {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = LORVEX_FIXTURES_DIR;

GenerationMetadata parseFixture(const fs::path& relative) {
  const GenerationMetadataParser parser;
  return parser.parse(parser.reader.readFile((kFixtures / relative).string()));
}

TEST(FixturePNGText, EveryFixturePNGReads) {
  if (!fs::is_directory(kFixtures)) GTEST_SKIP() << "no fixtures at " << kFixtures;
  std::size_t count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(kFixtures)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".png") continue;
    ++count;
    const std::string path = entry.path().string();
    if (entry.file_size() == 0) {
      try {
        PNGTextChunkReader().readFile(path);
        ADD_FAILURE() << path << " read without error";
      } catch (const PNGTextChunkReaderError& error) {
        EXPECT_EQ(error.code(), PNGTextChunkReaderError::Code::invalidSignature) << path;
      }
      continue;
    }
    EXPECT_NO_THROW({
      const GenerationMetadataParser parser;
      const GenerationMetadata record = parser.parse(parser.reader.readFile(path));
      EXPECT_FALSE(record.parseWarning && record.parseWarning->starts_with("Failed to decode NovelAI"))
          << path << ": " << *record.parseWarning;
    }) << path;
  }
  EXPECT_GT(count, 10u);
}

TEST(FixturePNGText, TextAfterImageDataIsRead) {
  const fs::path path = kFixtures / "sd-parsers/bad_images/text_after_idat.png";
  if (!fs::exists(path)) GTEST_SKIP() << "no fixture " << path;
  const PNGTextMetadata metadata = PNGTextChunkReader().readFile(path.string());
  ASSERT_FALSE(metadata.textChunkEntries.empty());
  EXPECT_EQ(metadata.textChunkEntries.back().keyword, "parameters");
  EXPECT_EQ(metadata.textChunkEntries.back().chunkType, "zTXt");
  EXPECT_FALSE(metadata.textChunkEntries.back().value.empty());
}

TEST(FixturePNGText, OlderNovelAIImage) {
  const fs::path path = "sd-parsers/NovelAI/novelai1_cropped.png";
  if (!fs::exists(kFixtures / path)) GTEST_SKIP() << "no fixture " << path;
  const GenerationMetadata record = parseFixture(path);
  ASSERT_TRUE(record.provider);
  EXPECT_EQ(record.provider->code, "novelai");
  EXPECT_FALSE(record.parseWarning);
  // This comment carries no prompt: the description stands in.
  EXPECT_EQ(record.prompt, "masterpiece, best quality,  cat, space, icon");
  EXPECT_EQ(record.seed, 2253955223);
  EXPECT_EQ(record.steps, 50);
  EXPECT_EQ(record.scale, 10.0);
  EXPECT_EQ(record.sampler, "k_euler_ancestral");
  EXPECT_EQ(record.source, "Stable Diffusion 1D44365E");
}

TEST(FixturePNGText, NovelAIV45ImageWithThreeCharacters) {
  const fs::path path = "sd-metadata/novelai-full-3char.png";
  if (!fs::exists(kFixtures / path)) GTEST_SKIP() << "no fixture " << path;
  const GenerationMetadata record = parseFixture(path);
  ASSERT_TRUE(record.provider);
  EXPECT_EQ(record.provider->code, "novelai");
  EXPECT_FALSE(record.parseWarning);
  EXPECT_EQ(
      record.prompt,
      "2girls, 1boy, dancing, #\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\nwhite background, , very aesthetic, "
      "masterpiece, no text");
  EXPECT_EQ(record.seed, 1702945580);
  EXPECT_EQ(record.steps, 28);
  EXPECT_EQ(record.scale, 5.0);
  EXPECT_EQ(record.sampler, "k_euler_ancestral");
  EXPECT_EQ(record.width, 1024);
  EXPECT_EQ(record.height, 1024);
  ASSERT_EQ(record.characterCaptions.size(), 3u);
  EXPECT_TRUE(record.characterCaptions[0].caption.starts_with("girl, hatsune miku, "));
  EXPECT_EQ(record.characterCaptions[0].centers, (std::vector<CaptionCenter>{{0.5, 0.3}}));
  EXPECT_TRUE(record.negativePrompt.value_or("").starts_with("nsfw, lowres"));
  ASSERT_TRUE(record.generationTime);
  EXPECT_DOUBLE_EQ(*record.generationTime, 3.8156285881996155e-05);
  EXPECT_EQ(record.modelUsages.size(), 1u);
  EXPECT_EQ(record.rawPayloads.size(), 6u);
}

TEST(FixturePNGText, ImagesOfUnparsedGeneratorsFallToTheUnknownSource) {
  const fs::path path = "sd-parsers/InvokeAI/invokeai_dream1.png";
  if (!fs::exists(kFixtures / path)) GTEST_SKIP() << "no fixture " << path;
  const GenerationMetadata record = parseFixture(path);
  ASSERT_TRUE(record.provider);
  EXPECT_EQ(record.provider->code, "unknown");
  ASSERT_EQ(record.rawPayloads.size(), 1u);
  EXPECT_EQ(record.rawPayloads[0].key, "Dream");
}

}  // namespace
}  // namespace lorvex
