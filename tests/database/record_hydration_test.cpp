// Hydrating records: prompt tags sorted in C++ exactly as SQLite's NOCASE-then-binary order, and
// captions and tags landing on their own record when media ids and generation record ids differ,
// across chunk boundaries, with repeated and unknown ids.
#include "database/internal/record_hydration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "database/internal/nocase_order.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/library_rows.h"
#include "database/support/repository_connection.h"
#include "database/support/search_library.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using namespace std::string_literals;

// Names where case folding, punctuation between 'Z' and 'a', non-ASCII bytes, prefixes and NUL
// bytes make NOCASE order differ from byte order or from a full Unicode case folding.
const std::vector<std::string> kNames = {
    "apple", "Apple", "APPLE", "apples", "ab", "AB", "abc", "[bracket", "_under", "`grave", "Zebra", "zebra",
    "1girl", "~tilde", "\xC3\x84pfel", "\xC3\xA4pfel", "Emile", "\xC3\xA9mile", "z\xFF", "z\x80", "", "a\0c"s,
    "A\0b"s, "a\0B"s, "a", "A", "\xE6\x97\xA5\xE6\x9C\xAC",
    // Longer than eight bytes: differences, case and NUL bytes past the first eight.
    "looking at viewer", "Looking At Viewer", "looking_at_viewer", "looking at viewer ", "looking at",
    "looking at\xC3\x84", "long hair ribbon\0x"s, "long hair ribbon\0Y"s, "long hair Ribbon\0a"s,
    "long hair ribbon\0"s, "masterpiece\0b"s, "masterpiecE", "abcdefgh\0jklmnopX"s, "ABCDEFGH\0jklmnopY"s};

std::string escaped(const std::string& text) {
  std::string result;
  for (const unsigned char byte : text) {
    if (byte >= 0x20 && byte < 0x7F) {
      result += static_cast<char>(byte);
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      result += "\\x";
      result += kHex[byte >> 4];
      result += kHex[byte & 0xF];
    }
  }
  return result;
}

class RecordHydrationTest : public ::testing::Test {
 protected:
  testing::TemporaryFolder directory;
  SQLiteImageRepositoryV3 repository{directory.file(kLibraryDatabaseFileName)};
  SQLiteConnection& connection = lorvex::testing::connectionOf(repository);
};

TEST_F(RecordHydrationTest, NoCaseComparisonAgreesWithSQLiteOnEveryPair) {
  auto guard = connection.lock();
  for (const std::string& left : kNames) {
    for (const std::string& right : kNames) {
      const auto expected = connection.query(
          "SELECT CASE WHEN ?1 < ?2 COLLATE NOCASE THEN -1 WHEN ?1 = ?2 COLLATE NOCASE THEN 0 ELSE 1 END",
          {left, right}, [](SQLiteRows& rows) { return rows.next() ? rows.int64(0) : 99; });
      const int order = sql::compareNoCase(left, right);
      EXPECT_EQ(order < 0 ? -1 : order > 0 ? 1 : 0, expected) << escaped(left) << " vs " << escaped(right);
    }
  }
}

TEST_F(RecordHydrationTest, PromptTagsComeBackInSQLitesCaseInsensitiveOrderThenByteOrder) {
  testing::LibraryImage image{.path = "/lib/a.png"};
  for (std::size_t i = 0; i < kNames.size(); ++i) image.promptTags.push_back("tag" + std::to_string(i));
  testing::addImage(repository, image);
  std::vector<std::string> expected;
  {
    auto guard = connection.lock();
    for (std::size_t i = 0; i < kNames.size(); ++i) {
      connection.execute("UPDATE tag_terms SET display_name = ? WHERE normalized_key = ?",
                         {kNames[i], "tag" + std::to_string(i)});
      ASSERT_EQ(connection.changes(), 1) << i;
    }
    expected = connection.query(
        "SELECT tag_terms.display_name FROM media_tag_index JOIN tag_terms ON tag_terms.id = "
        "media_tag_index.tag_term_id WHERE media_tag_index.media_file_id = ? ORDER BY tag_terms.display_name "
        "COLLATE NOCASE, tag_terms.display_name",
        {image.id}, [](SQLiteRows& rows) {
          std::vector<std::string> names;
          while (rows.next()) names.push_back(rows.text(0));
          return names;
        });
  }
  ASSERT_EQ(expected.size(), kNames.size());
  EXPECT_EQ(repository.imageRecord(image.path)->promptTags, expected);
  auto guard = connection.lock();
  const auto records = search::recordsForIDs(connection, {image.id});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].promptTags, expected);
}

TEST_F(RecordHydrationTest, CaptionsAndTagsFollowTheirOwnRecordAcrossChunksRepeatsAndGaps) {
  // Files without a generation record come first, so media ids and generation record ids differ.
  std::vector<std::string> paths;
  for (int i = 0; i < 3; ++i) {
    paths.push_back("/bare/" + std::to_string(i) + ".png");
    testing::insertMediaFile(repository, {.path = paths.back()});
  }
  std::vector<ImageRecord> stored(3);
  for (int i = 0; i < 3; ++i) stored[i] = *repository.imageRecord(paths[i]);
  for (int i = 0; i < 450; ++i) {
    testing::LibraryImage image{.path = "/lib/" + std::to_string(i) + ".png",
                                .modificationTime = static_cast<double>(i),
                                .promptTags = {"t" + std::to_string(i % 7), "shared"}};
    ImageRecord record = testing::recordFor(image);
    const double x = i / 450.0;
    if (i % 3 != 0)
      record.metadata.characterCaptions = {{"pos " + std::to_string(i), {{x, 0.5}}}, {"plain", {}}};
    if (i % 2 == 0)
      record.metadata.negativeCharacterCaptions = {{"neg " + std::to_string(i), {{0.25, x}, {0.75, x}}}};
    repository.upsertRecord(record, std::nullopt);
    paths.push_back(image.path);
    std::sort(record.promptTags.begin(), record.promptTags.end());
    stored.push_back(record);
  }
  std::vector<std::int64_t> ids;
  for (const auto& path : paths) ids.push_back(repository.mediaFileID(path));

  // Every id in a shuffled order, a few repeated, one that names no file.
  std::vector<std::size_t> order(paths.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  order.insert(order.begin() + 10, order[3]);
  order.push_back(order[0]);
  std::vector<std::int64_t> requested;
  for (std::size_t index : order) requested.push_back(ids[index]);
  requested.insert(requested.begin() + 200, ids.back() + 1000);

  auto guard = connection.lock();
  const auto records = search::recordsForIDs(connection, requested);
  ASSERT_EQ(records.size(), order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    const ImageRecord& expected = stored[order[i]];
    EXPECT_EQ(records[i].file.path, expected.file.path) << i;
    EXPECT_EQ(records[i].metadata.characterCaptions, expected.metadata.characterCaptions) << i;
    EXPECT_EQ(records[i].metadata.negativeCharacterCaptions, expected.metadata.negativeCharacterCaptions)
        << i;
    EXPECT_EQ(records[i].promptTags, expected.promptTags) << i;
  }

  // Read by a statement of their own, in its order, the records carry the same captions and tags.
  const auto selected = search::selectRecords(connection, "", "media_files.absolute_path LIKE '/lib/%'", {},
                                              ImageSearchSortV3::modificationDateAscending, 1000, 0);
  ASSERT_EQ(selected.size(), 450u);
  for (std::size_t i = 0; i < selected.size(); ++i) {
    EXPECT_EQ(selected[i].file.path, stored[i + 3].file.path) << i;
    EXPECT_EQ(selected[i].metadata.characterCaptions, stored[i + 3].metadata.characterCaptions) << i;
    EXPECT_EQ(selected[i].metadata.negativeCharacterCaptions,
              stored[i + 3].metadata.negativeCharacterCaptions)
        << i;
    EXPECT_EQ(selected[i].promptTags, stored[i + 3].promptTags) << i;
  }
}

}  // namespace
}  // namespace lorvex
