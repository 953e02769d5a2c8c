// The concept index: the full rebuild that defines it, the per-image update the projection runs
// instead, and randomised libraries on which both, and the consistency checker, must agree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <random>
#include <string>
#include <vector>

#include "database/internal/concept_index.h"
#include "database/internal/row_mappers.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/projection_consistency.h"
#include "database/support/projection_fixtures.h"
#include "database/support/repository_connection.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ConceptIndexTest : public testing::ProjectionTest {
 protected:
  std::int64_t project(const std::string& path, std::vector<std::string> tags,
                       std::vector<std::string> captions = {}) {
    auto record = testing::projectionRecord(path, std::move(tags));
    for (auto& caption : captions) record.metadata.characterCaptions.push_back({std::move(caption), {}});
    repository.upsertRecord(record, std::nullopt);
    return repository.mediaFileID(path);
  }
};

TEST_F(ConceptIndexTest, RebuildTakesTheLargestMaskAndCountsHandAssignments) {
  const auto both = project("/lib/both.png", {"cat"}, {"kitten"});  // cat: mask 1, kitten: mask 2
  const auto assigned = project("/lib/assigned.png", {"dog"});
  const auto inactive = project("/lib/inactive.png", {"tabby"});
  const auto conceptID = testing::createTagConcept(
      repository, "Cats", {{"cat"}, {"kitten"}, {"tabby", false}}, {{assigned}, {both}, {inactive, false}});
  EXPECT_THAT(
      rows("SELECT concept_id, media_file_id, source_mask FROM concept_image_index ORDER BY media_file_id"),
      ElementsAre("1|" + std::to_string(both) + "|2", "1|" + std::to_string(assigned) + "|0"));
  EXPECT_EQ(row("SELECT concept_id, image_count FROM tag_concept_stats"), std::to_string(conceptID) + "|2");
  EXPECT_EQ(row("SELECT rowid, display_name, normalized_key, search_text FROM tag_concept_search_fts"),
            "1|Cats|cats|cats cats");
}

TEST_F(ConceptIndexTest, ConceptLookupIgnoresInactiveAliasesAndEmptyLists) {
  project("/lib/a.png", {"cat", "dog", "bird"});
  testing::createTagConcept(repository, "Pets", {{"dog"}, {"cat"}});
  testing::createTagConcept(repository, "Birds", {{"bird", false}});
  testing::createTagConcept(repository, "Dogs", {{"dog"}});
  auto& connection = lorvex::testing::connectionOf(repository);
  auto guard = connection.lock();
  const auto termID = [&](const char* key) {
    return connection.query("SELECT id FROM tag_terms WHERE normalized_key = ?", {key},
                            rows::firstInt64OrZero);
  };
  EXPECT_THAT(conceptIDs(connection, {}), IsEmpty());
  EXPECT_THAT(conceptIDs(connection, {termID("bird")}), IsEmpty());
  EXPECT_THAT(conceptIDs(connection, {termID("dog"), termID("cat"), termID("dog")}), ElementsAre(1, 3));
}

TEST_F(ConceptIndexTest, ProjectionUpdatesOnlyTheImagesRowsOfTheConceptsItsTagsFeed) {
  for (int i = 0; i < 5; ++i) project("/lib/" + std::to_string(i) + ".png", {"cat"});
  testing::createTagConcept(repository, "Cats", {{"cat"}});
  statements.clear();
  project("/lib/new.png", {"cat"});
  EXPECT_EQ(std::count(statements.begin(), statements.end(),
                       "DELETE FROM concept_image_index WHERE concept_id = ?"),
            0);
  EXPECT_EQ(row("SELECT image_count FROM tag_concept_stats"), "6");

  // The image loses the tag: its row goes and the count follows.
  project("/lib/new.png", {"dog"});
  EXPECT_EQ(row("SELECT image_count FROM tag_concept_stats"), "5");
  EXPECT_THAT(testing::projectionInconsistencies(lorvex::testing::connectionOf(repository)), IsEmpty());
}

TEST_F(ConceptIndexTest, ImagesWithMoreTermsAndConceptsThanOneStatementBindsStayConsistent) {
  std::vector<std::string> tags;
  for (int i = 0; i < 1200; ++i) tags.push_back("tag " + std::to_string(i));
  project("/lib/a.png", tags);
  for (int c = 0; c < 520; ++c)
    testing::createTagConcept(repository, "Concept " + std::to_string(c), {{tags[c * 2]}});
  tags.erase(tags.begin(), tags.begin() + 500);  // the image leaves the first 250 concepts
  project("/lib/a.png", tags);
  project("/lib/b.png", tags);
  EXPECT_EQ(row("SELECT count(*), sum(image_count) FROM tag_concept_stats"), "520|540");
  EXPECT_THAT(testing::projectionInconsistencies(lorvex::testing::connectionOf(repository)), IsEmpty());
}

TEST_F(ConceptIndexTest, TheConceptUpdateBindsNoMoreIdsPerStatementThanTheLibraryBound) {
  std::vector<std::string> tags;
  for (int i = 0; i < 450; ++i) tags.push_back("tag " + std::to_string(i));
  project("/lib/a.png", tags);
  for (int c = 0; c < 450; ++c)
    testing::createTagConcept(repository, "Concept " + std::to_string(c), {{tags[c]}});
  // One list of 400 ids and a few scalars per statement.
  sqlite3_limit(lorvex::testing::connectionOf(repository).handle(), SQLITE_LIMIT_VARIABLE_NUMBER, 405);
  tags.erase(tags.begin(), tags.begin() + 10);
  project("/lib/a.png", tags);
  EXPECT_EQ(row("SELECT count(*), sum(image_count) FROM tag_concept_stats"), "450|440");
  EXPECT_THAT(testing::projectionInconsistencies(lorvex::testing::connectionOf(repository)), IsEmpty());
}

// A small random library: tags drawn from a vocabulary with spelling variants, character captions
// in NovelAI syntax, a few models (one whose source is blank), concepts with active and inactive
// aliases and hand assignments, and rounds of re-projections and new images.
class RandomLibrary {
 public:
  explicit RandomLibrary(unsigned seed) : random_(seed) {}

  ImageRecord record(const std::string& path) {
    static const std::vector<std::string> kTags = {"cat",    "Cat",  "red  eyes",   "Red Eyes",    "smile",
                                                   "1girl",  "solo", "dog",         "blue sky",    "tabby",
                                                   "kitten", "hat",  "caf\xC3\xA9", "CAFE\xCC\x81"};
    static const std::vector<std::string> kCaptionTokens = {
        "cat", "{kitten}", "Smile", "1.2::hat::", "girl", "[[dog]]", "red eyes"};
    static const std::vector<std::string> kModels = {"NovelAI Diffusion V4.5 1229B44F", "Model B", "lora-x",
                                                     "  "};
    auto record = testing::projectionRecord(path, pick(kTags, 0, 6));
    for (int c = uniform(0, 2); c > 0; --c) {
      std::string caption;
      for (const auto& token : pick(kCaptionTokens, 0, 3)) caption += token + ", ";
      record.metadata.characterCaptions.push_back({caption, {}});
    }
    if (uniform(0, 3) == 0) record.metadata.negativeCharacterCaptions.push_back({"bad hands, cat", {}});
    for (const auto& model : pick(kModels, 0, 2)) {
      record.metadata.modelUsages.push_back(testing::modelUsage(model, uniform(0, 1) ? "primary" : "lora"));
    }
    return record;
  }

  int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  std::vector<std::string> pick(const std::vector<std::string>& from, int low, int high) {
    std::vector<std::string> picked;
    for (int n = uniform(low, high); n > 0; --n)
      picked.push_back(from[uniform(0, static_cast<int>(from.size()) - 1)]);
    return picked;
  }

 private:
  std::mt19937 random_;
};

// Concept rows and counts as stored.
std::vector<std::string> conceptState(SQLiteImageRepositoryV3& repository) {
  auto state = testing::textRows(repository,
                                 "SELECT concept_id, media_file_id, source_mask FROM concept_image_index "
                                 "ORDER BY concept_id, media_file_id");
  for (auto& row : testing::textRows(repository,
                                     "SELECT concept_id, image_count FROM tag_concept_stats "
                                     "ORDER BY concept_id")) {
    state.push_back("count " + row);
  }
  return state;
}

TEST(ConceptIndexRandomLibraries, IncrementalUpdatesEqualTheFullRebuildAndTheCheckerAgrees) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    testing::TemporaryFolder directory;
    SQLiteImageRepositoryV3 repository(directory.file(kLibraryDatabaseFileName));
    RandomLibrary library(seed);
    const auto path = [](int i) { return "/lib/" + std::to_string(i) + ".png"; };
    int images = 30;
    for (int i = 0; i < images; ++i) repository.upsertRecord(library.record(path(i)), std::nullopt);

    const std::vector<std::vector<testing::ConceptAlias>> aliasSets = {{{"cat"}, {"kitten"}},
                                                                       {{"red eyes"}},
                                                                       {{"smile", false}, {"hat"}},
                                                                       {{"never used"}},
                                                                       {{"dog"}, {"caf\xC3\xA9"}}};
    std::vector<std::int64_t> concepts;
    for (std::size_t c = 0; c < aliasSets.size(); ++c) {
      std::vector<testing::ConceptAssignment> assignments;
      for (int n = library.uniform(0, 4); n > 0; --n) {
        assignments.push_back({library.uniform(1, images), library.uniform(0, 3) != 0});
      }
      concepts.push_back(
          testing::createTagConcept(repository, "Concept " + std::to_string(c), aliasSets[c], assignments));
    }
    ASSERT_THAT(testing::projectionInconsistencies(lorvex::testing::connectionOf(repository)), IsEmpty());

    for (int round = 0; round < 4; ++round) {
      SCOPED_TRACE("round " + std::to_string(round));
      // A concept's aliases change between rounds, followed by its rebuild, as the concept store
      // does it; later projections build on the rebuilt rows.
      const std::int64_t changed = concepts[static_cast<std::size_t>(library.uniform(0, 4))];
      auto& db = lorvex::testing::connectionOf(repository);
      db.performLockedTransaction([&] {
        db.execute("UPDATE tag_concept_aliases SET is_active = 1 - is_active WHERE concept_id = ?",
                   {changed});
        rebuildTagConceptIndex(db, changed, 3.0);
      });
      for (int n = 0; n < 20; ++n)
        repository.upsertRecord(library.record(path(library.uniform(0, images - 1))), {});
      for (int n = 0; n < 5; ++n) repository.upsertRecord(library.record(path(images++)), std::nullopt);
      ASSERT_THAT(testing::projectionInconsistencies(lorvex::testing::connectionOf(repository)), IsEmpty());

      const auto incremental = conceptState(repository);
      auto& connection = lorvex::testing::connectionOf(repository);
      connection.performLockedTransaction([&] {
        for (const auto conceptID : concepts) rebuildTagConceptIndex(connection, conceptID, 2.0);
      });
      EXPECT_EQ(conceptState(repository), incremental);
    }
  }
}

}  // namespace
}  // namespace lorvex
