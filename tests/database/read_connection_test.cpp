// The reader connection: searches and the store's other pure reads run on a read-only connection
// of their own. These tests prove that such a read neither waits for a write transaction nor sees
// its uncommitted rows, that one search reads one committed state while writes commit during it,
// that cancelling still ends in SearchCancelledError and leaves no read transaction behind, that
// damage met on the reader is marked, and that the reader opens and closes with the repository.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <latch>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "database/internal/row_mappers.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/faulty_vfs.h"
#include "database/support/file_contents.h"
#include "database/support/repository_connection.h"
#include "database/support/search_library.h"
#include "platform/log.h"
#include "support/library_file_name.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::libraryFileName;

using Error = SQLiteImageRepositoryV3Error;
namespace fs = std::filesystem;

// Long enough for a reader stuck behind the writer's lock to be a fault, never a slow machine.
constexpr std::chrono::seconds kDeadlockGuard{60};

std::string describe(const std::vector<ImageRecord>& records) {
  std::string text;
  for (const auto& record : records) {
    text += record.file.path + (record.isMissing ? " missing" : "") +
            " thumb=" + record.thumbnailPath.value_or("-") +
            " fav=" + (record.reviewState.favorite ? "1" : "0") + ";";
  }
  return text;
}

ImageSearchQuery firstPage() {
  ImageSearchQuery query;
  query.limit = 100;
  return query;
}

// Tag or model suggestions.
template <typename Suggestion>
std::string describeCounted(const std::vector<Suggestion>& suggestions) {
  std::string text;
  for (const auto& suggestion : suggestions)
    text += suggestion.value + "=" + std::to_string(suggestion.imageCount) + ";";
  return text;
}

// Descriptors of this process open on the file.
int openDescriptorsOf(const fs::path& file) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const fs::path target = fs::read_symlink(entry.path(), error);
    if (!error && target == fs::weakly_canonical(file)) ++count;
  }
  return count;
}

class ReadConnectionTest : public ::testing::Test {
 public:
  void SetUp() override {
    SQLiteImageRepositoryV3Options options;
    options.searchProgressObserver = [this] {
      ++progressCalls;
      if (onFirstProgress && !firstProgressSeen.exchange(true)) onFirstProgress();
      if (stopOnProgress) stop.request_stop();
    };
    repository = std::make_unique<SQLiteImageRepositoryV3>(file, options);
    for (int i = 0; i < 3; ++i) {
      testing::LibraryImage image{.path = "/lib/" + std::to_string(i) + ".png",
                                  .modificationTime = static_cast<double>(i),
                                  .model = "Model " + std::to_string(i % 2),
                                  .promptTags = {i % 2 == 0 ? "cat" : "dog"}};
      testing::addImage(*repository, image);
    }
    repository->createTagConcept("Animals");
  }
  SQLiteConnection& writer() { return lorvex::testing::connectionOf(*repository); }
  SQLiteConnection& reader() { return lorvex::testing::readerOf(*repository); }
  std::vector<ImageRecord> search(std::stop_token token = {}) {
    return repository->searchImages(firstPage(), token);
  }

  // Every read that runs on the reader, each described as text.
  std::vector<std::pair<std::string, std::function<std::string()>>> reads() {
    return {
        {"searchImages", [this] { return describe(search()); }},
        {"tagSuggestions", [this] { return describeCounted(repository->tagSuggestions(std::nullopt, 10)); }},
        {"modelSuggestions",
         [this] { return describeCounted(repository->modelSuggestions(std::nullopt, 10)); }},
        {"folderImageCounts",
         [this] {
           std::string text;
           for (const auto& counts : repository->folderImageCounts({"/lib", "/elsewhere"}))
             text += counts.path + "=" + std::to_string(counts.indexedImageCount) + "/" +
                     std::to_string(counts.missingImageCount) + ";";
           return text;
         }},
        {"searchTagConcepts",
         [this] {
           std::string text;
           for (const auto& found : repository->searchTagConcepts(std::nullopt, 10))
             text += found.displayName + ";";
           return text;
         }},
    };
  }
  std::vector<std::string> describeReads() {
    std::vector<std::string> texts;
    for (const auto& [name, read] : reads()) texts.push_back(read());
    return texts;
  }
  // Changes what every read above answers.
  void changeEveryReadsAnswer() {
    writer().execute("UPDATE media_files SET missing = 1 WHERE absolute_path = '/lib/0.png'");
    writer().execute("UPDATE image_properties SET thumbnail_key = 'changed'");
    writer().execute("UPDATE tag_term_stats SET image_count = image_count + 10");
    writer().execute("UPDATE models SET image_count = image_count + 10");
    writer().execute("UPDATE tag_concepts SET display_name = 'Renamed'");
  }

  testing::TemporaryFolder directory;
  fs::path file = directory.file(kLibraryDatabaseFileName);
  std::stop_source stop;
  std::atomic<int> progressCalls{0};
  std::atomic<bool> stopOnProgress{false};
  std::function<void()> onFirstProgress;
  std::atomic<bool> firstProgressSeen{false};
  std::unique_ptr<SQLiteImageRepositoryV3> repository;
};

TEST_F(ReadConnectionTest, ReadsDuringAnOpenWriteTransactionSeeTheCommittedStateWithoutWaitingForIt) {
  const std::vector<std::string> before = describeReads();
  std::future<std::vector<std::string>> during;
  std::future_status status = std::future_status::deferred;
  {
    auto guard = writer().lock();
    writer().performTransaction([&] {
      changeEveryReadsAnswer();
      during = std::async(std::launch::async, [this] { return describeReads(); });
      status = during.wait_for(kDeadlockGuard);
    });
  }
  ASSERT_EQ(status, std::future_status::ready) << "the reads waited for the write transaction";
  const std::vector<std::string> seen = during.get();
  const std::vector<std::string> after = describeReads();
  const auto names = reads();
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i].first);
    EXPECT_EQ(seen[i], before[i]);
    EXPECT_NE(after[i], before[i]);  // the committed change is seen once committed
  }
}

TEST_F(ReadConnectionTest, ASearchReadsOneCommittedStateWhileAWriteCommitsDuringIt) {
  for (int i = 3; i < 450; ++i) {  // two hydration chunks
    testing::LibraryImage image{.path = "/lib/" + std::to_string(i) + ".png",
                                .modificationTime = static_cast<double>(i),
                                .promptTags = {"cat"}};
    testing::addImage(*repository, image);
  }
  ImageSearchQuery query;
  query.limit = 1000;
  const auto before = repository->searchImages(query);
  ASSERT_EQ(before.size(), 450u);

  // The write commits on another thread while the search's first statement runs; the statements
  // after it (the rest of the page and the hydration of its records) must not see it.
  onFirstProgress = [this] {
    std::thread([this] {
      writer().performLockedTransaction([this] {
        writer().execute("UPDATE image_properties SET thumbnail_key = 'changed'");
        writer().execute("UPDATE review_states SET favorite = 1");
        writer().execute("UPDATE media_files SET missing = 1 WHERE id % 2 = 0");
      });
    }).join();
  };
  const auto during = repository->searchImages(query);
  EXPECT_TRUE(firstProgressSeen);
  EXPECT_EQ(describe(during), describe(before));
  EXPECT_NE(describe(repository->searchImages(query)), describe(before));
}

TEST_F(ReadConnectionTest, ACancelledSearchEndsInSearchCancelledErrorAndLeavesNoReadTransactionOpen) {
  const struct {
    const char* name;
    std::function<void(ReadConnectionTest&)> cancelledSearch;
  } cases[] = {
      {"cancelled before it starts",
       [](ReadConnectionTest& test) {
         test.stop.request_stop();
         test.search(test.stop.get_token());
       }},
      {"cancelled while waiting for the reader",
       [](ReadConnectionTest& test) {
         std::latch holding(1);
         std::latch release(1);
         std::thread holder([&] {
           auto guard = test.reader().lock();
           holding.count_down();
           release.wait();
         });
         holding.wait();
         struct Release {
           std::latch& latch;
           std::thread& thread;
           ~Release() {
             latch.count_down();
             thread.join();
           }
         } releaseAtEnd{release, holder};
         std::jthread canceller([&] { test.stop.request_stop(); });
         test.search(test.stop.get_token());
       }},
      {"cancelled while its statement runs",
       [](ReadConnectionTest& test) {
         test.stopOnProgress = true;
         test.search(test.stop.get_token());
       }},
      {"cancelled while the writer holds a write transaction open",
       [](ReadConnectionTest& test) {
         auto guard = test.writer().lock();
         test.writer().performTransaction([&] {
           test.writer().execute("UPDATE review_states SET favorite = 1");
           test.stopOnProgress = true;
           test.search(test.stop.get_token());
         });
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    stop = std::stop_source();
    stopOnProgress = false;
    EXPECT_THROW(c.cancelledSearch(*this), SearchCancelledError);
    stopOnProgress = false;
    EXPECT_NE(sqlite3_get_autocommit(reader().handle()), 0) << "a read transaction was left open";
    // A snapshot left behind would hide this write from every later search.
    writer().performLockedTransaction(
        [&] { writer().execute("UPDATE image_properties SET thumbnail_key = ?", {std::string(c.name)}); });
    const auto records = search();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().thumbnailPath, std::string(c.name));
  }
}

TEST_F(ReadConnectionTest, TheReaderIsReadOnlyAndOpensAndClosesWithTheRepository) {
  EXPECT_TRUE(reader().isReadOnly());
  EXPECT_FALSE(writer().isReadOnly());
  EXPECT_EQ(sqlite3_db_readonly(reader().handle(), "main"), 1);
  EXPECT_EQ(openDescriptorsOf(file), 2);
  // The reader reads pages as the writer does.
  for (const char* pragma : {"PRAGMA cache_size;", "PRAGMA mmap_size;", "PRAGMA busy_timeout;"}) {
    SCOPED_TRACE(pragma);
    auto writerGuard = writer().lock();
    auto readerGuard = reader().lock();
    EXPECT_EQ(reader().query(pragma, {}, rows::firstInt64OrZero),
              writer().query(pragma, {}, rows::firstInt64OrZero));
  }
  repository.reset();
  EXPECT_EQ(openDescriptorsOf(file), 0);
  // The writer closed last: it folded the log into the file and removed it.
  EXPECT_FALSE(fs::exists(file.string() + "-wal"));
  SQLiteImageRepositoryV3 again(file);
  EXPECT_EQ(again.searchImages(firstPage()).size(), 3u);
}

TEST(ReadConnectionOpenTest, AReaderThatCannotOpenFailsTheOpenAndLeavesNothingOpen) {
  testing::TemporaryFolder directory;
  const auto file = directory.file(kLibraryDatabaseFileName);
  {
    SQLiteImageRepositoryV3 repository(file);
    testing::LibraryImage image{.path = "/lib/a.png"};
    testing::addImage(repository, image);
  }
  {
    testing::FaultyVFS vfs;
    vfs.failReadOnlyOpens(true);
    try {
      SQLiteImageRepositoryV3 repository(file);
      ADD_FAILURE() << "opened without a reader";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), Error::Kind::openFailed);
      EXPECT_EQ(error.sqliteResultCode() & 0xff, SQLITE_CANTOPEN);
    }
    EXPECT_EQ(openDescriptorsOf(file), 0);
    EXPECT_FALSE(fs::exists(file.string() + "-wal"));
  }
  SQLiteImageRepositoryV3 repository(file);
  EXPECT_EQ(repository.searchImages(firstPage()).size(), 1u);
}

// A library of page-sized indexing jobs whose middle pages are then overwritten with junk, as in
// damaged_library_test.cpp; the reader meets the damage first.
TEST(ReadConnectionDamageTest, DamageMetOnTheReaderMarksTheLibrary) {
  const struct {
    const char* name;
    std::function<void(SQLiteConnection&)> meetDamage;
  } cases[] = {
      {"a search",
       [](SQLiteConnection& reader) {
         std::stop_source stop;
         reader.performCancellableSearch(stop.get_token(), [&] {
           return reader.query("SELECT sum(length(root_paths)) FROM indexing_jobs", {},
                               rows::firstInt64OrZero);
         });
       }},
      {"a read",
       [](SQLiteConnection& reader) {
         reader.performRead([&] {
           return reader.query("SELECT sum(length(root_paths)) FROM indexing_jobs", {},
                               rows::firstInt64OrZero);
         });
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TemporaryFolder folder;
    const auto path = folder.file(kLibraryDatabaseFileName);
    {
      SQLiteImageRepositoryV3 repository(path);
      auto& db = lorvex::testing::connectionOf(repository);
      db.performLockedTransaction([&] {
        for (int i = 0; i < 600; ++i) {
          db.execute(
              "INSERT INTO indexing_jobs (root_paths, status, created_at, updated_at) VALUES (?, ?, 0, 0)",
              {std::string(2000, static_cast<char>('a' + i % 26)), "running"});
        }
      });
    }
    std::string bytes = testing::readFile(path);
    const std::size_t start = (bytes.size() / 2) / 4096 * 4096;
    for (std::size_t i = start; i < start + 64 * 1024; ++i)
      bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    testing::writeFile(path, bytes);
    {
      SQLiteImageRepositoryV3 repository(path);
      try {
        c.meetDamage(lorvex::testing::readerOf(repository));
        ADD_FAILURE() << "no error";
      } catch (const Error& error) {
        EXPECT_EQ(error.sqliteResultCode() & 0xff, SQLITE_CORRUPT);
      }
      EXPECT_TRUE(fs::is_regular_file(folder.file(libraryFileName("-damaged"))));
    }
    try {
      SQLiteImageRepositoryV3 again(path);
      ADD_FAILURE() << "a marked library opened";
    } catch (const Error& error) {
      EXPECT_EQ(error, Error::incompatibleSchemaVersion(4));
    }
  }
}

// The process is killed (SIGKILL) while one thread indexes image after image on the writer and
// another searches on the reader without pause: the library reopens, the interrupted job resumes
// with what was committed, and indexing the rest completes it. The kill lands after a number of
// committed images the child reports through a pipe, never after a time.
TEST(ReadConnectionKillTest, ALibraryKilledWhileSearchingAndIndexingReopensAndResumes) {
  constexpr int kImages = 40;
  const auto pathOf = [](int i) { return "/lib/" + std::to_string(i) + ".png"; };
  for (const int killAfter : {1, 9, 25}) {
    SCOPED_TRACE(killAfter);
    testing::TemporaryFolder directory;
    const auto file = directory.file(kLibraryDatabaseFileName);
    std::int64_t jobID = 0;
    {
      SQLiteImageRepositoryV3 repository(file);
      jobID = repository.startIndexingJob({"/lib"}).id;
      for (int i = 0; i < kImages; ++i) {
        repository.enqueueIndexingQueueItems(jobID, {pathOf(i), 1000, static_cast<double>(i)});
      }
    }
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipeEnds[0]);
      SQLiteImageRepositoryV3 repository(file);
      std::thread searcher([&] {
        for (;;) repository.searchImages(firstPage());
      });
      while (const auto item = repository.beginNextQueueItem(jobID)) {
        testing::LibraryImage image{
            .path = item->path, .modificationTime = *item->modificationDate, .promptTags = {"cat"}};
        ImageRecord record = testing::recordFor(image);
        record.file.fileSize = 1000;
        repository.upsertRecord(record, jobID);
        repository.completeIndexingQueueItem(jobID, item->id, std::nullopt);
        const char committed = 'x';
        if (::write(pipeEnds[1], &committed, 1) != 1) std::_Exit(3);
      }
      std::_Exit(2);  // never reached: the parent kills first
    }
    ::close(pipeEnds[1]);
    for (int seen = 0; seen < killAfter;) {
      char byte = 0;
      ASSERT_EQ(::read(pipeEnds[0], &byte, 1), 1) << "the child ended early";
      ++seen;
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(pipeEnds[0]);
    ASSERT_TRUE(WIFSIGNALED(status));

    SQLiteImageRepositoryV3 repository(file);
    const auto resumed = repository.resumeInterruptedIndexingJob();
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed->id, jobID);
    const std::int64_t processed = resumed->progress.processedCount;
    EXPECT_GE(processed, killAfter);
    ImageSearchQuery query;
    query.limit = 1000;
    const auto indexed = static_cast<std::int64_t>(repository.searchImages(query).size());
    // An image whose record committed but whose queue item did not is indexed once more.
    EXPECT_TRUE(indexed == processed || indexed == processed + 1) << indexed << " " << processed;
    int rest = 0;
    while (const auto item = repository.beginNextQueueItem(jobID)) {
      testing::LibraryImage image{.path = item->path, .modificationTime = *item->modificationDate};
      repository.upsertRecord(testing::recordFor(image), jobID);
      repository.completeIndexingQueueItem(jobID, item->id, std::nullopt);
      ++rest;
    }
    EXPECT_EQ(processed + rest, kImages);
    EXPECT_EQ(repository.searchImages(query).size(), static_cast<std::size_t>(kImages));
    EXPECT_EQ(repository.completeIndexingJob(jobID).indexedImageCount, kImages);
  }
}

// A clock whose monotonic reading moves by 2 ms at every reading: every locked entry waits 2 ms.
class SteppingClock final : public platform::Clock {
 public:
  double now() const override { return 1'700'000'000.0; }
  std::int64_t monotonicNanoseconds() const override { return reading_.fetch_add(2'000'000); }

 private:
  mutable std::atomic<std::int64_t> reading_{0};
};

TEST(ReadConnectionLockTest, WaitsForTheReadersLockAreMeasuredAndReportedAsTheWritersAre) {
  testing::TemporaryFolder directory;
  SteppingClock clock;
  SQLiteImageRepositoryV3Options options;
  options.clock = &clock;
  SQLiteImageRepositoryV3 repository(directory.file(kLibraryDatabaseFileName), options);
  std::mutex mutex;
  std::vector<platform::SignpostRecord> records;
  const auto previous = platform::setSignpostSink([&](const platform::SignpostRecord& record) {
    std::lock_guard guard(mutex);
    records.push_back(record);
  });
  const struct {
    const char* name;
    std::function<void()> read;
  } cases[] = {
      {"a search", [&] { repository.searchImages(firstPage()); }},
      {"a read", [&] { repository.tagSuggestions(std::nullopt, 10); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard guard(mutex);
      records.clear();
    }
    // The writer's lock is held throughout: every wait reported comes from the reader's.
    std::thread([&] {
      auto writerGuard = lorvex::testing::connectionOf(repository).lock();
      c.read();
    }).join();
    std::lock_guard guard(mutex);
    ASSERT_FALSE(records.empty());
    for (const auto& record : records) {
      EXPECT_EQ(record.name, "LockWait");
      EXPECT_EQ(record.message, "waitMs=2.000000");
    }
  }
  platform::setSignpostSink(previous);
}

}  // namespace
}  // namespace lorvex
