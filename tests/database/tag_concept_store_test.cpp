#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/database_inspection.h"
#include "database/support/library_rows.h"
#include "database/support/projection_consistency.h"
#include "database/support/projection_fixtures.h"
#include "database/support/recording_options.h"
#include "database/support/repository_connection.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using Error = SQLiteImageRepositoryV3Error;
using Kind = SQLiteImageRepositoryV3Error::Kind;
using testing::textRow;
using testing::textRows;

class TagConceptStoreTest : public ::testing::Test {
 protected:
  void project(const std::string& path, std::vector<std::string> tags) {
    repository.upsertRecord(testing::projectionRecord(path, std::move(tags)), std::nullopt);
  }

  long long count(const std::string& sql) {
    return testing::scalar(lorvex::testing::connectionOf(repository), sql);
  }

  // Everything a failed write must leave as it was.
  std::vector<std::string> conceptState() {
    std::vector<std::string> state;
    for (const char* sql :
         {"SELECT id, display_name, normalized_key, search_text, updated_at FROM tag_concepts ORDER BY id",
          "SELECT * FROM tag_concept_aliases ORDER BY concept_id, tag_term_id",
          "SELECT * FROM image_concept_assignments ORDER BY concept_id, media_file_id",
          "SELECT * FROM concept_image_index ORDER BY concept_id, media_file_id",
          "SELECT * FROM tag_concept_stats ORDER BY concept_id",
          "SELECT rowid, display_name, normalized_key, search_text FROM tag_concept_search_fts ORDER BY "
          "rowid"}) {
      for (auto& row : textRows(repository, sql)) state.push_back(std::move(row));
      state.push_back("--");
    }
    return state;
  }

  // "media_file path|source_mask" of every indexed image of the concept.
  std::vector<std::string> conceptIndex(std::int64_t conceptID) {
    return textRows(
        repository,
        "SELECT media_files.absolute_path, concept_image_index.source_mask FROM concept_image_index JOIN "
        "media_files ON media_files.id = concept_image_index.media_file_id WHERE concept_id = " +
            std::to_string(conceptID) + " ORDER BY media_files.absolute_path");
  }

  template <typename Call>
  void expectError(Call call, const Error& expected) {
    try {
      call();
      ADD_FAILURE() << "expected " << expected;
    } catch (const Error& error) {
      EXPECT_EQ(error, expected);
    }
  }

  testing::TemporaryFolder directory;
  platform::ManualClock clock{1'800'000'000.0};
  std::vector<std::string> statements;
  SQLiteImageRepositoryV3 repository{directory.file(kLibraryDatabaseFileName),
                                     testing::recordingOptions(clock, statements)};
};

TEST_F(TagConceptStoreTest, CreateCleansTheNameAndWritesKeySearchTextAndDerivedRows) {
  const TagConcept created = repository.createTagConcept("  Blue \t\n Eyes  ");
  EXPECT_EQ(created, (TagConcept{created.id, "Blue Eyes", 0}));
  const std::string id = std::to_string(created.id);
  EXPECT_EQ(textRow(repository,
                    "SELECT display_name, normalized_key, search_text, created_at, updated_at FROM "
                    "tag_concepts"),
            "Blue Eyes|blue eyes|blue eyes blue eyes|1800000000.0|1800000000.0");
  EXPECT_EQ(textRow(repository,
                    "SELECT rowid, display_name, normalized_key, search_text FROM tag_concept_search_fts"),
            id + "|Blue Eyes|blue eyes|blue eyes blue eyes");
  EXPECT_EQ(textRow(repository, "SELECT concept_id, image_count FROM tag_concept_stats"), id + "|0");

  // Non-ASCII names: lower-cased by Unicode rules, the key in NFC.
  const TagConcept accented =
      repository.createTagConcept("\xC3\x89T\xC3\x89  Cafe\xCC\x81");  // ÉTÉ Café (NFD)
  EXPECT_EQ(accented.displayName, "\xC3\x89T\xC3\x89 Cafe\xCC\x81");
  EXPECT_EQ(textRow(repository,
                    "SELECT normalized_key FROM tag_concepts WHERE id = " + std::to_string(accented.id)),
            "\xC3\xA9t\xC3\xA9 caf\xC3\xA9");
}

TEST_F(TagConceptStoreTest, NamesThatCleanToNothingOrCollideLeaveNoTrace) {
  repository.createTagConcept("Blue Eyes");
  repository.createTagConcept("Caf\xC3\xA9");
  const auto before = conceptState();

  const Error empty = Error::executionFailed("Tag concept display name cannot be empty");
  for (const std::string name : {"", " \n\t ", "\xE3\x80\x80"}) {  // U+3000 is whitespace too
    expectError([&] { repository.createTagConcept(name); }, empty);
  }
  for (const std::string name : {"BLUE eyes", " blue   eyes ", "CAFE\xCC\x81"}) {
    try {
      repository.createTagConcept(name);
      ADD_FAILURE() << "expected a collision for " << name;
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), Kind::stepFailed) << name;
      EXPECT_EQ(error.localizedDescription(), "SQLite tag concept write failed");
    }
  }
  EXPECT_EQ(conceptState(), before);
}

TEST_F(TagConceptStoreTest, RenameRewritesTheNamesAndRefusesWhatCreateRefuses) {
  project("/lib/a.png", {"smile"});
  const TagConcept happy = repository.createTagConcept("Happy");
  repository.createTagConcept("Sad");
  repository.addTagConceptAlias(happy.id, "smile");
  clock.advance(60);

  const TagConcept renamed = repository.renameTagConcept(happy.id, "  Very   Happy ");
  EXPECT_EQ(renamed, (TagConcept{happy.id, "Very Happy", 1}));
  const std::string id = std::to_string(happy.id);
  EXPECT_EQ(textRow(repository,
                    "SELECT display_name, normalized_key, search_text, created_at, updated_at FROM "
                    "tag_concepts WHERE id = " +
                        id),
            "Very Happy|very happy|very happy very happy|1800000000.0|1800000060.0");
  EXPECT_EQ(textRow(repository, "SELECT display_name FROM tag_concept_search_fts WHERE rowid = " + id),
            "Very Happy");

  const auto before = conceptState();
  try {
    repository.renameTagConcept(happy.id, "SAD");
    ADD_FAILURE() << "expected a collision";
  } catch (const Error& error) {
    EXPECT_EQ(error.kind(), Kind::stepFailed);
  }
  expectError([&] { repository.renameTagConcept(happy.id, "   "); },
              Error::executionFailed("Tag concept display name cannot be empty"));
  expectError([&] { repository.renameTagConcept(999, "Anything"); },
              Error::recordNotFound("tag concept 999"));
  EXPECT_EQ(conceptState(), before);
}

TEST_F(TagConceptStoreTest, AliasesAreSwitchedOffAndOnNeverDeleted) {
  project("/lib/a.png", {"blue eyes", "smile"});
  project("/lib/b.png", {"smile"});
  project("/lib/c.png", {"cat"});
  const TagConcept happy = repository.createTagConcept("Happy");
  const auto aliases = [&] { return repository.tagConceptAliases(happy.id); };
  const auto stats = [&] {
    return textRow(repository, "SELECT image_count, updated_at FROM tag_concept_stats WHERE concept_id = " +
                                   std::to_string(happy.id));
  };

  repository.addTagConceptAlias(happy.id, " Smile ");
  EXPECT_EQ(aliases(), (std::vector<TagConceptAlias>{{happy.id, "smile"}}));
  EXPECT_EQ(conceptIndex(happy.id), (std::vector<std::string>{"/lib/a.png|1", "/lib/b.png|1"}));

  // A weighted group names the tags inside it.
  repository.addTagConceptAlias(happy.id, "(blue eyes:1.2)");
  EXPECT_EQ(aliases(), (std::vector<TagConceptAlias>{{happy.id, "blue eyes"}, {happy.id, "smile"}}));
  EXPECT_EQ(stats(), "2|1800000000.0");

  clock.advance(1);
  repository.removeTagConceptAlias(happy.id, "SMILE");
  EXPECT_EQ(aliases(), (std::vector<TagConceptAlias>{{happy.id, "blue eyes"}}));
  EXPECT_EQ(conceptIndex(happy.id), (std::vector<std::string>{"/lib/a.png|1"}));
  EXPECT_EQ(count("SELECT count(*) FROM tag_concept_aliases"), 2);
  EXPECT_EQ(count("SELECT count(*) FROM tag_concept_aliases WHERE is_active = 0"), 1);

  clock.advance(1);
  repository.addTagConceptAlias(happy.id, "smile");
  EXPECT_EQ(count("SELECT count(*) FROM tag_concept_aliases WHERE is_active = 1"), 2);
  EXPECT_EQ(textRow(repository,
                    "SELECT created_at, updated_at FROM tag_concept_aliases JOIN tag_terms ON "
                    "tag_terms.id = tag_term_id WHERE tag_terms.normalized_key = 'smile'"),
            "1800000000.0|1800000002.0");
  EXPECT_EQ(stats(), "2|1800000002.0");

  // Removing an alias that was never added writes no alias row but still rebuilds the concept.
  clock.advance(1);
  repository.removeTagConceptAlias(happy.id, "cat");
  EXPECT_EQ(count("SELECT count(*) FROM tag_concept_aliases"), 2);
  EXPECT_EQ(stats(), "2|1800000003.0");

  const auto before = conceptState();
  expectError([&] { repository.addTagConceptAlias(happy.id, "  no such tag "); },
              Error::recordNotFound("tag alias   no such tag "));
  expectError([&] { repository.removeTagConceptAlias(happy.id, "no such tag"); },
              Error::recordNotFound("tag alias no such tag"));
  expectError([&] { repository.addTagConceptAlias(happy.id, "   "); },
              Error::recordNotFound("tag alias    "));
  expectError([&] { repository.addTagConceptAlias(999, "cat"); }, Error::recordNotFound("tag concept 999"));
  // Removing skips the concept check, but its rebuild cannot count a concept that does not exist.
  EXPECT_THROW(repository.removeTagConceptAlias(999, "cat"), Error);
  EXPECT_EQ(conceptState(), before);
  EXPECT_TRUE(repository.tagConceptAliases(999).empty());
}

TEST_F(TagConceptStoreTest, AssignmentsAddImagesByHandAndUnassigningKeepsAliasMatches) {
  project("/lib/a.png", {"smile"});
  project("/lib/b.png", {"cat"});
  project("/lib/c.png", {"cat"});
  const TagConcept happy = repository.createTagConcept("Happy");
  const TagConcept other = repository.createTagConcept("Other");
  repository.addTagConceptAlias(happy.id, "smile");

  repository.assignImagesToTagConcept(happy.id, {"/lib/c.png", "/lib/x/../a.png", "/lib/c.png/"});
  repository.assignImagesToTagConcept(other.id, {"/lib/b.png"});
  EXPECT_EQ(conceptIndex(happy.id), (std::vector<std::string>{"/lib/a.png|1", "/lib/c.png|0"}));
  EXPECT_EQ(
      repository.manualTagConceptAssignments({"/lib/c.png", "/lib/b.png", "/lib/a.png", "/lib/none.png"}),
      (std::vector<TagConceptManualAssignment>{
          {happy.id, "/lib/a.png"}, {happy.id, "/lib/c.png"}, {other.id, "/lib/b.png"}}));

  // The image that also carries the alias tag stays; the hand-only one leaves.
  repository.unassignImagesFromTagConcept(happy.id, {"/lib/a.png", "/lib/c.png"});
  EXPECT_EQ(conceptIndex(happy.id), (std::vector<std::string>{"/lib/a.png|1"}));
  EXPECT_EQ(count("SELECT count(*) FROM image_concept_assignments WHERE is_active = 0"), 2);
  EXPECT_EQ(repository.manualTagConceptAssignments({"/lib/a.png", "/lib/c.png"}),
            std::vector<TagConceptManualAssignment>{});

  repository.assignImagesToTagConcept(happy.id, {"/lib/c.png"});
  EXPECT_EQ(count("SELECT count(*) FROM image_concept_assignments"), 3);
  EXPECT_EQ(repository.searchTagConcepts("happy", 10, true),
            (std::vector<TagConcept>{{happy.id, "Happy", 2}}));

  // Nothing to do: no check of the concept, no statement at all.
  statements.clear();
  repository.assignImagesToTagConcept(999, {});
  repository.unassignImagesFromTagConcept(999, {""});
  EXPECT_TRUE(repository.manualTagConceptAssignments({}).empty());
  EXPECT_TRUE(statements.empty());

  const auto before = conceptState();
  expectError(
      [&] {
        repository.assignImagesToTagConcept(happy.id, {"/lib/b.png", "/lib/./none.png"});
      },
      Error::recordNotFound("/lib/none.png"));
  expectError([&] { repository.unassignImagesFromTagConcept(happy.id, {"/lib/none.png"}); },
              Error::recordNotFound("/lib/none.png"));
  expectError([&] { repository.assignImagesToTagConcept(999, {"/lib/b.png"}); },
              Error::recordNotFound("tag concept 999"));
  EXPECT_EQ(conceptState(), before);
}

TEST_F(TagConceptStoreTest, AFailedRebuildRollsBackTheWholeWrite) {
  project("/lib/a.png", {"smile"});
  project("/lib/b.png", {"cat"});
  const TagConcept happy = repository.createTagConcept("Happy");
  repository.addTagConceptAlias(happy.id, "cat");
  repository.assignImagesToTagConcept(happy.id, {"/lib/a.png"});
  clock.advance(1);
  const auto before = conceptState();
  lorvex::testing::connectionOf(repository)
      .executeScript(
          "CREATE TEMP TRIGGER fail_count BEFORE INSERT ON tag_concept_stats BEGIN SELECT RAISE(ABORT, "
          "'injected'); "
          "END;");

  const std::vector<std::pair<std::string, std::function<void()>>> writes = {
      {"create", [&] { repository.createTagConcept("Sad"); }},
      {"rename", [&] { repository.renameTagConcept(happy.id, "Glad"); }},
      {"add alias", [&] { repository.addTagConceptAlias(happy.id, "smile"); }},
      {"remove alias", [&] { repository.removeTagConceptAlias(happy.id, "cat"); }},
      {"assign", [&] { repository.assignImagesToTagConcept(happy.id, {"/lib/b.png"}); }},
      {"unassign", [&] { repository.unassignImagesFromTagConcept(happy.id, {"/lib/a.png"}); }},
  };
  for (const auto& [name, write] : writes) {
    EXPECT_THROW(write(), Error) << name;
    EXPECT_EQ(conceptState(), before) << name;
  }
  lorvex::testing::connectionOf(repository).executeScript("DROP TRIGGER fail_count;");
  EXPECT_EQ(repository.renameTagConcept(happy.id, "Glad"), (TagConcept{happy.id, "Glad", 2}));
}

TEST_F(TagConceptStoreTest, LongPathListsAreReadInChunksAndStayInOrder) {
  std::vector<std::string> paths;
  for (int i = 0; i < 450; ++i) {
    paths.push_back("/lib/" + std::to_string(100000 + i) + ".png");
    testing::insertMediaFile(repository, {.path = paths.back()});
  }
  const TagConcept first = repository.createTagConcept("First");
  const TagConcept second = repository.createTagConcept("Second");
  std::vector<std::string> reversed(paths.rbegin(), paths.rend());
  std::vector<std::string> odd;
  for (std::size_t i = 1; i < paths.size(); i += 2) odd.push_back(paths[i]);
  repository.assignImagesToTagConcept(first.id, reversed);
  repository.assignImagesToTagConcept(second.id, odd);
  EXPECT_EQ(repository.searchTagConcepts(std::nullopt, 10, false),
            (std::vector<TagConcept>{{first.id, "First", 450}, {second.id, "Second", 225}}));

  statements.clear();
  reversed.push_back("/lib/none.png");
  const auto assignments = repository.manualTagConceptAssignments(reversed);
  std::vector<TagConceptManualAssignment> expected;
  for (const auto& path : paths) expected.push_back({first.id, path});
  for (const auto& path : odd) expected.push_back({second.id, path});
  EXPECT_EQ(assignments, expected);
  ASSERT_EQ(statements.size(), 2u);
  for (const auto& sql : statements) EXPECT_LE(std::count(sql.begin(), sql.end(), '?'), 400);

  repository.unassignImagesFromTagConcept(first.id, paths);
  EXPECT_EQ(repository.searchTagConcepts("first", 10, true),
            (std::vector<TagConcept>{{first.id, "First", 0}}));
}

TEST_F(TagConceptStoreTest, SearchMatchesKeyOrSearchTextAndRanksByImages) {
  project("/lib/a.png", {"smile", "blue eyes"});
  project("/lib/b.png", {"smile"});
  const TagConcept happy = repository.createTagConcept("Happy");
  const TagConcept blue = repository.createTagConcept("Blue Eyes");
  const TagConcept zed = repository.createTagConcept("Zed");
  const TagConcept empty = repository.createTagConcept("Empty");
  const TagConcept apple = repository.createTagConcept("apple");
  repository.addTagConceptAlias(happy.id, "smile");
  repository.addTagConceptAlias(blue.id, "blue eyes");
  const TagConcept happyNow{happy.id, "Happy", 2};
  const TagConcept blueNow{blue.id, "Blue Eyes", 1};

  const struct {
    std::optional<std::string> text;
    std::int64_t limit;
    bool includeEmpty;
    std::vector<TagConcept> expected;
  } cases[] = {
      // Most images first, then the name without regard to case.
      {std::nullopt, 10, true, {happyNow, blueNow, apple, empty, zed}},
      {"   ", 10, true, {happyNow, blueNow, apple, empty, zed}},
      {std::nullopt, 10, false, {happyNow, blueNow}},
      {std::nullopt, 2, true, {happyNow, blueNow}},
      {std::nullopt, -5, true, {}},
      {"  HAPPY ", 10, true, {happyNow}},
      {"E", 10, true, {blueNow, apple, empty, zed}},
      {"e", 10, false, {blueNow}},
      {"eyes  blue", 10, true, {blueNow}},  // only the search text holds the name twice
      {"nothing", 10, true, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(repository.searchTagConcepts(c.text, c.limit, c.includeEmpty), c.expected)
        << c.text.value_or("<none>") << " " << c.limit << " " << c.includeEmpty;
  }
}

TEST_F(TagConceptStoreTest, RandomEditsAndReprojectionsKeepDerivedRowsConsistent) {
  const std::vector<std::string> tagPool = {"smile", "cat", "blue eyes", "Blue Eyes",
                                            "1girl", "sky", "hat",       "dog"};
  std::mt19937 random(20261207);
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  const auto randomTags = [&] {
    std::vector<std::string> tags;
    for (const auto& tag : tagPool) {
      if (pick(3) == 0) tags.push_back(tag);
    }
    return tags;
  };
  std::vector<std::string> paths;
  for (int i = 0; i < 24; ++i) {
    paths.push_back("/lib/" + std::to_string(i) + ".png");
    project(paths.back(), randomTags());
  }
  project("/lib/all.png", tagPool);  // every tag term exists
  std::vector<std::int64_t> concepts;
  for (const char* name : {"One", "Two", "Three", "Four"})
    concepts.push_back(repository.createTagConcept(name).id);

  for (int step = 0; step < 120; ++step) {
    const std::int64_t conceptID = concepts[pick(concepts.size())];
    const std::string& tag = tagPool[pick(tagPool.size())];
    const std::string& path = paths[pick(paths.size())];
    switch (pick(6)) {
      case 0:
        repository.addTagConceptAlias(conceptID, tag);
        break;
      case 1:
        repository.removeTagConceptAlias(conceptID, tag);
        break;
      case 2:
        repository.assignImagesToTagConcept(conceptID, {path, paths[pick(paths.size())]});
        break;
      case 3:
        repository.unassignImagesFromTagConcept(conceptID, {path});
        break;
      case 4:
        repository.renameTagConcept(conceptID, "Name " + std::to_string(step));
        break;
      default:
        project(path, randomTags());
        break;
    }
    if (step % 10 == 9) {
      ASSERT_EQ(testing::projectionInconsistencies(lorvex::testing::connectionOf(repository)),
                std::vector<std::string>{})
          << "after step " << step;
    }
  }
  // The counts the store reports are the recounted ones.
  for (const TagConcept& stored : repository.searchTagConcepts(std::nullopt, 100, true)) {
    EXPECT_EQ(stored.imageCount, count("SELECT count(*) FROM concept_image_index WHERE concept_id = " +
                                       std::to_string(stored.id)));
  }
  EXPECT_EQ(repository.searchTagConcepts(std::nullopt, 100, true).size(), concepts.size());
  // The walk went through every kind of row the concepts derive from.
  EXPECT_GT(count("SELECT count(*) FROM concept_image_index WHERE source_mask = 1"), 0);
  EXPECT_GT(count("SELECT count(*) FROM concept_image_index WHERE source_mask = 0"), 0);
  EXPECT_GT(count("SELECT count(*) FROM tag_concept_aliases WHERE is_active = 0"), 0);
  EXPECT_GT(count("SELECT count(*) FROM image_concept_assignments WHERE is_active = 0"), 0);
}

}  // namespace
}  // namespace lorvex
