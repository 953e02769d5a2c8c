// Real images written by ComfyUI, StableSwarmUI and A1111-style generators, read and parsed end to
// end through the reader and the parser driver.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "metadata/generation_metadata_parser.h"
#include "metadata/png_text_chunk_reader.h"

namespace lorvex {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = LORVEX_FIXTURES_DIR;

GenerationMetadata parseFixture(const fs::path& path) {
  GenerationMetadataParser parser;
  return parser.parse(parser.reader.readFile(path.string()));
}

TEST(ComfyUISwarmA1111FixtureTest, EachFixtureYieldsItsProviderPromptAndSettings) {
  if (!fs::is_directory(kFixtures)) GTEST_SKIP() << "fixtures not present: " << kFixtures;
  struct Case {
    const char* path;
    const char* provider;
    const char* promptStart;
    std::int64_t seed;
    std::int64_t steps;
    const char* sampler;
    const char* model;
  };
  const Case cases[] = {
      {"sd-parsers/ComfyUI/img2img_cropped.png", "comfyui", "photograph of victorian woman with wings",
       280823642470253, 20, "sample_dpmpp_2m", "v1-5-pruned-emaonly.ckpt"},
      // Sampler "24" comes before "3" by id.
      {"sd-parsers/ComfyUI/night_evening_day_morning_cropped.png", "comfyui",
       "(best quality) beautiful (HDR:1.2)", 1122440447966177, 14, "dpmpp_2m",
       "AbyssOrangeMix2_hard.safetensors"},
      {"sd-parsers/ComfyUI/noisy_latents_3_subjects_cropped.png", "comfyui", "girl (flat chest:0.9)",
       1084614416978598, 9, "sample_dpmpp_sde", "Anything-V3.0.ckpt"},
      // The prompt sits behind two unCLIP conditioning nodes.
      {"sd-parsers/ComfyUI/unclip_2pass_cropped.png", "comfyui", "(waifu, anime, exceptional",
       1106257833005336, 26, "uni_pc_bh2", "wd-1-5-beta2-aesthetic-unclip-h-fp32.safetensors"},
      {"sd-metadata/comfyui-hires.png", "comfyui", "general, masterpiece, best quality", 204096574905147, 10,
       "euler_ancestral", "waiIllustriousSDXL_v160.safetensors"},
      // Carries a ComfyUI graph too, without a ComfyUI mark: StableSwarmUI's own parameters win.
      {"sd-metadata/swarmui.png", "stableswarmui", "general, masterpiece, best quality", 2083100758, 20,
       "euler_ancestral", "waiIllustriousSDXL_v160"},
      {"sd-parsers/AUTOMATIC1111/automatic1111_cropped.png", "automatic1111", "photo of a duck", 235284042,
       15, "UniPC", "realistic_realisticVisionV20_v20"},
      // The same text in a zTXt chunk placed after the image data.
      {"sd-parsers/bad_images/text_after_idat.png", "automatic1111", "photo of a duck", 235284042, 15,
       "UniPC", "realistic_realisticVisionV20_v20"},
      // iTXt, with a blank line before the "Steps: " line.
      {"sd-metadata/forge-neo.png", "automatic1111", "general, masterpiece, best quality", 4179307297, 24,
       "Euler a", "waiIllustriousSDXL_v160"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const GenerationMetadata record = parseFixture(kFixtures / c.path);
    ASSERT_TRUE(record.provider);
    EXPECT_EQ(record.provider->code, c.provider);
    ASSERT_TRUE(record.prompt);
    EXPECT_TRUE(record.prompt->starts_with(c.promptStart)) << *record.prompt;
    EXPECT_TRUE(record.negativePrompt && !record.negativePrompt->empty());
    EXPECT_EQ(record.seed, c.seed);
    EXPECT_EQ(record.steps, c.steps);
    EXPECT_EQ(record.sampler, c.sampler);
    EXPECT_EQ(record.source, c.model);
    EXPECT_FALSE(record.parseWarning);
  }
}

TEST(ComfyUISwarmA1111FixtureTest, EveryComfyUIFixtureYieldsAPrompt) {
  const fs::path folder = kFixtures / "sd-parsers" / "ComfyUI";
  if (!fs::is_directory(folder)) GTEST_SKIP() << "fixtures not present: " << folder;
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".png") continue;
    SCOPED_TRACE(entry.path().string());
    ++count;
    const GenerationMetadata record = parseFixture(entry.path());
    ASSERT_TRUE(record.provider);
    EXPECT_EQ(record.provider->code, "comfyui");
    EXPECT_TRUE(record.prompt && !record.prompt->empty());
    EXPECT_TRUE(record.seed && record.steps && record.sampler);
  }
  EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace lorvex
