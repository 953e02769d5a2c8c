// Compiling a search: match texts, the compiled query's fields, tag key candidates, and the
// queries that name nothing and so never reach the id statement.
#include "database/internal/search_query_compiler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/internal/row_mappers.h"
#include "database/internal/sql_functions.h"
#include "database/internal/tag_key_candidates.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"
#include "database/support/search_library.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

TEST(FTSMatchTextTest, EveryTokenBecomesAQuotedString) {
  const struct {
    std::string text;
    std::optional<std::string> expected;
  } cases[] = {
      {"", std::nullopt},
      {" \t\n\u3000", std::nullopt},
      {"cat", "\"cat\""},
      {"  blue   eyes ", "\"blue\" \"eyes\""},
      {"one \"two\" three", "\"one\" \"\"\"two\"\"\" \"three\""},
      {"prompt:cat OR NOT dog*", "\"prompt:cat\" \"OR\" \"NOT\" \"dog*\""},
      {"猫\u3000犬", "\"猫\" \"犬\""},
  };
  for (const auto& c : cases) EXPECT_EQ(search::ftsMatchText(c.text), c.expected) << c.text;
}

TEST(TagKeyCandidatesTest, KeysComeFromTheTagItsWeightedGroupsAndTheTypedText) {
  const struct {
    std::string tag;
    std::vector<std::string> expected;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {"blue eyes", {"blue eyes"}},
      {"Blue  Eyes", {"blue eyes", "Blue  Eyes"}},
      {" Blue Eyes ", {"blue eyes"}},
      {"(blue eyes:1.2)", {"(blue eyes:1.2)", "blue eyes"}},
      {"(Cat:1.1), dog", {"(cat:1.1), dog", "cat", "dog"}},
      {"(Cat:1.1),  Dog", {"(cat:1.1), dog", "cat", "dog", "(Cat:1.1),  Dog"}},
      {"(cat)", {"(cat)"}},
  };
  for (const auto& c : cases) EXPECT_EQ(tagKeyCandidates(c.tag), c.expected) << c.tag;
}

TEST(IdSetTest, AnIdIsInTheSetOnlyWhenItIsOneOfItsIds) {
  testing::TemporaryFolder directory;
  SQLiteImageRepositoryV3 repository(directory.file(kLibraryDatabaseFileName));
  auto& connection = lorvex::testing::connectionOf(repository);
  auto guard = connection.lock();
  const std::vector<std::int64_t> ids = {INT64_MIN, -5, 0, 1, 7, 1LL << 40, INT64_MAX};
  const auto contains = [&](const SQLiteV3Binding& id, const SQLiteV3Binding& set) {
    return connection.query("SELECT lorvex_id_in(?, ?)", {id, set}, rows::firstInt64OrZero);
  };
  const SQLiteV3Binding set = SQLiteV3Binding::Blob{idSetBlob(ids)};
  for (std::int64_t id : ids) EXPECT_EQ(contains(id, set), 1) << id;
  for (std::int64_t id :
       std::vector<std::int64_t>{INT64_MIN + 1, -6, -4, 2, 6, 8, (1LL << 40) - 1, INT64_MAX - 1}) {
    EXPECT_EQ(contains(id, set), 0) << id;
  }
  // An empty set, a NULL id, and a set that is no blob.
  EXPECT_EQ(contains(1, SQLiteV3Binding::Blob{}), 0);
  EXPECT_EQ(contains(SQLiteV3Binding::null(), set), 0);
  EXPECT_EQ(contains(1, "1"), 0);
}

class SearchCompilationTest : public ::testing::Test {
 protected:
  SearchCompilationTest() {
    for (auto* image : {&first, &second}) testing::addImage(repository, *image);
  }

  std::optional<ImageSearchQueryV3> compile(const ImageSearchQuery& query) {
    auto guard = lorvex::testing::connectionOf(repository).lock();
    return search::SearchQueryCompiler(lorvex::testing::connectionOf(repository), {}).compile(query);
  }

  std::vector<std::string> statements;
  testing::TemporaryFolder directory;
  SQLiteImageRepositoryV3 repository{
      directory.file(kLibraryDatabaseFileName),
      SQLiteImageRepositoryV3Options{[this](std::string_view sql) { statements.emplace_back(sql); }, nullptr,
                                     nullptr}};
  testing::LibraryImage first{
      .path = "/lib/a.png", .modificationTime = 10, .model = "Model A", .promptTags = {"blue eyes", "cat"}};
  testing::LibraryImage second{
      .path = "/lib/b.png", .modificationTime = 20, .promptTags = {"dog"}, .characterTags = {"cat"}};
};

TEST_F(SearchCompilationTest, TheCompiledQueryResolvesNamesAndNormalisesEveryField) {
  ImageSearchQuery query;
  query.text = "  blue  eyes ";
  query.filterTags = {"  ", "CAT", "(blue eyes:1.2)"};
  query.filterConceptIDs = {9, 4, 9};
  query.promptTags = {"Dog", " dog ", "CAT"};
  query.aspectFilters = {ImageAspectFilter::square, ImageAspectFilter::portrait, ImageAspectFilter::square};
  query.characterText = "  Alice ";
  query.source = " Model A ";
  query.seed = 42;
  query.favorite = false;
  query.rootPaths = {"/z/./y/", "/a", "", "/a/"};
  query.missing = true;
  query.sort = ImageSearchSort::fileNameDescending;
  query.limit = 501;
  query.offset = 7;
  const auto compiled = compile(query);
  ASSERT_TRUE(compiled);

  const auto termID = [&](const std::string& key) {
    auto guard = lorvex::testing::connectionOf(repository).lock();
    return search::SearchQueryCompiler(lorvex::testing::connectionOf(repository), {}).tagTermIDs({key}).at(0);
  };
  const std::int64_t cat = termID("cat");
  const std::int64_t blueEyes = termID("blue eyes");
  const std::int64_t dog = termID("dog");
  EXPECT_EQ(compiled->filterGroups,
            (std::vector<ImageSearchFilterGroupV3>{{{cat}, {}}, {{blueEyes}, {}}, {{}, {4}}, {{}, {9}}}));
  EXPECT_EQ(compiled->promptTagIDs, (std::vector<std::int64_t>{std::min(cat, dog), std::max(cat, dog)}));
  EXPECT_TRUE(compiled->rootIDs.empty());
  EXPECT_EQ(compiled->rootPaths, (std::vector<std::string>{"/a", "/z/y"}));
  EXPECT_TRUE(compiled->modelID.has_value());
  EXPECT_EQ(compiled->seed, 42);
  EXPECT_EQ(compiled->aspectClasses,
            (std::vector<ImageAspectClass>{ImageAspectClass::portrait, ImageAspectClass::square}));
  EXPECT_EQ(compiled->textSearchQuery, "\"blue\" \"eyes\"");
  EXPECT_EQ(compiled->characterText, "Alice");
  EXPECT_EQ(compiled->favorite, false);
  EXPECT_EQ(compiled->deleteCandidate, std::nullopt);
  EXPECT_EQ(compiled->missing, true);
  EXPECT_TRUE(compiled->includeMissing);
  EXPECT_EQ(compiled->sort, ImageSearchSortV3::fileNameDescending);
  EXPECT_EQ(compiled->cursor, std::nullopt);
  EXPECT_EQ(compiled->limit, 501);
  EXPECT_EQ(compiled->offset, 7);

  query.characterText = " \n ";
  query.text = " ";
  EXPECT_EQ(compile(query)->characterText, std::nullopt);
  EXPECT_EQ(compile(query)->textSearchQuery, std::nullopt);
}

TEST_F(SearchCompilationTest, ANameThatNamesNothingGivesAnEmptyPageWithoutTheIdStatement) {
  const auto withUnknownFilterTag = [] {
    ImageSearchQuery q;
    q.filterTags = {"cat", "no such tag"};
    return q;
  };
  const auto withUnknownPromptTag = [] {
    ImageSearchQuery q;
    q.promptTags = {"dog", "unicorn"};
    return q;
  };
  const auto withUnknownModel = [] {
    ImageSearchQuery q;
    q.source = "Model Z";
    return q;
  };
  for (ImageSearchQuery query : {withUnknownFilterTag(), withUnknownPromptTag(), withUnknownModel()}) {
    query.limit = 10;
    query.includeMissing = true;
    statements.clear();
    EXPECT_TRUE(repository.searchImages(query).empty());
    for (const auto& sql : statements) EXPECT_EQ(sql.find("FROM media_files AS m"), std::string::npos) << sql;
    EXPECT_FALSE(statements.empty());  // the lookups ran
  }
  // A character caption tag is a filter tag but not a prompt tag.
  ImageSearchQuery query;
  query.limit = 10;
  query.filterTags = {"Cat"};
  EXPECT_EQ(repository.searchImages(query).size(), 2u);
  query.filterTags = {};
  query.promptTags = {"cat"};
  ASSERT_EQ(repository.searchImages(query).size(), 1u);
  EXPECT_EQ(repository.searchImages(query)[0].file.path, "/lib/a.png");
}

TEST_F(SearchCompilationTest, TypedOperatorsAndQuotesSearchAsPlainWords) {
  ImageSearchQuery query;
  query.limit = 10;
  for (const std::string text : {"cat OR", "\"cat", "tags:cat", "cat*", "NEAR(cat dog)", "-cat"}) {
    query.text = text;
    EXPECT_NO_THROW(repository.searchImages(query)) << text;
  }
  query.text = "eyes BLUE";
  ASSERT_EQ(repository.searchImages(query).size(), 1u);
  query.text = "blue dog";  // both words must occur
  EXPECT_TRUE(repository.searchImages(query).empty());
}

TEST(SearchKeysetTest, ACursorOfTheSortsKindLimitsTheRowsAfterIt) {
  ImageSearchQueryV3 query;
  EXPECT_EQ(search::keysetPredicate(query), std::nullopt);
  query.cursor = ImageSearchCursorV3::modificationDate(5.5, 7);
  auto predicate = search::keysetPredicate(query);
  ASSERT_TRUE(predicate);
  EXPECT_EQ(
      predicate->first,
      "(media_files.modification_time < ? OR (media_files.modification_time = ? AND media_files.id < ?))");
  EXPECT_EQ(predicate->second, (SQLiteV3Bindings{5.5, 5.5, 7}));
  query.sort = ImageSearchSortV3::fileNameAscending;
  EXPECT_EQ(search::keysetPredicate(query), std::nullopt);
  query.cursor = ImageSearchCursorV3::fileName("b.png", 3);
  predicate = search::keysetPredicate(query);
  ASSERT_TRUE(predicate);
  EXPECT_EQ(predicate->second, (SQLiteV3Bindings{"b.png", "b.png", 3}));
}

}  // namespace
}  // namespace lorvex
