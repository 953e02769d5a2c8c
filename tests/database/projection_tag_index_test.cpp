// Tag rows, tag statistics, the full-text row of an image and the search rows of models, as the
// projection writes them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/internal/tag_keys.h"
#include "database/sqlite_image_repository.h"
#include "database/support/projection_consistency.h"
#include "database/support/projection_fixtures.h"
#include "database/support/repository_connection.h"
#include "model/prompt_tags.h"

namespace lorvex {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(TagKeys, TrimCollapseLowercaseComposeAndDropRepeats) {
  EXPECT_THAT(
      normalizedTagKeys({"  Red \t Eyes ", "red eyes", "", " \n", "CAFE\xCC\x81", "caf\xC3\xA9", "Ä"}),
      ElementsAre("red eyes", "caf\xC3\xA9", "\xC3\xA4"));
  EXPECT_EQ(tagKey("\xE3\x80\x80 1girl \xE3\x80\x80"), "1girl");  // ideographic spaces are whitespace
  EXPECT_EQ(tagKey("  "), std::nullopt);
  EXPECT_EQ(tagSearchText("red eyes", "Red Eyes"), "red eyes red eyes");
  EXPECT_EQ(tagSourceRole(1), "prompt");
  EXPECT_EQ(tagSourceRole(2), "character");
  EXPECT_EQ(tagSourceRole(3), "prompt+character");
}

class TagIndexProjectionTest : public testing::ProjectionTest {};

TEST_F(TagIndexProjectionTest, PromptAndCharacterTagsMergeIntoOneRowPerTerm) {
  auto record = testing::projectionRecord("/lib/a.png", {"Red  Eyes", "red eyes", "smile", "cat"});
  record.metadata.characterCaptions = {{"Cat, {{girl}}, smile", {}}, {"cat", {}}};
  // Negative captions feed no tag rows.
  record.metadata.negativeCharacterCaptions = {{"bad hands", {}}};
  repository.upsertRecord(record, std::nullopt);

  EXPECT_THAT(rows("SELECT t.normalized_key, t.display_name, t.search_text, m.source_mask, o.source_role, "
                   "o.occurrence_index FROM media_tag_index m JOIN tag_terms t ON t.id = m.tag_term_id "
                   "JOIN tag_occurrences o ON o.tag_term_id = m.tag_term_id ORDER BY t.normalized_key"),
              ElementsAre("cat|Cat|cat cat|3|prompt+character|0", "girl|girl|girl girl|2|character|0",
                          "red eyes|red eyes|red eyes red eyes|1|prompt|0",
                          "smile|smile|smile smile|3|prompt+character|0"));
  // Terms are written in key order.
  EXPECT_THAT(rows("SELECT normalized_key FROM tag_terms ORDER BY id"),
              ElementsAre("cat", "girl", "red eyes", "smile"));
  EXPECT_THAT(
      rows("SELECT t.normalized_key, s.image_count, s.prompt_image_count, s.character_image_count "
           "FROM tag_term_stats s JOIN tag_terms t ON t.id = s.tag_term_id ORDER BY t.normalized_key"),
      ElementsAre("cat|1|1|1", "girl|1|0|1", "red eyes|1|1|0", "smile|1|1|1"));
}

TEST_F(TagIndexProjectionTest, ACaptionTagLongerThanATagIsFoundByItsTextOnly) {
  const std::string pasted = "pasted" + std::string(kMaximumStoredPromptTagBytes, 'x');
  auto record = testing::projectionRecord("/lib/a.png", {"cat"});
  record.metadata.characterCaptions = {{pasted + ", Girl", {}}};
  repository.upsertRecord(record, std::nullopt);
  EXPECT_THAT(rows("SELECT normalized_key FROM tag_terms ORDER BY normalized_key"),
              ElementsAre("cat", "girl"));
  EXPECT_THAT(rows("SELECT rowid FROM media_text_fts WHERE media_text_fts MATCH '" + pasted + "'"),
              ElementsAre("1"));
}

// Past kMaximumStoredPromptTagCount distinct tags an image gets no more tag rows (the prompt's come
// first), a kept tag is still marked when a caption holds it later, and every word stays found
// through the full-text row.
TEST_F(TagIndexProjectionTest, AnImageKeepsItsFirstTagsAndItsWholeText) {
  const std::size_t promptCount = kMaximumStoredPromptTagCount - 10;
  std::vector<std::string> promptTags;
  std::string prompt;
  for (std::size_t i = 0; i < promptCount; ++i) {
    promptTags.push_back("p" + std::to_string(i));
    prompt += promptTags.back() + ", ";
  }
  std::string caption;
  for (int i = 0; i < 30; ++i) caption += "c" + std::to_string(i) + ", ";
  caption += "P5";
  auto record = testing::projectionRecord("/lib/a.png", promptTags);
  record.metadata.prompt = prompt + "past the tags";
  record.metadata.promptSegments = {{"positive", false, *record.metadata.prompt}};
  record.metadata.characterCaptions = {{caption, {}}};
  repository.upsertRecord(record, std::nullopt);

  EXPECT_THAT(rows("SELECT count(*) FROM media_tag_index"),
              ElementsAre(std::to_string(kMaximumStoredPromptTagCount)));
  EXPECT_THAT(rows("SELECT count(*) FROM tag_occurrences"),
              ElementsAre(std::to_string(kMaximumStoredPromptTagCount)));
  EXPECT_THAT(
      rows("SELECT t.normalized_key, m.source_mask FROM media_tag_index m JOIN tag_terms t ON t.id = "
           "m.tag_term_id WHERE t.normalized_key IN ('c0', 'c9', 'c10', 'c29', 'p5', 'p6') ORDER BY 1"),
      ElementsAre("c0|2", "c9|2", "p5|3", "p6|1"));
  for (const char* word : {"c29", "p1989", "tags"}) {
    EXPECT_THAT(
        rows(std::string("SELECT rowid FROM media_text_fts WHERE media_text_fts MATCH '") + word + "'"),
        ElementsAre("1"))
        << word;
  }
}

TEST_F(TagIndexProjectionTest, TheSmallestDisplayNameWinsAcrossImages) {
  repository.upsertRecord(testing::projectionRecord("/lib/a.png", {"blue sky"}), std::nullopt);
  auto record = testing::projectionRecord("/lib/b.png");
  record.metadata.characterCaptions = {{"Blue  Sky", {}}};
  repository.upsertRecord(record, std::nullopt);
  record.file.path = "/lib/c.png";
  record.metadata.characterCaptions = {{"blue Sky", {}}};
  repository.upsertRecord(record, std::nullopt);
  EXPECT_EQ(row("SELECT display_name, search_text FROM tag_terms"), "Blue Sky|blue sky blue sky");
}

TEST_F(TagIndexProjectionTest, StatisticsMoveByDifferenceAndNeverBelowZero) {
  auto a = testing::projectionRecord("/lib/a.png", {"cat", "dog"});
  auto b = testing::projectionRecord("/lib/b.png", {"cat"});
  b.metadata.characterCaptions = {{"dog", {}}};
  repository.upsertRecord(a, std::nullopt);
  repository.upsertRecord(b, std::nullopt);
  const std::string stats =
      "SELECT t.normalized_key, s.image_count, s.prompt_image_count, s.character_image_count FROM "
      "tag_term_stats s "
      "JOIN tag_terms t ON t.id = s.tag_term_id ORDER BY t.normalized_key";
  EXPECT_THAT(rows(stats), ElementsAre("cat|2|2|0", "dog|2|1|1"));

  a.promptTags = {"cat", "bird"};
  repository.upsertRecord(a, std::nullopt);
  // A term no image carries any more keeps its row, at zero.
  b.promptTags = {};
  b.metadata.characterCaptions.clear();
  repository.upsertRecord(b, std::nullopt);
  EXPECT_THAT(rows(stats), ElementsAre("bird|1|1|0", "cat|1|1|0", "dog|0|0|0"));

  // Counts already wrong (here forced to 0) are clamped rather than going negative.
  lorvex::testing::connectionOf(repository).withLock([&] {
    lorvex::testing::connectionOf(repository).execute("UPDATE tag_term_stats SET image_count = 0");
  });
  a.promptTags = {};
  repository.upsertRecord(a, std::nullopt);
  EXPECT_THAT(rows(stats), ElementsAre("bird|0|0|0", "cat|0|0|0", "dog|0|0|0"));
}

TEST_F(TagIndexProjectionTest, FullTextRowColumns) {
  struct Case {
    const char* name;
    std::vector<PromptTextSegment> segments;
    std::vector<std::string> captions;
    std::vector<std::string> negativeCaptions;
    std::vector<std::string> tags;
    const char* expected;  // prompt|negative_prompt|source|character_captions|tags
  };
  const std::vector<Case> cases = {
      {"segments joined by polarity",
       {{"positive", false, "cat"}, {"negative", true, "blurry"}, {"base_caption", false, "base"}},
       {"girl", "boy"},
       {},
       {"Cat", "smile"},
       "cat base|blurry|src|girl boy|Cat smile"},
      {"no segments fall back to the metadata prompts", {}, {}, {}, {}, "cat, smile|blurry|src||"},
      {"negative captions stand in both columns",
       {{"positive", false, "cat"}},
       {},
       {"bad hands", "extra"},
       {},
       "cat|bad hands extra|src|bad hands extra|"},
      {"one empty positive segment falls back to the metadata prompt",
       {{"positive", false, ""}},
       {},
       {},
       {},
       "cat, smile|blurry|src||"},
      {"negative segments and captions together",
       {{"negative", true, "lowres"}},
       {"girl"},
       {"bad hands"},
       {},
       "cat, smile|lowres bad hands|src|girl bad hands|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto record = testing::projectionRecord("/lib/a.png", c.tags);
    record.metadata.source = "src";
    record.metadata.promptSegments = c.segments;
    for (const auto& caption : c.captions) record.metadata.characterCaptions.push_back({caption, {}});
    for (const auto& caption : c.negativeCaptions)
      record.metadata.negativeCharacterCaptions.push_back({caption, {}});
    repository.upsertRecord(record, std::nullopt);
    EXPECT_THAT(rows("SELECT prompt, negative_prompt, source, character_captions, tags FROM media_text_fts"),
                ElementsAre(c.expected));
  }
  auto bare = testing::projectionRecord("/lib/a.png");
  bare.metadata.prompt.reset();
  bare.metadata.negativePrompt.reset();
  bare.metadata.promptSegments.clear();
  repository.upsertRecord(bare, std::nullopt);
  EXPECT_THAT(rows("SELECT prompt, negative_prompt, source, character_captions, tags FROM media_text_fts"),
              ElementsAre("NULL|NULL|NULL||"));
  EXPECT_THAT(rows("SELECT rowid FROM media_text_fts WHERE media_text_fts MATCH 'cat'"), IsEmpty());
}

TEST_F(TagIndexProjectionTest, ModelCountsAndSearchRowsFollowTheImagesUsingThem) {
  auto a = testing::projectionRecord("/lib/a.png");
  a.metadata.modelUsages = {testing::modelUsage("NovelAI Diffusion V4.5 1229B44F"),
                            testing::modelUsage("NovelAI Diffusion V4.5 1229B44F", "lora"),
                            testing::modelUsage("detail-lora", "lora")};
  auto b = a;
  b.file.path = "/lib/b.png";
  b.metadata.modelUsages.pop_back();
  repository.upsertRecord(a, std::nullopt);
  repository.upsertRecord(b, std::nullopt);
  const std::string counts = "SELECT raw_source, image_count FROM models ORDER BY id";
  const std::string search =
      "SELECT rowid, display_name, raw_source, family, version, source_hash FROM model_search_fts ORDER BY "
      "rowid";
  EXPECT_THAT(rows(counts), ElementsAre("NovelAI Diffusion V4.5 1229B44F|2", "detail-lora|1"));
  EXPECT_THAT(rows(search), ElementsAre("1|NovelAI Diffusion V4.5 1229B44F|NovelAI Diffusion V4.5 1229B44F|"
                                        "NovelAI Diffusion|V4.5|1229B44F",
                                        "2|detail-lora|detail-lora|NULL|NULL|NULL"));
  EXPECT_EQ(row("SELECT provider, normalized_key FROM models WHERE id = 1"),
            "NovelAI|novelai diffusion v4.5 1229b44f");

  a.metadata.modelUsages.pop_back();
  repository.upsertRecord(a, std::nullopt);
  EXPECT_THAT(rows(counts), ElementsAre("NovelAI Diffusion V4.5 1229B44F|2", "detail-lora|0"));
  EXPECT_THAT(rows("SELECT rowid FROM model_search_fts ORDER BY rowid"), ElementsAre("1"));
  EXPECT_THAT(testing::projectionInconsistencies(lorvex::testing::connectionOf(repository)), IsEmpty());
}

}  // namespace
}  // namespace lorvex
