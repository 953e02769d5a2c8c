// Search results over a random library, against a brute-force reading of the same images: every
// filter, their combinations, every sort, paging, and both plans of the id statement.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <set>

#include "database/internal/search_query_compiler.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"
#include "database/support/search_library.h"
#include "model/enum_cases.h"
#include "model/text/paths.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::LibraryImage;

const std::vector<std::string> kFolders = {"/lib/a", "/lib/a/sub", "/lib/ab", "/lib/a-b", "/other"};
const std::vector<std::string> kTags = {"t0", "t1", "t2", "t3", "t4", "t5", "t6", "t7"};
const std::vector<std::string> kNames = {"Alpha", "beta", "alpha", "Gamma", "delta", "_under", "zeta"};

bool contains(const std::vector<std::string>& list, const std::string& value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

class SearchResultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 random(20241207);
    constexpr auto aspectClasses = allCases<ImageAspectClass>();
    auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    for (int i = 0; i < 260; ++i) {
      LibraryImage image;
      const std::string& folder = kFolders[random() % kFolders.size()];
      image.path = folder + "/" + kNames[random() % kNames.size()] + std::to_string(i % 37) + ".png";
      if (std::any_of(images.begin(), images.end(),
                      [&](const LibraryImage& other) { return other.path == image.path; })) {
        continue;
      }
      image.basename = std::string(text::lastPathComponent(image.path));
      for (char& c : image.basename) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
      image.modificationTime = 1'700'000'000.0 + static_cast<double>(random() % 25) * 0.5;
      image.missing = chance(10);
      image.favorite = chance(20);
      image.deleteCandidate = chance(12);
      image.aspect = aspectClasses[random() % aspectClasses.size()];
      if (chance(70)) image.model = chance(60) ? "Model A" : "Model B";
      if (chance(60)) image.seed = static_cast<std::int64_t>(random() % 6);
      // Skewed tag frequencies: t0 on most images, t7 on few.
      for (std::size_t t = 0; t < kTags.size(); ++t) {
        if (chance(static_cast<int>(80 / (t + 1)))) image.promptTags.push_back(kTags[t]);
      }
      if (chance(30)) image.characterTags.push_back(chance(50) ? "c0" : "t1");
      if (chance(10)) image.characterTags.push_back("c1x");
      images.push_back(image);
    }
    for (auto& image : images) testing::addImage(repository, image);
    std::vector<LibraryImage*> first;
    std::vector<LibraryImage*> second;
    for (auto& image : images) {
      if (chance(15)) first.push_back(&image);
      if (chance(5)) second.push_back(&image);
    }
    conceptA = testing::addConcept(repository, "concept a", first);
    conceptB = testing::addConcept(repository, "concept b", second);
  }

  // `roots` holds the query's folders, standardized.
  bool matches(const LibraryImage& image, const ImageSearchQuery& query,
               const std::set<std::string>& roots) const {
    if (query.missing ? image.missing != *query.missing : (!query.includeMissing && image.missing))
      return false;
    for (const auto& tag : query.filterTags) {
      if (!contains(image.promptTags, tag) && !contains(image.characterTags, tag)) return false;
    }
    for (std::int64_t conceptID : query.filterConceptIDs) {
      if (std::find(image.concepts.begin(), image.concepts.end(), conceptID) == image.concepts.end())
        return false;
    }
    for (const auto& tag : query.promptTags) {
      if (!contains(image.promptTags, tag)) return false;
    }
    if (query.source && image.model != query.source) return false;
    if (query.seed && image.seed != query.seed) return false;
    if (!query.aspectFilters.empty()) {
      const auto classes = aspectClassesForFilters(query.aspectFilters);
      if (std::find(classes.begin(), classes.end(), image.aspect) == classes.end()) return false;
    }
    if (query.favorite && image.favorite != *query.favorite) return false;
    if (query.deleteCandidate && image.deleteCandidate != *query.deleteCandidate) return false;
    if (!query.rootPaths.empty()) {
      // The image is at or under a folder when the folder is the path or one of its ancestors.
      bool covered = roots.count("/") > 0;
      for (std::size_t end = image.path.size(); !covered && end != std::string::npos && end > 0;
           end = image.path.rfind('/', end - 1)) {
        covered = roots.count(image.path.substr(0, end)) > 0;
      }
      if (!covered) return false;
    }
    if (!query.text.empty() && !contains(image.promptTags, query.text) &&
        !contains(image.characterTags, query.text)) {
      return false;
    }
    if (query.characterText &&
        std::none_of(image.characterTags.begin(), image.characterTags.end(),
                     [&](const auto& tag) { return tag.find(*query.characterText) != std::string::npos; })) {
      return false;
    }
    return true;
  }

  std::vector<std::string> expectedPaths(const ImageSearchQuery& query) const {
    std::set<std::string> roots;
    for (const auto& root : query.rootPaths) roots.insert(text::standardizedPath(root));
    std::vector<const LibraryImage*> selected;
    for (const auto& image : images) {
      if (matches(image, query, roots)) selected.push_back(&image);
    }
    testing::sortImages(selected, compiledSort(query.sort));
    std::vector<std::string> paths;
    const auto offset = static_cast<std::size_t>(std::max<std::int64_t>(query.offset, 0));
    const auto limit = static_cast<std::size_t>(std::max<std::int64_t>(query.limit, 0));
    for (std::size_t i = offset; i < selected.size() && paths.size() < limit; ++i)
      paths.push_back(selected[i]->path);
    return paths;
  }

  std::vector<std::string> searchedPaths(const ImageSearchQuery& query) {
    std::vector<std::string> paths;
    for (const auto& record : repository.searchImages(query)) paths.push_back(record.file.path);
    return paths;
  }

  // The id statement of one forced plan, mapped to paths.
  std::vector<std::string> plannedPaths(const ImageSearchQuery& query, search::PlanChoice plan) {
    auto& connection = lorvex::testing::connectionOf(repository);
    auto guard = connection.lock();
    search::SearchQueryCompiler compiler(connection, {});
    const auto compiled = compiler.compile(query);
    if (!compiled) return {};
    const auto ids = compiler.pageIDs(*compiled, plan);
    std::vector<std::string> paths;
    for (std::int64_t id : ids) {
      const auto found =
          std::find_if(images.begin(), images.end(), [&](const auto& image) { return image.id == id; });
      paths.push_back(found == images.end() ? "?" : found->path);
    }
    return paths;
  }

  testing::TemporaryFolder directory;
  // Searches that continued from the previous page's last row (its sort key was read).
  std::atomic<int> continuedPages{0};
  SQLiteImageRepositoryV3 repository{
      directory.file(kLibraryDatabaseFileName), [this] {
        SQLiteImageRepositoryV3Options options;
        options.statementObserver = [this](std::string_view sql) {
          if (sql == "SELECT modification_time FROM media_files WHERE id = ?" ||
              sql == "SELECT basename_normalized FROM media_files WHERE id = ?") {
            continuedPages += 1;
          }
        };
        return options;
      }()};
  std::vector<LibraryImage> images;
  std::int64_t conceptA = 0;
  std::int64_t conceptB = 0;
};

// A random query, and the same query as the brute-force reading reads it (filter tags and sources by
// their keys).
struct RandomQuery {
  ImageSearchQuery query;
  ImageSearchQuery reference;
};

RandomQuery randomQuery(std::mt19937& random, std::int64_t conceptA, std::int64_t conceptB) {
  auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
  constexpr auto aspects = allCases<ImageAspectFilter>();
  constexpr auto sorts = allCases<ImageSearchSort>();
  ImageSearchQuery query;
  query.sort = sorts[random() % sorts.size()];
  query.limit = chance(10) ? -1 : chance(3) ? INT64_MAX : static_cast<std::int64_t>(random() % 40) + 1;
  query.offset = chance(10) ? -3 : static_cast<std::int64_t>(random() % 30);
  if (chance(40)) query.filterTags.push_back(kTags[random() % kTags.size()]);
  if (chance(15)) query.filterTags.push_back(chance(50) ? "c0" : "T1 ");
  if (chance(20)) query.filterConceptIDs.push_back(chance(50) ? conceptA : conceptB);
  if (chance(20)) query.promptTags.push_back(kTags[random() % 4]);
  if (chance(15)) query.source = chance(50) ? "Model A" : "  Model B ";
  if (chance(15)) query.seed = static_cast<std::int64_t>(random() % 6);
  if (chance(20)) query.aspectFilters.push_back(aspects[random() % aspects.size()]);
  if (chance(10)) query.aspectFilters.push_back(aspects[random() % aspects.size()]);
  if (chance(25)) query.favorite = chance(60);
  if (chance(25)) query.deleteCandidate = chance(60);
  if (chance(25)) query.rootPaths.push_back(kFolders[random() % kFolders.size()]);
  if (chance(10)) query.rootPaths.push_back("/lib/a/./sub/");
  if (chance(15)) query.missing = chance(50);
  query.includeMissing = chance(30);
  if (chance(10)) query.text = kTags[random() % kTags.size()];
  if (chance(8)) query.characterText = chance(50) ? "c0" : "1X";

  ImageSearchQuery reference = query;
  for (auto& tag : reference.filterTags) tag = tag == "T1 " ? "t1" : tag;
  if (reference.source) reference.source = reference.source == "Model A" ? "Model A" : "Model B";
  if (reference.characterText) reference.characterText = *reference.characterText == "1X" ? "1x" : "c0";
  return {query, reference};
}

TEST_F(SearchResultsTest, RandomQueriesMatchABruteForceReadingInEveryPlan) {
  std::mt19937 random(7);
  for (int round = 0; round < 400; ++round) {
    const auto [query, reference] = randomQuery(random, conceptA, conceptB);
    const auto expected = expectedPaths(reference);
    const std::string label = "round " + std::to_string(round);
    ASSERT_EQ(searchedPaths(query), expected) << label;
    ASSERT_EQ(plannedPaths(query, search::PlanChoice::orderIndexWalk), expected) << label;
    ASSERT_EQ(plannedPaths(query, search::PlanChoice::candidatesFirst), expected) << label;
  }
}

// Paging through whole results as the store does (a page asked for with one row more, the next
// one starting where the page ended), forward and then backward, sometimes with the library
// changed between two pages: every page is the brute-force reading's, and the forward pages
// together are the whole result. Pages continued from the previous one's last row must have
// happened, and never across a change.
TEST_F(SearchResultsTest, RandomQueriesPagedThroughBothWaysMatchTheWholeResult) {
  std::mt19937 random(11);
  auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
  for (int round = 0; round < 120; ++round) {
    auto [query, reference] = randomQuery(random, conceptA, conceptB);
    const std::int64_t pageSize = static_cast<std::int64_t>(random() % 12) + 1;
    const bool changes = chance(25);
    query.limit = reference.limit = pageSize + 1;
    reference.offset = 0;
    reference.limit = INT64_MAX;
    const auto whole = expectedPaths(reference);
    reference.limit = query.limit;

    std::vector<std::int64_t> offsets;
    for (std::int64_t offset = 0; offset <= static_cast<std::int64_t>(whole.size()); offset += pageSize)
      offsets.push_back(offset);
    const std::size_t forward = offsets.size();
    for (std::size_t i = forward; i-- > 0;) offsets.push_back(offsets[i]);

    std::vector<std::string> joined;
    bool changed = false;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
      const std::string label = "round " + std::to_string(round) + " offset " + std::to_string(offsets[i]) +
                                (i < forward ? " forward" : " backward");
      if (changes && i == forward / 2) {
        // Another write between two pages: a favourite flag flips on an image of the result.
        LibraryImage& image = images[static_cast<std::size_t>(random() % images.size())];
        image.favorite = !image.favorite;
        repository.updateReviewState(image.path, {image.favorite, image.deleteCandidate, std::nullopt});
        changed = true;
      }
      query.offset = reference.offset = offsets[i];
      const auto page = searchedPaths(query);
      ASSERT_EQ(page, expectedPaths(reference)) << label;
      if (i < forward && !changed) {
        for (std::size_t row = 0; row < page.size() && static_cast<std::int64_t>(row) < pageSize; ++row)
          joined.push_back(page[row]);
      }
    }
    if (!changes) {
      EXPECT_EQ(joined, whole) << "round " << round;
    }
  }
  EXPECT_GT(continuedPages.load(), 200);
}

TEST_F(SearchResultsTest, AFolderCoversItselfAndItsDescendantsOnlyAlsoBeyondOneBoundList) {
  ImageSearchQuery query;
  query.limit = 1000;
  query.includeMissing = true;
  query.rootPaths = {"/lib/a"};
  const auto underA = searchedPaths(query);
  EXPECT_EQ(underA, expectedPaths(query));
  for (const auto& path : underA) {
    EXPECT_TRUE(path.starts_with("/lib/a/")) << path;  // never /lib/ab or /lib/a-b
  }
  // 600 folders: most name nothing, nested ones add nothing, and the list is longer than one
  // statement may bind.
  query.rootPaths.clear();
  for (int i = 0; i < 600; ++i) query.rootPaths.push_back("/lib/ab/deeper" + std::to_string(i));
  query.rootPaths.push_back("/lib/a/sub");
  query.rootPaths.push_back("/lib/a/sub/nested");
  query.rootPaths.push_back("/other/");
  for (auto plan : {search::PlanChoice::orderIndexWalk, search::PlanChoice::candidatesFirst}) {
    EXPECT_EQ(plannedPaths(query, plan), expectedPaths(query));
  }
  EXPECT_EQ(searchedPaths(query), expectedPaths(query));
}

TEST_F(SearchResultsTest, ASelectionOfThreeHundredThousandFoldersWorks) {
  ImageSearchQuery query;
  query.limit = 1000;
  query.includeMissing = true;
  query.rootPaths.reserve(300'001);
  for (int i = 0; i < 300'000; ++i) query.rootPaths.push_back("/nowhere/" + std::to_string(i));
  query.rootPaths.push_back("/lib/a-b");
  const auto expected = expectedPaths(query);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(searchedPaths(query), expected);
  EXPECT_EQ(plannedPaths(query, search::PlanChoice::orderIndexWalk), expected);
}

TEST_F(SearchResultsTest, APageBehindALongRunOfExcludedImagesIsFoundInEveryPlan) {
  // A folder whose newest images are nearly all delete candidates: a page of the others lies
  // behind hundreds of ordered images that fail a later test.
  for (int i = 0; i < 330; ++i) {
    LibraryImage image;
    image.path = "/run/img" + std::to_string(i) + ".png";
    image.basename = "img" + std::to_string(i) + ".png";
    image.modificationTime = 1'800'000'000.0 - i;
    image.deleteCandidate = i < 300 || i % 7 == 0;
    image.favorite = i % 3 == 0;
    testing::addImage(repository, image);
    images.push_back(image);
  }
  const struct {
    std::int64_t limit;
    std::int64_t offset;
    std::optional<bool> favorite;
  } cases[] = {{10, 0, {}},  {10, 12, {}},  {1, 24, {}},        {40, 20, {}},
               {5, 0, true}, {5, 3, false}, {INT64_MAX, 0, {}}, {3, 500, {}}};
  for (const auto& c : cases) {
    ImageSearchQuery query;
    query.rootPaths = {"/run"};
    query.deleteCandidate = false;
    query.favorite = c.favorite;
    query.limit = c.limit;
    query.offset = c.offset;
    const auto expected = expectedPaths(query);
    const std::string label = std::to_string(c.limit) + "+" + std::to_string(c.offset);
    EXPECT_EQ(searchedPaths(query), expected) << label;
    for (auto plan : {search::PlanChoice::orderIndexWalk, search::PlanChoice::candidatesFirst}) {
      EXPECT_EQ(plannedPaths(query, plan), expected) << label;
    }
  }
}

TEST_F(SearchResultsTest, GatheringManyCandidatesGivesTheSamePageWhetherItEndsOrStopsEarly) {
  // Over a thousand favourites spread over every id, and as many delete candidates among the
  // oldest ids only: the first are read to their end, the second stop being read early.
  for (int i = 0; i < 2400; ++i) {
    LibraryImage image;
    image.path = "/many/img" + std::to_string(i) + ".png";
    image.basename = "img" + std::to_string(i) + ".png";
    image.modificationTime = 1'750'000'000.0 + (i * 7919) % 2400;
    image.favorite = i % 2 == 0;
    image.deleteCandidate = i < 1300;
    testing::addImage(repository, image);
    images.push_back(image);
  }
  const struct {
    std::optional<bool> favorite;
    std::optional<bool> deleteCandidate;
    std::int64_t offset;
  } cases[] = {{true, {}, 0}, {true, false, 40}, {{}, true, 0}, {false, true, 60}};
  for (const auto& c : cases) {
    ImageSearchQuery query;
    query.favorite = c.favorite;
    query.deleteCandidate = c.deleteCandidate;
    query.limit = 100;
    query.offset = c.offset;
    const auto expected = expectedPaths(query);
    ASSERT_EQ(expected.size(), 100u);
    EXPECT_EQ(searchedPaths(query), expected) << c.offset;
    EXPECT_EQ(plannedPaths(query, search::PlanChoice::candidatesFirst), expected) << c.offset;
  }
}

TEST_F(SearchResultsTest, APageLongerThanOneChunkKeepsTheIdStatementsOrder) {
  ImageSearchQuery query;
  query.limit = 1000;
  query.includeMissing = true;
  query.sort = ImageSearchSort::fileNameDescending;
  ASSERT_GT(images.size(), 200u);
  EXPECT_EQ(searchedPaths(query), expectedPaths(query));
}

}  // namespace
}  // namespace lorvex
