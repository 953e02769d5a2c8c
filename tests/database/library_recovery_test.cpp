// A library the program wrote, with marks and a tag concept, is damaged page by page. Damage to
// what the tables rebuild (the full-text index, an index) is repaired where it lies and the library
// opens with everything it had; damage to a table's own rows sets the file aside, and the new
// library built in its place gets every mark back as its images are written again, also across a
// restart in the middle, and also for an image found at another path by its content.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "database/internal/row_mappers.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/file_contents.h"
#include "database/support/projection_consistency.h"
#include "database/support/projection_fixtures.h"
#include "database/support/repository_connection.h"
#include "support/library_file_name.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::libraryFileName;

using Error = SQLiteImageRepositoryV3Error;
namespace fs = std::filesystem;

constexpr int kImages = 600;

std::string pathOf(int image) {
  char name[64];
  std::snprintf(name, sizeof name, "/photos/day%d/img%04d.png", image % 3, image);
  return name;
}

std::string contentOf(int image) {
  char hash[65];
  std::snprintf(hash, sizeof hash, "%064x", image + 1);
  return hash;
}

// Prompts of distinct words, so that the full-text index spans many pages.
ImageRecord recordOf(int image) {
  ImageRecord record = testing::projectionRecord(pathOf(image), {"cat", "tag" + std::to_string(image % 7)});
  std::string prompt = "cat";
  for (int word = 0; word < 30; ++word) prompt += " w" + std::to_string((image * 31 + word * 17) % 2000);
  prompt += " unique" + std::to_string(image);
  record.metadata.prompt = prompt;
  record.metadata.promptSegments = GenerationMetadata::makePromptSegments(
      record.metadata.prompt, record.metadata.negativePrompt, std::nullopt, std::nullopt);
  record.contentSHA256 = contentOf(image);
  return record;
}

ReviewState markOf(int image) {
  ReviewState state;
  state.favorite = image % 10 == 0;
  state.deleteCandidate = image % 15 == 0;
  if (image % 50 == 7) state.notes = "note " + std::to_string(image);
  return state;
}

using Marks = std::map<std::string, ReviewState>;

// Every image with a review state that is not the default one, by path.
Marks marksIn(SQLiteImageRepositoryV3& repository) {
  auto& db = testing::connectionOf(repository);
  auto guard = db.lock();
  return db.query(
      "SELECT absolute_path, favorite, delete_candidate, notes FROM media_files JOIN review_states ON "
      "review_states.media_file_id = media_files.id WHERE favorite <> 0 OR delete_candidate <> 0 OR notes IS "
      "NOT NULL",
      {}, [](SQLiteRows& rows) {
        Marks marks;
        while (rows.next())
          marks[rows.text(0)] = {rows.int64(1) != 0, rows.int64(2) != 0, rows.optionalText(3)};
        return marks;
      });
}

std::int64_t count(SQLiteImageRepositoryV3& repository, const std::string& sql) {
  auto& db = testing::connectionOf(repository);
  auto guard = db.lock();
  return db.query(sql, {}, rows::firstInt64OrZero);
}

std::string integrityCheck(SQLiteImageRepositoryV3& repository) {
  auto& db = testing::connectionOf(repository);
  auto guard = db.lock();
  return db.query("PRAGMA integrity_check;", {},
                  [](SQLiteRows& rows) { return rows.next() ? rows.text(0) : ""; });
}

std::int64_t textMatches(SQLiteImageRepositoryV3& repository, const std::string& text) {
  ImageSearchQuery query;
  query.text = text;
  query.limit = kImages;
  return static_cast<std::int64_t>(repository.searchImages(query).size());
}

// The library as the program writes it: every image projected, a mark on some, a tag concept with
// an alias and a hand-made assignment. Returns the marks.
Marks writeLibrary(const fs::path& file) {
  SQLiteImageRepositoryV3 repository(file);
  Marks marks;
  for (int image = 0; image < kImages; ++image) repository.upsertRecord(recordOf(image), std::nullopt);
  for (int image = 0; image < kImages; ++image) {
    const ReviewState state = markOf(image);
    if (state == ReviewState{}) continue;
    repository.updateReviewState(pathOf(image), state);
    marks[pathOf(image)] = state;
  }
  const TagConcept felines = repository.createTagConcept("Felines");
  repository.addTagConceptAlias(felines.id, "tag3");
  repository.assignImagesToTagConcept(felines.id, {pathOf(1), pathOf(2)});
  return marks;
}

// Leaf pages of one table or index, as SQLite's dbstat reports them.
std::vector<std::int64_t> leafPages(const fs::path& file, const std::string& name) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, "SELECT pageno FROM dbstat WHERE name = ? AND pagetype = 'leaf' ORDER BY pageno", -1,
                     &statement, nullptr);
  sqlite3_bind_text(statement, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  std::vector<std::int64_t> pages;
  while (sqlite3_step(statement) == SQLITE_ROW) pages.push_back(sqlite3_column_int64(statement, 0));
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return pages;
}

// Overwrites each page with junk.
void damagePages(const fs::path& file, const std::vector<std::int64_t>& pages) {
  std::string bytes = testing::readFile(file);
  std::uint32_t state = 2463534242u;
  for (const std::int64_t page : pages) {
    const std::size_t start = static_cast<std::size_t>(page - 1) * 4096;
    ASSERT_LE(start + 4096, bytes.size());
    for (std::size_t i = start; i < start + 4096; ++i) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      bytes[i] = static_cast<char>(state);
    }
  }
  testing::writeFile(file, bytes);
}

// Pages from the middle of the structure, spread apart.
std::vector<std::int64_t> middlePages(const fs::path& file, const std::string& name, std::size_t count) {
  const std::vector<std::int64_t> pages = leafPages(file, name);
  EXPECT_GE(pages.size(), 4 * count) << name;
  std::vector<std::int64_t> chosen;
  for (std::size_t i = 1; i <= count; ++i) chosen.push_back(pages[i * pages.size() / (count + 1)]);
  return chosen;
}

class LibraryRecoveryTest : public ::testing::Test {
 protected:
  testing::TemporaryFolder directory;
  fs::path file = directory.file(kLibraryDatabaseFileName);
};

TEST_F(LibraryRecoveryTest, DamageToWhatTheTablesRebuildIsRepairedWhereItLies) {
  const auto pages = [](const char* structure) {
    return [structure](const fs::path& path) { damagePages(path, middlePages(path, structure, 1)); };
  };
  const struct {
    const char* name;
    std::function<void(const fs::path&)> damage;
    // What the program does that meets the damage (and marks the file).
    std::function<void(SQLiteImageRepositoryV3&)> meetDamage;
    bool textIsLost;
    bool keepsTheFile;  // repaired inside the file itself, not in a copy
  } cases[] = {
      {"a page of the full-text index", pages("media_text_fts_data"),
       [](SQLiteImageRepositoryV3& repository) {
         // Searching term after term reaches the damaged page sooner or later.
         for (int word = 0; word < 2000; ++word) textMatches(repository, "w" + std::to_string(word));
         for (int image = 0; image < kImages; ++image)
           textMatches(repository, "unique" + std::to_string(image));
       },
       false, false},
      {"a page of an index", pages("idx_media_files_path_browse"),
       [](SQLiteImageRepositoryV3& repository) {
         count(repository,
               "SELECT count(*) FROM media_files INDEXED BY idx_media_files_path_browse WHERE absolute_path "
               "> ''");
       },
       false, false},
      {"a page of the full-text table's own text", pages("media_text_fts_content"),
       [](SQLiteImageRepositoryV3& repository) {
         count(repository, "SELECT count(tags) FROM media_text_fts");
       },
       true, false},
      {"the full-text index out of step with its text",
       [](const fs::path& path) {
         sqlite3* db = nullptr;
         ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
         ASSERT_EQ(
             sqlite3_exec(db, "DELETE FROM media_text_fts_content WHERE id = 124", nullptr, nullptr, nullptr),
             SQLITE_OK);
         sqlite3_close(db);
       },
       [](SQLiteImageRepositoryV3& repository) {
         testing::connectionOf(repository)
             .executeScript("INSERT INTO media_text_fts (media_text_fts) VALUES ('integrity-check');");
       },
       true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TemporaryFolder folder;
    const fs::path path = folder.file(kLibraryDatabaseFileName);
    const Marks marks = writeLibrary(path);
    c.damage(path);
    {
      SQLiteImageRepositoryV3 damaged(path);
      EXPECT_THROW(c.meetDamage(damaged), Error);
    }
    ASSERT_TRUE(fs::exists(folder.file(libraryFileName("-damaged"))));
    struct stat before {};
    ::stat(path.c_str(), &before);

    SQLiteImageRepositoryV3 repaired(path);
    struct stat after {};
    ::stat(path.c_str(), &after);
    EXPECT_EQ(before.st_ino == after.st_ino, c.keepsTheFile);
    EXPECT_FALSE(fs::exists(folder.file(libraryFileName("-damaged"))));
    for (const auto& name : testing::folderListing(folder.path()))
      EXPECT_EQ(name.find(".pre-v4"), std::string::npos) << name;
    EXPECT_EQ(integrityCheck(repaired), "ok");
    EXPECT_EQ(marksIn(repaired), marks);
    EXPECT_EQ(count(repaired, "SELECT count(*) FROM media_files"), kImages);
    EXPECT_EQ(repaired.searchTagConcepts(std::string("felines"), 5).at(0).imageCount, 2 + kImages / 7 + 1);
    // Text that is lost comes back from the images themselves: the next scan projects them again.
    EXPECT_EQ(repaired.hasFilesNeedingReprojection({"/photos"}), c.textIsLost);
    if (c.textIsLost) {
      for (int image = 0; image < kImages; ++image) repaired.upsertRecord(recordOf(image), std::nullopt);
      EXPECT_EQ(marksIn(repaired), marks);
    }
    EXPECT_TRUE(testing::projectionInconsistencies(testing::connectionOf(repaired)).empty());
    EXPECT_EQ(textMatches(repaired, "unique123"), 1);
    EXPECT_EQ(textMatches(repaired, "cat"), kImages);
  }
}

TEST_F(LibraryRecoveryTest, ALibraryWhoseRowsAreLostIsSetAsideAndTheNewOneGetsEveryMarkBack) {
  const Marks marks = writeLibrary(file);
  // Pages of the media files table: none of them holds a review state.
  damagePages(file, middlePages(file, "media_files", 3));
  {
    SQLiteImageRepositoryV3 damaged(file);
    EXPECT_THROW(count(damaged, "SELECT sum(length(absolute_path)) FROM media_files NOT INDEXED"), Error);
  }
  try {
    SQLiteImageRepositoryV3 refused(file);
    FAIL() << "the damaged library opened";
  } catch (const Error& error) {
    EXPECT_EQ(error, Error::incompatibleSchemaVersion(4));
    EXPECT_TRUE(error.reportsDamagedFile());
  }
  const fs::path setAside = SQLiteImageRepositoryV3::moveAsidePreV4Database(file, 4, "100");
  EXPECT_EQ(setAside, directory.file(libraryFileName(".pre-v4-v4-100")));
  SQLiteImageRepositoryV3::carryMarksFrom(file, setAside);

  // Two marked images were moved while the library was broken: found by their content.
  const auto pathNow = [](int image) {
    return image == 20 || image == 7 ? "/photos/sorted/img" + std::to_string(image) + ".png" : pathOf(image);
  };
  {
    SQLiteImageRepositoryV3 rebuilt(file);
    EXPECT_EQ(rebuilt.carriedMarkCount(), 0);
    const auto concepts = rebuilt.searchTagConcepts(std::string("felines"), 5);
    ASSERT_EQ(concepts.size(), 1u);
    EXPECT_EQ(rebuilt.tagConceptAliases(concepts[0].id).at(0).tag, "tag3");
    // Half of the images before a quit...
    for (int image = 0; image < kImages / 2; ++image) {
      ImageRecord record = recordOf(image);
      record.file.path = pathNow(image);
      rebuilt.upsertRecord(record, std::nullopt);
    }
  }
  SQLiteImageRepositoryV3 rebuilt(file);
  const IndexingJobRecord job = rebuilt.startIndexingJob({"/photos"});
  for (int image = kImages / 2; image < kImages; ++image) rebuilt.upsertRecord(recordOf(image), job.id);

  Marks expected;
  for (const auto& [path, state] : marks) {
    const int image = std::stoi(path.substr(path.size() - 8, 4));
    expected[pathNow(image)] = state;
  }
  EXPECT_EQ(marksIn(rebuilt), expected);
  EXPECT_EQ(rebuilt.manualTagConceptAssignments({pathOf(1), pathOf(2)}).size(), 2u);
  EXPECT_EQ(rebuilt.searchTagConcepts(std::string("felines"), 5).at(0).imageCount, 2 + kImages / 7 + 1);
  EXPECT_TRUE(testing::projectionInconsistencies(testing::connectionOf(rebuilt)).empty());

  // Once every registered folder was scanned the carrying ends: an image new after it starts with
  // no marks.
  rebuilt.completeIndexingJob(job.id);
  rebuilt.noteFoldersScanned({"/photos"}, {"/photos"});
  EXPECT_FALSE(fs::exists(SQLiteImageRepositoryV3::carriedMarksNotePath(file)));
  ImageRecord copy = recordOf(30);
  copy.file.path = "/photos/later/img0030.png";
  rebuilt.upsertRecord(copy, std::nullopt);
  EXPECT_FALSE(marksIn(rebuilt).contains(copy.file.path));
}

TEST_F(LibraryRecoveryTest, ALibraryWhoseFirstPageIsOverwrittenIsDamageAndItsMarksAreReadBack) {
  // Only the header, or the whole first page with the schema table's root.
  for (const std::size_t overwritten : {std::size_t{100}, std::size_t{4096}}) {
    SCOPED_TRACE(overwritten);
    const fs::path library = directory.file("first-page-" + std::to_string(overwritten) + ".sqlite");
    const Marks marks = writeLibrary(library);
    std::string bytes = testing::readFile(library);
    std::fill_n(bytes.begin(), overwritten, '\xA5');
    testing::writeFile(library, bytes);
    try {
      SQLiteImageRepositoryV3 refused(library);
      FAIL() << "opened";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), Error::Kind::incompatibleSchemaVersion);
      EXPECT_TRUE(error.reportsDamagedFile());
    }
    const fs::path setAside = SQLiteImageRepositoryV3::moveAsidePreV4Database(library, 0, "100");
    SQLiteImageRepositoryV3::carryMarksFrom(library, setAside);
    SQLiteImageRepositoryV3 rebuilt(library);
    EXPECT_TRUE(rebuilt.carriedMarksFound());
    for (int image = 0; image < kImages; ++image) rebuilt.upsertRecord(recordOf(image), std::nullopt);
    EXPECT_EQ(rebuilt.carriedMarkCount(), static_cast<std::int64_t>(marks.size()));
    EXPECT_EQ(marksIn(rebuilt), marks);
    // The set-aside file stays as it was found, and nothing of the copy it was read through remains.
    EXPECT_EQ(testing::readFile(setAside), bytes);
    EXPECT_FALSE(fs::exists(setAside.string() + "-readable"));
  }
}

// An image's content is the first letter of its name. Old library: a1 marked and trashed, its twin
// a2 not marked; twins c1 and c2 both marked; e1 marked in a folder that is away during the
// rebuild. The new library gives back only what is certain, and keeps the rest until the folder
// that was away has been scanned.
TEST_F(LibraryRecoveryTest, MarksGoOnlyWhereTheyCertainlyBelongAndWaitForEveryFolder) {
  const auto at = [&](const std::string& name) { return directory / name; };
  const auto write = [&](SQLiteImageRepositoryV3& library, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      ImageRecord record = testing::projectionRecord(at(name));
      record.contentSHA256 = std::string(64, name[name.find('/') + 1]);
      library.upsertRecord(record, std::nullopt);
    }
  };
  const ReviewState favorite{true, false, std::nullopt};
  const fs::path old = directory.file("old.sqlite");
  {
    SQLiteImageRepositoryV3 library(old);
    write(library, {"photos/a1.png", "photos/a2.png", "photos/c1.png", "photos/c2.png", "away/e1.png"});
    library.updateReviewState(at("photos/a1.png"), {true, true, std::nullopt});
    library.markTrashedPathsMissing({at("photos/a1.png")});
    library.updateReviewState(at("photos/c1.png"), favorite);
    library.updateReviewState(at("photos/c2.png"), {false, true, std::nullopt});
    library.updateReviewState(at("away/e1.png"), favorite);
  }
  SQLiteImageRepositoryV3::carryMarksFrom(file, old);
  const std::vector<std::string> folders{at("photos"), at("away")};
  {
    // a2 is where it was; c1 and c2 were renamed while the library was broken.
    SQLiteImageRepositoryV3 rebuilt(file);
    write(rebuilt, {"photos/a2.png", "photos/c3.png", "photos/c4.png"});
    rebuilt.completeIndexingJob(rebuilt.startIndexingJob({at("photos")}).id);
    rebuilt.noteFoldersScanned({at("photos")}, folders);
    EXPECT_EQ(marksIn(rebuilt), (Marks{{at("photos/c3.png"), favorite}}));
    EXPECT_EQ(rebuilt.carriedMarkCount(), 1);
  }
  SQLiteImageRepositoryV3 rebuilt(file);
  write(rebuilt, {"away/e1.png"});
  rebuilt.noteFoldersScanned({at("away")}, folders);
  EXPECT_EQ(marksIn(rebuilt), (Marks{{at("photos/c3.png"), favorite}, {at("away/e1.png"), favorite}}));
  EXPECT_FALSE(fs::exists(SQLiteImageRepositoryV3::carriedMarksNotePath(file)));
}

TEST_F(LibraryRecoveryTest, AFileThatHoldsNoLibraryIsReportedAsAnotherKindNotAsDamage) {
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"an empty file", ""},
      {"a file of another kind", std::string(8192, 'x')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::writeFile(file, c.bytes);
    try {
      SQLiteImageRepositoryV3 refused(file);
      FAIL() << "opened";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), Error::Kind::incompatibleSchemaVersion);
      EXPECT_FALSE(error.reportsDamagedFile());
    }
    EXPECT_EQ(testing::readFile(file), c.bytes);
  }
}

}  // namespace
}  // namespace lorvex
