// A folder of marked images is moved, and the scan that catches up is killed (SIGKILL, in a child
// process) at each of its commits in turn: after the next launch, every mark is at its new place.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "services/indexing/scanner_test_library.h"

namespace lorvex::testing {
namespace {

// Newest first: with batches of two, the twin's copies are written in different transactions.
const struct {
  std::string name;
  const char* prompt;
  ReviewState mark;
} kImages[] = {{"twin.png", "twin", {true, false, {}}},      {"a.png", "a", {false, true, {}}},
               {"twin copy.png", "twin", {false, true, {}}}, {"b.png", "b", {true, false, {}}},
               {"c.png", "c", {true, true, "the cover"}},    {"d.png", "d", {}}};

std::vector<std::string> liveMarks(SQLiteImageRepositoryV3& repository) {
  return textRows(repository,
                  {{"SELECT absolute_path, favorite, delete_candidate, notes FROM media_files JOIN "
                    "review_states ON media_file_id = media_files.id WHERE missing = 0 AND (favorite OR "
                    "delete_candidate OR notes IS NOT NULL) ORDER BY 1",
                    4}});
}

TEST(InterruptedMoveTest, AScanKilledAtAnyCommitOfAMoveLosesNoMark) {
  ImageLibraryScannerOptions smallBatches;
  smallBatches.claimBatchSize = 3;
  smallBatches.enqueueBatchSize = smallBatches.projectionBatchSize = smallBatches.preparationThreads = 2;
  const std::tuple<std::string, std::string, bool> cases[] = {
      {"sub", "sub2", false}, {"sub", "sub2", true}, {"sub2", "sub", false}};
  for (const auto& [fromName, toName, fullScan] : cases) {
    SCOPED_TRACE(fromName + " to " + toName + (fullScan ? ", found by a full scan" : ""));
    ScannerTestLibrary library;
    const std::string sub = library.photo("sub"), from = library.photo(fromName), to = library.photo(toName);
    for (std::size_t i = 0; i < std::size(kImages); ++i)
      library.writePNG("sub/" + kImages[i].name, kImages[i].prompt, 1'700'000'010.0 - i);
    library.scanner(smallBatches).scan({library.root()}, {}, {});
    for (const auto& image : kImages)
      library.repository->updateReviewState(sub + "/" + image.name, image.mark);
    if (from != sub) {
      std::filesystem::rename(sub, from);
      library.scanner(smallBatches).scanChangedPaths({sub, from}, {library.root()}, {}, {});
    }
    std::vector<std::string> expected = liveMarks(*library.repository);
    for (auto& row : expected) row.replace(1, from.size(), to);
    library.repository.reset();
    std::filesystem::rename(from, to);

    bool finished = false;
    for (int commits = 1; !finished; ++commits) {
      SCOPED_TRACE("killed at commit " + std::to_string(commits));
      const TemporaryFolder copy;
      std::filesystem::copy(library.libraryFolder.path(), copy.path());
      const std::filesystem::path database = copy.path() / kLibraryDatabaseFileName;
      const pid_t child = ::fork();
      if (child == 0) {
        SQLiteImageRepositoryV3 repository(database, stillMonotonicOptions());
        const auto killAtLast = [](void* left) {
          if (--*static_cast<int*>(left) == 0) ::kill(::getpid(), SIGKILL);
          return 0;
        };
        sqlite3_commit_hook(connectionOf(repository).handle(), killAtLast, &commits);
        ImageLibraryScanner scanner = library.scannerOver(repository, repository, smallBatches);
        if (fullScan) scanner.scan({library.root()}, {}, {});
        if (!fullScan) scanner.scanChangedPaths({from, to}, {library.root()}, {}, {});
        ::_exit(0);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      ASSERT_TRUE(finished || (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL));

      SQLiteImageRepositoryV3 repository(database, stillMonotonicOptions());
      ImageLibraryScanner scanner = library.scannerOver(repository, repository, smallBatches);
      scanner.resumeInterruptedJob({}, {});
      scanner.scan({library.root()}, {}, {});
      EXPECT_EQ(liveMarks(repository), expected);
    }
  }
}

}  // namespace
}  // namespace lorvex::testing
