// A scan killed outright (SIGKILL, in a child process) at random moments, over and over, and then
// resumed and finished must leave the library an uninterrupted scan leaves: the same files, tags,
// statistics and counts. The kills land anywhere: inside a walk, a claim, a batch's transaction, a
// checkpoint, between batches.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "services/indexing/scanner_test_library.h"

namespace lorvex {
namespace {

using testing::ScannerTestLibrary;

constexpr int kFiles = 700;

// Small batches, bursts and claims, so that a kill meets every kind of step often.
ImageLibraryScannerOptions killableOptions(const FileContentHashing& hasher) {
  ImageLibraryScannerOptions options;
  options.contentHasher = &hasher;
  options.discoveryChunkSize = 60;
  options.processingBurstSize = 25;
  options.claimBatchSize = 45;
  options.enqueueBatchSize = 35;
  options.projectionBatchSize = 16;
  options.preparationThreads = 3;
  return options;
}

// What an uninterrupted scan of `root` into a new library at `database` leaves, or what resuming
// the job a killed scan left and scanning again leaves.
void resumeAndScan(const std::filesystem::path& database, const std::string& root) {
  SQLiteImageRepositoryV3 repository(database);
  FileContentHasher hasher;
  ImageLibraryScanner scanner(repository, repository, GenerationMetadataParser(), killableOptions(hasher));
  scanner.resumeInterruptedJob({}, {});
  scanner.scan({root}, {}, {});
}

// The library as rows of text: files, their tags and texts, the tag and model statistics, and the
// jobs' states and the newest job's counts.
std::vector<std::string> libraryRows(const std::filesystem::path& database) {
  SQLiteImageRepositoryV3 repository(database);
  // Killed runs leave jobs of their own behind, all finished: only the running ones are counted.
  return testing::textRows(
      repository,
      {
          {"SELECT absolute_path, relative_path, root_id IS NOT NULL, file_size, printf('%.6f', "
           "modification_time), "
           "content_sha256, projection_revision, missing FROM media_files ORDER BY absolute_path",
           8},
          {"SELECT m.absolute_path, t.normalized_key, i.source_mask FROM media_tag_index i JOIN media_files "
           "m ON "
           "m.id = i.media_file_id JOIN tag_terms t ON t.id = i.tag_term_id ORDER BY 1, 2",
           3},
          {"SELECT m.absolute_path, g.prompt, g.negative_prompt, g.seed, (SELECT COUNT(*) FROM "
           "generation_parameters "
           "p WHERE p.generation_record_id = g.id) FROM generation_records g JOIN media_files m ON m.id = "
           "g.media_file_id ORDER BY 1",
           5},
          {"SELECT m.absolute_path, f.prompt, f.tags FROM media_text_fts f JOIN media_files m ON m.id = "
           "f.rowid "
           "ORDER BY 1",
           3},
          {"SELECT t.normalized_key, s.image_count, s.prompt_image_count, s.character_image_count FROM "
           "tag_terms t "
           "LEFT JOIN tag_term_stats s ON s.tag_term_id = t.id ORDER BY 1",
           4},
          {"SELECT raw_source, image_count, (SELECT COUNT(*) FROM model_search_fts f WHERE f.rowid = "
           "models.id) "
           "FROM models ORDER BY raw_source",
           3},
          {"SELECT COUNT(*) FROM indexing_jobs WHERE status = 'running'", 1},
          {"SELECT total_count, processed_count, indexed_count, failed_count FROM indexing_jobs ORDER BY id "
           "DESC "
           "LIMIT 1",
           4},
          {"SELECT path, status, failure_message FROM indexing_queue_items WHERE job_id = (SELECT MAX(id) "
           "FROM "
           "indexing_jobs) ORDER BY path",
           3},
      });
}

TEST(ImageLibraryScannerKillTest, AScanKilledAtRandomMomentsResumesToTheUninterruptedLibrary) {
  ScannerTestLibrary photos;
  const std::vector<std::string> words{"cat", "dog", "owl", "sky", "sea", "red hat", "blue eyes", "tree"};
  for (int i = 0; i < kFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%d/%03d.png", i % 4, i);
    if (i % 101 == 7) {
      photos.photos.writeFile(name, "not a png");  // a failure the counts carry
      continue;
    }
    photos.writePNG(name, words[i % words.size()] + ", " + words[(i / 5) % words.size()],
                    1'700'000'000.0 + i * 0.25);
  }

  const testing::TemporaryFolder libraries;
  const auto reference = libraries.path() / "reference.sqlite";
  const auto start = std::chrono::steady_clock::now();
  resumeAndScan(reference, photos.root());
  // Only to spread the kills over a run's length: nothing is measured.
  const auto runLength = std::chrono::steady_clock::now() - start;
  const auto expected = libraryRows(reference);
  ASSERT_GT(expected.size(), static_cast<std::size_t>(kFiles));

  std::mt19937 random(31);
  for (int library = 0; library < 3; ++library) {
    SCOPED_TRACE("library " + std::to_string(library));
    const auto database = libraries.path() / ("killed-" + std::to_string(library) + ".sqlite");
    // How long a run may still take: a run that ends before its kill halves it, since what is
    // left to do shrinks (and the machine's load changes).
    auto runLeft = std::chrono::duration_cast<std::chrono::microseconds>(runLength);
    int killed = 0;
    for (int round = 0; killed < 6 && round < 60; ++round) {
      const auto delay = runLeft * (static_cast<double>(random() % 1000) / 1000.0);
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        try {
          resumeAndScan(database, photos.root());
        } catch (...) {
          ::_exit(2);
        }
        ::_exit(0);
      }
      std::this_thread::sleep_for(delay);
      ::kill(child, SIGKILL);
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      if (WIFSIGNALED(status)) {
        killed += 1;
      } else {
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the scan failed in round " << round;
        runLeft /= 2;
      }
    }
    EXPECT_EQ(killed, 6);
    resumeAndScan(database, photos.root());
    EXPECT_EQ(libraryRows(database), expected);
  }
}

}  // namespace
}  // namespace lorvex
