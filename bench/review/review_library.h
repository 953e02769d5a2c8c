// The synthetic library of the review benchmarks: N images written straight into media_files and
// review_states, in 40 folders, each with a subfolder and a sibling whose name begins with the
// folder's ("/library/f7" and "/library/f7x"), 3% missing, 5% delete candidates. Each image is one
// second newer than the one before, so the newest-first sort lists them by descending id.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"

namespace lorvex::bench {

inline constexpr int kReviewLibraryFolders = 40;
inline constexpr const char* kReviewLibraryRoot = "/library";

inline std::string reviewLibraryFolderPath(int folder) {
  return std::string(kReviewLibraryRoot) + "/f" + std::to_string(folder);
}

inline void buildReviewLibrary(SQLiteImageRepositoryV3& repository, std::int64_t images) {
  auto& connection = lorvex::testing::connectionOf(repository);
  auto guard = connection.lock();
  std::mt19937_64 random(7);
  connection.performTransaction([&] {
    for (std::int64_t id = 1; id <= images; ++id) {
      const int folder = static_cast<int>(random() % kReviewLibraryFolders);
      const char* place[] = {"/", "/sub/", "x/"};
      const std::string path =
          reviewLibraryFolderPath(folder) + place[random() % 3] + "img" + std::to_string(id) + ".png";
      const bool missing = random() % 100 < 3;
      connection.execute(
          "INSERT INTO media_files (id, absolute_path, file_size, modification_time, projection_revision, "
          "basename_normalized, missing, first_seen_at, last_seen_at, indexed_at) VALUES (?, ?, 1000, ?, 1, "
          "?, ?, "
          "0, 0, 0)",
          {id, path, 1.6e9 + static_cast<double>(id), "img" + std::to_string(id) + ".png", missing ? 1 : 0});
      if (random() % 100 < 5) {
        connection.execute(
            "INSERT INTO review_states (media_file_id, favorite, delete_candidate, updated_at) VALUES (?, 0, "
            "1, 0)",
            {id});
      }
    }
  });
  connection.executeScript("ANALYZE;");
}

}  // namespace lorvex::bench
