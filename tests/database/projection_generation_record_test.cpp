// The generation record of a projected image: its row, prompt and character segments, regions,
// parameters and model usages, and their replacement on re-projection.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/sqlite_image_repository.h"
#include "database/support/projection_fixtures.h"

namespace lorvex {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class GenerationRecordProjectionTest : public testing::ProjectionTest {};

TEST_F(GenerationRecordProjectionTest, RecordColumnsParseStatusAndParser) {
  struct Case {
    const char* name;
    bool provider;
    bool format;
    bool warning;
    const char* expected;  // parse_status|parser|provider id set|format id set
  };
  const std::vector<Case> cases = {
      {"provider and format", true, true, false, "parsed|novelai_png_text|1|1"},
      {"a warning makes the parse partial", true, true, true, "partial|novelai_png_text|1|1"},
      {"provider only", true, false, false, "parsed|novelai|1|0"},
      {"format without provider stores no ids", false, true, false, "parsed|novelai_png_text|0|0"},
      {"neither", false, false, false, "parsed|NULL|0|0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto record = testing::projectionRecord("/lib/a.png");
    if (!c.provider) record.metadata.provider.reset();
    if (!c.format) record.metadata.format.reset();
    if (c.warning) record.metadata.parseWarning = "The comment did not decode.";
    repository.upsertRecord(record, std::nullopt);
    EXPECT_EQ(row("SELECT parse_status, parser, provider_id IS NOT NULL, format_id IS NOT NULL "
                  "FROM generation_records WHERE is_primary = 1"),
              c.expected);
    EXPECT_EQ(row("SELECT count(*) FROM generation_records"), "1");
  }
}

TEST_F(GenerationRecordProjectionTest, ScalarFieldsAreStoredAndDimensionsAndModelHashAreNot) {
  auto record = testing::projectionRecord("/lib/a.png");
  GenerationMetadata& m = record.metadata;
  m.title = "t";
  m.software = "NovelAI";
  m.source = "NovelAI Diffusion V4.5 1229B44F";
  m.generationTime = 1.5;
  m.steps = 28;
  m.scale = 5.5;
  m.sampler = "k_euler";
  m.noiseSchedule = "karras";
  m.requestType = "PromptGenerateRequest";
  m.version = 1;
  m.signedHash = "sig";
  m.baseCaption = "base";
  m.negativeBaseCaption = "nbase";
  m.rawCommentJSON = "{}";
  m.modelHash = "ABC";
  repository.upsertRecord(record, std::nullopt);
  EXPECT_EQ(row("SELECT is_primary, title, prompt, negative_prompt, software, source, generation_time, seed, "
                "steps, "
                "scale, sampler, noise_schedule, request_type, version, signed_hash, base_caption, "
                "negative_base_caption, raw_comment_json, parse_warning FROM generation_records"),
            "1|t|cat, smile|blurry|NovelAI|NovelAI Diffusion V4.5 1229B44F|1.5|42|28|5.5|k_euler|karras|"
            "PromptGenerateRequest|1|sig|base|nbase|{}|NULL");
}

TEST_F(GenerationRecordProjectionTest, SegmentsSkipBlankContentAndCharactersShareIndexes) {
  auto record = testing::projectionRecord("/lib/a.png");
  record.metadata.promptSegments = {{"positive", false, "  cat  "},
                                    {"negative", true, " \n\t "},
                                    {"base_caption", false, "base"},
                                    // Character rows come only from the caption lists.
                                    {"character", false, "dropped"}};
  record.metadata.characterCaptions = {{"girl, red hair", {{0.1, 0.2}, {0.3, 0.4}, {0.5, 0.6}}}, {"", {}}};
  record.metadata.negativeCharacterCaptions = {{"bad hands", {{0.5, 0.5}}}};
  repository.upsertRecord(record, std::nullopt);

  EXPECT_THAT(rows("SELECT segment_index, role, is_negative, content FROM prompt_segments ORDER BY id"),
              ElementsAre("0|positive|0|cat", "1|base_caption|0|base", "0|character|0|girl, red hair",
                          "1|character|0|", "0|character_negative|1|bad hands"));
  EXPECT_THAT(rows("SELECT s.content, r.region_index, r.center_x, r.center_y FROM prompt_regions r "
                   "JOIN prompt_segments s ON s.id = r.segment_id ORDER BY s.id, r.region_index"),
              ElementsAre("girl, red hair|0|0.1|0.2", "girl, red hair|1|0.3|0.4", "girl, red hair|2|0.5|0.6",
                          "bad hands|0|0.5|0.5"));
}

TEST_F(GenerationRecordProjectionTest, ParametersWithoutValueWriteNoRow) {
  auto record = testing::projectionRecord("/lib/a.png");
  record.metadata.generationParameters = {
      {"seed", 42, std::nullopt, std::nullopt},
      {"scale", std::nullopt, 5.5, std::nullopt},
      {"sampler", std::nullopt, std::nullopt, ""},
      {"empty", std::nullopt, std::nullopt, std::nullopt},
  };
  repository.upsertRecord(record, std::nullopt);
  EXPECT_THAT(
      rows("SELECT key, integer_value, real_value, text_value FROM generation_parameters ORDER BY key"),
      ElementsAre("sampler|NULL|NULL|", "scale|NULL|5.5|NULL", "seed|42|NULL|NULL"));
}

TEST_F(GenerationRecordProjectionTest, ModelUsagesAreLinkedOncePerModelAndRole) {
  auto record = testing::projectionRecord("/lib/a.png");
  record.metadata.modelUsages = {testing::modelUsage("NovelAI Diffusion V4.5 1229B44F"),
                                 testing::modelUsage("NovelAI  Diffusion V4.5 1229B44F"),
                                 testing::modelUsage("NovelAI Diffusion V4.5 1229B44F", "lora"),
                                 testing::modelUsage(" \t ")};
  repository.upsertRecord(record, std::nullopt);
  EXPECT_THAT(rows("SELECT m.raw_source, u.usage_role FROM model_usages u JOIN models m ON m.id = u.model_id "
                   "ORDER BY u.usage_role"),
              ElementsAre("NovelAI Diffusion V4.5 1229B44F|lora", "NovelAI Diffusion V4.5 1229B44F|primary"));
  EXPECT_EQ(row("SELECT count(*) FROM models"), "1");
}

TEST_F(GenerationRecordProjectionTest, ReprojectionReplacesTheRecordAndEverythingUnderIt) {
  auto record = testing::projectionRecord("/lib/a.png", {"cat"});
  record.metadata.characterCaptions = {{"girl", {{0.5, 0.5}}}};
  record.metadata.modelUsages = {testing::modelUsage("Model A")};
  repository.upsertRecord(record, std::nullopt);

  record.metadata.promptSegments = {{"positive", false, "dog"}};
  record.metadata.characterCaptions.clear();
  record.metadata.generationParameters.clear();
  record.metadata.modelUsages.clear();
  record.promptTags = {"dog"};
  repository.upsertRecord(record, std::nullopt);

  EXPECT_EQ(row("SELECT count(*) FROM generation_records"), "1");
  EXPECT_THAT(rows("SELECT content FROM prompt_segments"), ElementsAre("dog"));
  EXPECT_THAT(rows("SELECT * FROM prompt_regions"), IsEmpty());
  EXPECT_THAT(rows("SELECT * FROM generation_parameters"), IsEmpty());
  EXPECT_THAT(rows("SELECT * FROM model_usages"), IsEmpty());
  EXPECT_THAT(rows("SELECT generation_record_id = (SELECT id FROM generation_records) FROM tag_occurrences"),
              ElementsAre("1"));
}

TEST_F(GenerationRecordProjectionTest, DuplicateParameterKeysFailTheWholeProjection) {
  auto record = testing::projectionRecord("/lib/a.png", {"cat"});
  record.metadata.modelUsages = {testing::modelUsage("Model A")};
  record.metadata.generationParameters = {{"seed", 1, std::nullopt, std::nullopt},
                                          {"seed", 2, std::nullopt, std::nullopt}};
  try {
    repository.upsertRecord(record, std::nullopt);
    FAIL() << "expected a step failure";
  } catch (const SQLiteImageRepositoryV3Error& error) {
    EXPECT_EQ(error.kind(), SQLiteImageRepositoryV3Error::Kind::stepFailed);
    EXPECT_THAT(error.localizedDescription(), ::testing::HasSubstr("UNIQUE constraint failed"));
  }
  // Nothing of the transaction survives; the model upserted before it does, unused.
  for (const char* table : {"media_files", "image_properties", "review_states", "generation_records",
                            "prompt_segments", "metadata_payloads", "tag_terms", "media_tag_index"}) {
    EXPECT_EQ(row(std::string("SELECT count(*) FROM ") + table), "0") << table;
  }
  EXPECT_EQ(row("SELECT raw_source, image_count FROM models"), "Model A|0");
  // The connection is usable afterwards.
  record.metadata.generationParameters.pop_back();
  repository.upsertRecord(record, std::nullopt);
  EXPECT_EQ(row("SELECT count(*) FROM media_files"), "1");
}

}  // namespace
}  // namespace lorvex
