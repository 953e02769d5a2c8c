// Tag and model suggestions: filtering by the typed text, merging by letter case and ranking.
#include <gtest/gtest.h>

#include "database/internal/suggestion_ranking.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"
#include "model/text/collation.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

class SuggestionsTest : public ::testing::Test {
 protected:
  // Tag terms with counts written straight into the vocabulary and statistics the projection keeps.
  void addTag(const std::string& key, const std::string& display, std::int64_t count) {
    auto& connection = lorvex::testing::connectionOf(repository);
    auto guard = connection.lock();
    connection.execute(
        "INSERT INTO tag_terms (normalized_key, display_name, search_text) VALUES (?, ?, lower(?))",
        {key, display, key + " " + display});
    connection.execute(
        "INSERT INTO tag_term_stats (tag_term_id, image_count, prompt_image_count, character_image_count, "
        "updated_at) VALUES (?, ?, ?, 0, 0)",
        {connection.lastInsertRowID(), count, count});
  }
  void addModel(const std::string& source, std::int64_t count) {
    auto& connection = lorvex::testing::connectionOf(repository);
    auto guard = connection.lock();
    connection.execute(
        "INSERT INTO models (raw_source, display_name, normalized_key, image_count) VALUES (?, ?, lower(?), "
        "?)",
        {source, source, source, count});
  }

  testing::TemporaryFolder directory;
  SQLiteImageRepositoryV3 repository{directory.file(kLibraryDatabaseFileName)};
};

TEST_F(SuggestionsTest, TagsAreFilteredMergedByCaseAndRankedByCount) {
  addTag("blue eyes", "Blue Eyes", 5);
  addTag("blue eyes ", "blue eyes", 3);  // a second term whose name differs only in case
  addTag("blue hair", "blue hair", 5);
  addTag("eyes closed", "eyes closed", 9);
  addTag("unused", "unused", 0);
  addTag("zebra", "zebra", 1);

  using S = TagSuggestion;
  const struct {
    std::optional<std::string> text;
    std::int64_t limit;
    std::vector<TagSuggestion> expected;
  } cases[] = {
      {std::nullopt, 10, {S{"eyes closed", 9}, S{"blue eyes", 5}, S{"blue hair", 5}, S{"zebra", 1}}},
      {"   ", 2, {S{"eyes closed", 9}, S{"blue eyes", 5}}},
      {"{{EYES}}", 10, {S{"eyes closed", 9}, S{"blue eyes", 5}}},
      {"blue", 10, {S{"blue eyes", 5}, S{"blue hair", 5}}},
      {"zeb", 10, {S{"zebra", 1}}},
      {"unused", 10, {}},
      {"blue", 0, {}},
      {"blue", -3, {}},
      {"zeb", INT64_MAX, {S{"zebra", 1}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(repository.tagSuggestions(c.text, c.limit), c.expected)
        << c.text.value_or("<nil>") << " " << c.limit;
  }
}

TEST_F(SuggestionsTest, ATermMatchingOnlyThroughItsSearchTextIsDropped) {
  // A name's own key is a candidate; a word found only in the stored search text is not.
  addTag("cat", "(cat:1.2)", 4);
  EXPECT_EQ(repository.tagSuggestions("1.2", 10), (std::vector<TagSuggestion>{{"(cat:1.2)", 4}}));
  EXPECT_EQ(repository.tagSuggestions("cat", 10), (std::vector<TagSuggestion>{{"(cat:1.2)", 4}}));
  auto& connection = lorvex::testing::connectionOf(repository);
  {
    auto guard = connection.lock();
    connection.execute(
        "INSERT INTO tag_terms (normalized_key, display_name, search_text) VALUES ('dog', 'dog', "
        "'dog hidden')");
    connection.execute("INSERT INTO tag_term_stats (tag_term_id, image_count, updated_at) VALUES (?, 2, 0)",
                       {connection.lastInsertRowID()});
  }
  EXPECT_TRUE(repository.tagSuggestions("hidden", 10).empty());
}

TEST_F(SuggestionsTest, ModelsComeStraightFromTheirCounts) {
  addModel("NovelAI Diffusion V4.5 1229B44F", 7);
  addModel("Anything V5", 7);
  addModel("anything v3", 2);
  addModel("Retired", 0);
  using M = ModelSuggestion;
  EXPECT_EQ(repository.modelSuggestions(std::nullopt, 10),
            (std::vector<M>{{"Anything V5", 7}, {"NovelAI Diffusion V4.5 1229B44F", 7}, {"anything v3", 2}}));
  EXPECT_EQ(repository.modelSuggestions("  ", 1), (std::vector<M>{{"Anything V5", 7}}));
  EXPECT_EQ(repository.modelSuggestions(" ANYTHING ", 10),
            (std::vector<M>{{"Anything V5", 7}, {"anything v3", 2}}));
  EXPECT_EQ(repository.modelSuggestions("1229b", 10),
            (std::vector<M>{{"NovelAI Diffusion V4.5 1229B44F", 7}}));
  EXPECT_TRUE(repository.modelSuggestions("retired", 10).empty());
  EXPECT_TRUE(repository.modelSuggestions("anything", 0).empty());
}

TEST(SuggestionRankingTest, EqualCountsSortIgnoringCaseThenByPlainOrder) {
  using S = TagSuggestion;
  EXPECT_EQ(search::rankedTagSuggestions({S{"b", 2}, S{"B", 2}, S{"a", 2}, S{"C", 2}, S{"z", 3}}, 10),
            (std::vector<S>{S{"z", 3}, S{"a", 2}, S{"B", 2}, S{"b", 2}, S{"C", 2}}));
  EXPECT_TRUE(text::localizedCaseInsensitiveContains("Blue Eyes", "EYES"));
  EXPECT_TRUE(text::localizedCaseInsensitiveContains("ÄRGER", "ärg"));
  EXPECT_FALSE(text::localizedCaseInsensitiveContains("blue", "eyes"));
  EXPECT_EQ(text::localizedCaseInsensitiveCompare("apple", "APPLE"), 0);
  EXPECT_LT(text::localizedCaseInsensitiveCompare("apple", "Banana"), 0);
}

}  // namespace
}  // namespace lorvex
