// Running a search page: records hydrated with captions, prompt tags and derived metadata, pages
// read in chunks, look-ups by path, and cancellation while waiting and while a statement runs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stop_token>
#include <thread>

#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"
#include "database/support/search_library.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

class SearchExecutionTest : public ::testing::Test {
 protected:
  SQLiteImageRepositoryV3Options options() {
    SQLiteImageRepositoryV3Options result;
    result.statementObserver = [this](std::string_view sql) { statements.emplace_back(sql); };
    result.searchProgressObserver = [this] {
      ++progressCalls;
      if (stopOnProgress) stop.request_stop();
    };
    return result;
  }

  std::size_t countStatements(std::string_view fragment) const {
    std::size_t count = 0;
    for (const auto& sql : statements) count += sql.find(fragment) != std::string::npos ? 1 : 0;
    return count;
  }

  std::vector<std::string> statements;
  std::atomic<int> progressCalls = 0;
  std::atomic<bool> stopOnProgress = false;
  std::stop_source stop;
  testing::TemporaryFolder directory;
  SQLiteImageRepositoryV3 repository{directory.file(kLibraryDatabaseFileName), options()};
};

TEST_F(SearchExecutionTest, ARecordComesBackWithCaptionsPromptTagsAndDerivedMetadata) {
  ImageRecord record;
  record.file = {"/lib/one.png", 4321, 1'700'000'123.25};
  auto& metadata = record.metadata;
  metadata.provider = GenerationMetadataProvider{"novelai", "NovelAI"};
  metadata.format = GenerationMetadataFormat{"novelai_png_text", "NovelAI PNG"};
  metadata.prompt = "apple, Blue, cat";
  metadata.negativePrompt = "lowres";
  metadata.source = "NovelAI Diffusion V4.5 1229B44F";
  metadata.seed = 77;
  metadata.steps = 28;
  metadata.scale = 5.5;
  metadata.sampler = "k_euler";
  metadata.width = 832;
  metadata.height = 1216;
  metadata.characterCaptions = {{"girl, red hair", {{0.1, 0.2}, {0.3, 0.4}}}, {"boy", {}}};
  metadata.negativeCharacterCaptions = {{"extra arms", {{0.5, 0.5}}}};
  metadata.modelUsages = {{*metadata.source, std::nullopt, "primary", std::nullopt, std::nullopt}};
  metadata.promptSegments = GenerationMetadata::makePromptSegments(metadata.prompt, metadata.negativePrompt,
                                                                   std::nullopt, std::nullopt);
  record.promptTags = {"cat", "Blue", "apple"};
  record.reviewState = {true, false, "note"};
  record.thumbnailPath = "/thumbs/one.jpg";
  record.contentSHA256 = std::string(64, 'a');
  repository.upsertRecord(record, std::nullopt);

  ImageSearchQuery query;
  query.limit = 10;
  const auto records = repository.searchImages(query);
  ASSERT_EQ(records.size(), 1u);
  const ImageRecord& found = records[0];
  EXPECT_EQ(found.file, record.file);
  // Prompt-bit tags only (the caption tags "girl", "red hair", "boy" are not listed), in
  // case-insensitive order.
  EXPECT_EQ(found.promptTags, (std::vector<std::string>{"apple", "blue", "cat"}));
  EXPECT_EQ(found.reviewState, record.reviewState);
  EXPECT_EQ(found.thumbnailPath, record.thumbnailPath);
  EXPECT_EQ(found.contentSHA256, record.contentSHA256);
  EXPECT_FALSE(found.isMissing);
  EXPECT_EQ(found.metadata.provider, metadata.provider);
  EXPECT_EQ(found.metadata.format, metadata.format);
  EXPECT_EQ(found.metadata.characterCaptions, metadata.characterCaptions);
  EXPECT_EQ(found.metadata.negativeCharacterCaptions, metadata.negativeCharacterCaptions);
  EXPECT_EQ(found.metadata.width, 832);
  EXPECT_EQ(found.metadata.height, 1216);
  EXPECT_EQ(found.metadata.promptSegments, metadata.promptSegments);
  EXPECT_EQ(found.metadata.generationParameters,
            GenerationMetadata::makeGenerationParameters({77, 28, 5.5, "k_euler", {}, {}, {}}));
  ASSERT_EQ(found.metadata.modelUsages.size(), 1u);
  EXPECT_EQ(found.metadata.modelUsages[0],
            (GenerationModelUsage{*metadata.source, "NovelAI", "primary", std::nullopt, std::nullopt}));
  EXPECT_TRUE(found.metadata.rawPayloads.empty());

  EXPECT_EQ(repository.imageRecord("/lib/sub/../././one.png"), found);
  EXPECT_EQ(repository.imageRecord("/lib/two.png"), std::nullopt);
}

TEST_F(SearchExecutionTest, ASourceOfOnlyWhitespaceGivesNoModelUsage) {
  testing::LibraryImage image{.path = "/lib/a.png"};
  ImageRecord record = testing::recordFor(image);
  record.metadata.source = " \t";
  repository.upsertRecord(record, std::nullopt);
  const auto found = repository.imageRecord("/lib/a.png");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->metadata.source, " \t");
  EXPECT_TRUE(found->metadata.modelUsages.empty());
}

TEST_F(SearchExecutionTest, AMissingFileIsFoundByPathButLeftOutOfOrdinarySearches) {
  testing::LibraryImage image{.path = "/lib/gone.png", .missing = true};
  testing::addImage(repository, image);
  EXPECT_TRUE(repository.imageRecord("/lib/gone.png")->isMissing);
  ImageSearchQuery query;
  query.limit = 10;
  EXPECT_TRUE(repository.searchImages(query).empty());
  query.missing = true;
  EXPECT_EQ(repository.searchImages(query).size(), 1u);
}

TEST_F(SearchExecutionTest, PagesAreReadInChunksOfFourHundredInTheIdStatementsOrder) {
  std::vector<testing::LibraryImage> images(401);
  {
    auto& connection = lorvex::testing::connectionOf(repository);
    for (std::size_t i = 0; i < images.size(); ++i) {
      images[i].path = "/lib/" + std::to_string(i) + ".png";
      images[i].modificationTime = static_cast<double>(i % 7);
      images[i].promptTags = {i % 2 == 0 ? "even" : "odd"};
      testing::addImage(repository, images[i]);
    }
    (void)connection;
  }
  ImageSearchQuery query;
  query.limit = 1000;
  statements.clear();
  const auto records = repository.searchImages(query);
  ASSERT_EQ(records.size(), 401u);
  EXPECT_EQ(countStatements("WHERE media_files.id IN"), 2u);
  EXPECT_EQ(countStatements("prompt_segments.content"), 2u);  // positive and negative together
  EXPECT_EQ(countStatements("SELECT media_tag_index.media_file_id, tag_terms.display_name"), 2u);
  std::vector<const testing::LibraryImage*> expected;
  for (const auto& image : images) expected.push_back(&image);
  testing::sortImages(expected, ImageSearchSortV3::modificationDateDescending);
  for (std::size_t i = 0; i < records.size(); ++i) {
    ASSERT_EQ(records[i].file.path, expected[i]->path) << i;
    EXPECT_EQ(records[i].promptTags, expected[i]->promptTags) << i;
  }
}

TEST_F(SearchExecutionTest, CandidatesBeyondOneBatchAreTestedInPageOrderUntilThePageIsFull) {
  std::vector<testing::LibraryImage> images(460);
  for (std::size_t i = 0; i < images.size(); ++i) {
    images[i].path = "/lib/" + std::to_string(i) + ".png";
    images[i].modificationTime = static_cast<double>((i * 37) % 101);
    images[i].aspect = i % 9 == 0 ? ImageAspectClass::square : ImageAspectClass::portrait;
    if (i % 23 != 0) images[i].promptTags = {"cat"};
    testing::addImage(repository, images[i]);
  }
  std::vector<const testing::LibraryImage*> expected;
  for (const auto& image : images) {
    if (!image.promptTags.empty() && image.aspect == ImageAspectClass::portrait) expected.push_back(&image);
  }
  testing::sortImages(expected, ImageSearchSortV3::modificationDateAscending);
  ImageSearchQuery query;
  query.filterTags = {"cat"};
  query.aspectFilters = {ImageAspectFilter::portrait};
  query.sort = ImageSearchSort::modificationDateAscending;
  for (const auto& [offset, limit] :
       {std::pair{0, 1000}, std::pair{5, 380}, std::pair{390, 20}, std::pair{500, 5}}) {
    query.offset = offset;
    query.limit = limit;
    const auto records = repository.searchImages(query);
    std::vector<std::string> paths;
    for (const auto& record : records) paths.push_back(record.file.path);
    std::vector<std::string> wanted;
    for (std::size_t i = offset; i < expected.size() && wanted.size() < static_cast<std::size_t>(limit);
         ++i) {
      wanted.push_back(expected[i]->path);
    }
    EXPECT_EQ(paths, wanted) << offset << " " << limit;
  }
}

TEST_F(SearchExecutionTest, ASearchWaitingForTheLockEndsWhenCancelled) {
  std::atomic<bool> holding = false;
  std::atomic<bool> release = false;
  std::thread holder([&] {
    // The connection searches run on; the writer's lock never holds a search up.
    auto guard = lorvex::testing::readerOf(repository).lock();
    holding = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  while (!holding) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    stop.request_stop();
  });
  ImageSearchQuery query;
  query.limit = 10;
  EXPECT_THROW(repository.searchImages(query, stop.get_token()), SearchCancelledError);
  canceller.join();
  release = true;
  holder.join();
  EXPECT_NO_THROW(repository.searchImages(query));
}

TEST_F(SearchExecutionTest, ASearchCancelledWhileItsStatementRunsIsInterruptedAndTheNextOneWorks) {
  for (int i = 0; i < 50; ++i) {
    testing::LibraryImage image{.path = "/lib/" + std::to_string(i) + ".png", .promptTags = {"cat"}};
    testing::addImage(repository, image);
  }
  ImageSearchQuery query;
  query.limit = 100;
  query.filterTags = {"cat"};
  stopOnProgress = true;
  EXPECT_THROW(repository.searchImages(query, stop.get_token()), SearchCancelledError);
  EXPECT_GT(progressCalls.load(), 0);
  stopOnProgress = false;
  progressCalls = 0;
  EXPECT_EQ(repository.searchImages(query).size(), 50u);
  // The handler is installed for searches only.
  const int afterSearch = progressCalls.load();
  EXPECT_GT(afterSearch, 0);
  repository.imageRecord("/lib/1.png");
  EXPECT_EQ(progressCalls.load(), afterSearch);
}

TEST_F(SearchExecutionTest, ACancelledTokenNeverTakesTheLock) {
  stop.request_stop();
  ImageSearchQuery query;
  statements.clear();
  EXPECT_THROW(repository.searchImages(query, stop.get_token()), SearchCancelledError);
  EXPECT_TRUE(statements.empty());
}

}  // namespace
}  // namespace lorvex
