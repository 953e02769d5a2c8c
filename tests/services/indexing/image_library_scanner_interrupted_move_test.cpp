// A folder of marked images is moved and the scan that catches up with the move is killed
// (SIGKILL, in a child process) before one of its calls into the library, for every such call in
// turn. The next launch resumes the job and scans the folder: every mark must then be at
// the image's new place, whichever step the kill fell on.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "services/indexing/failing_indexing_store.h"
#include "services/indexing/scanner_test_library.h"

namespace lorvex::testing {
namespace {

namespace fs = std::filesystem;

// The marks of present images, by path below the photo folder.
using Marks = std::map<std::string, std::string>;

struct Image {
  std::string name;
  std::string prompt;
  ReviewState mark;
  // Images are indexed newest first: the copies of one image go into different transactions.
  double modified;
};

const std::vector<Image> kImages = {
    {"a.png", "first", {false, true, std::nullopt}, 1'700'000'005},
    {"b.png", "second", {true, false, std::nullopt}, 1'700'000'003},
    {"c.png", "third", {true, true, "the cover"}, 1'700'000'002},
    {"d.png", "fourth", {}, 1'700'000'001},
    // Two copies of one image, marked differently.
    {"twin.png", "twin", {true, false, std::nullopt}, 1'700'000'006},
    {"twin copy.png", "twin", {false, true, std::nullopt}, 1'700'000'004},
};

std::string described(bool favorite, bool deleteCandidate, const std::optional<std::string>& notes) {
  return std::string(favorite ? "favorite " : "") + (deleteCandidate ? "delete " : "") + notes.value_or("");
}

// Small claims and batches, so that the images are written over several transactions.
ImageLibraryScannerOptions smallBatches(const FileContentHashing& hasher) {
  ImageLibraryScannerOptions options;
  options.contentHasher = &hasher;
  options.claimBatchSize = 3;
  options.projectionBatchSize = 2;
  options.enqueueBatchSize = 2;
  options.preparationThreads = 2;
  return options;
}

Marks liveMarks(SQLiteImageRepositoryV3& repository, const std::string& root) {
  auto& db = connectionOf(repository);
  return db.withLock([&] {
    return db.query(
        "SELECT absolute_path, favorite, delete_candidate, notes FROM media_files JOIN review_states ON "
        "review_states.media_file_id = media_files.id WHERE missing = 0 AND (favorite <> 0 OR "
        "delete_candidate <> 0 OR notes IS NOT NULL)",
        {}, [&](SQLiteRows& rows) {
          Marks marks;
          while (rows.next()) {
            marks[rows.text(0).substr(root.size() + 1)] =
                described(rows.int64(1) != 0, rows.int64(2) != 0, rows.optionalText(3));
          }
          return marks;
        });
  });
}

using CatchUp = std::function<void(ImageLibraryScanner&, const std::string& root, const std::string& from,
                                   const std::string& to)>;

TEST(InterruptedMoveTest, AScanKilledAtAnyStepOfAMoveLosesNoMark) {
  const struct {
    const char* name;
    std::string from;
    std::string to;
    // Moves the images from `from` to `to` first, and back again before the killed scan.
    bool movedBack;
    CatchUp catchUp;
  } cases[] = {
      {"a subfolder renamed, as monitoring reports it", "sub", "sub2", false,
       [](ImageLibraryScanner& scanner, const std::string& root, const std::string& from,
          const std::string& to) {
         scanner.scanChangedPaths({from, to}, {root}, {}, {});
       }},
      {"a subfolder renamed while nothing ran, found by a full scan", "sub", "sub2", false,
       [](ImageLibraryScanner& scanner, const std::string& root, const std::string&, const std::string&) {
         scanner.scan({root}, {}, {});
       }},
      {"a subfolder renamed back, as monitoring reports it", "sub2", "sub", true,
       [](ImageLibraryScanner& scanner, const std::string& root, const std::string& from,
          const std::string& to) {
         scanner.scanChangedPaths({from, to}, {root}, {}, {});
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TemporaryFolder photos;
    const TemporaryFolder libraries;
    const std::string root = photos.path().string();
    const fs::path before = libraries.path() / "before";
    const std::string from = photos / c.from;
    const std::string to = photos / c.to;
    const std::string first = photos / (c.movedBack ? c.to : c.from);
    for (const Image& image : kImages) {
      const std::string path = first + "/" + image.name;
      photos.writeFile(path.substr(root.size() + 1), pngWithPrompt(image.prompt));
      setModificationTime(path, image.modified);
    }
    Marks expected;
    {
      fs::create_directories(before);
      SQLiteImageRepositoryV3 repository(before / kLibraryDatabaseFileName, stillMonotonicOptions());
      FileContentHasher hasher;
      ImageLibraryScanner scanner(repository, repository, GenerationMetadataParser(), smallBatches(hasher));
      scanner.scan({root}, {}, {});
      for (const Image& image : kImages) {
        if (image.mark == ReviewState{}) continue;
        repository.updateReviewState(first + "/" + image.name, image.mark);
        expected[c.to + "/" + image.name] =
            described(image.mark.favorite, image.mark.deleteCandidate, image.mark.notes);
      }
      if (c.movedBack) {
        fs::rename(first, from);
        scanner.scanChangedPaths({first, from}, {root}, {}, {});
      }
    }
    fs::rename(from, to);

    bool finished = false;
    for (int killedBefore = 1; !finished && killedBefore < 400; ++killedBefore) {
      SCOPED_TRACE("killed before call " + std::to_string(killedBefore));
      const fs::path library = libraries.path() / std::to_string(killedBefore);
      fs::copy(before, library);
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        int calls = 0;
        try {
          SQLiteImageRepositoryV3 repository(library / kLibraryDatabaseFileName, stillMonotonicOptions());
          FailingIndexingStore store(repository, repository);
          store.forwardsBatches = true;
          store.beforeEachCall = [&] {
            if (++calls == killedBefore) ::kill(::getpid(), SIGKILL);
          };
          FileContentHasher hasher;
          ImageLibraryScanner scanner(store, store, GenerationMetadataParser(), smallBatches(hasher));
          c.catchUp(scanner, root, from, to);
        } catch (...) {
          ::_exit(2);
        }
        ::_exit(0);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      ASSERT_TRUE(finished || (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL));

      // The next launch.
      SQLiteImageRepositoryV3 repository(library / kLibraryDatabaseFileName, stillMonotonicOptions());
      FileContentHasher hasher;
      ImageLibraryScanner scanner(repository, repository, GenerationMetadataParser(), smallBatches(hasher));
      scanner.resumeInterruptedJob({}, {});
      scanner.scan({root}, {}, {});
      EXPECT_EQ(liveMarks(repository, root), expected);
    }
    EXPECT_TRUE(finished);
  }
}

}  // namespace
}  // namespace lorvex::testing
