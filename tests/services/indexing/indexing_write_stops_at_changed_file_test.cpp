// A batch of indexed images is written only for files still as they were read: when one changed or
// went between its reading and the write, the write stops before it, the images before it are
// written, and the changed one is read again on its own, so the library never holds a record of a
// file that is not, or no longer, there as recorded.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "database/support/repository_connection.h"
#include "services/indexing/failing_indexing_store.h"
#include "services/indexing/scanner_test_library.h"

namespace lorvex {
namespace {

using testing::FailingIndexingStore;
using testing::ScannerTestLibrary;

// What the library holds for a present file: its size and modification time.
struct StoredFile {
  std::int64_t size = 0;
  double modificationTime = 0;
  friend bool operator==(const StoredFile&, const StoredFile&) = default;
};

std::optional<StoredFile> storedPresentFile(ScannerTestLibrary& library, const std::string& path) {
  auto& connection = lorvex::testing::connectionOf(*library.repository);
  return connection.withLock([&] {
    return connection.query(
        "SELECT file_size, modification_time FROM media_files WHERE absolute_path = ? AND missing = 0",
        {path}, [](SQLiteRows& rows) -> std::optional<StoredFile> {
          if (!rows.next()) return std::nullopt;
          return StoredFile{rows.int64(0), rows.real(1)};
        });
  });
}

std::optional<StoredFile> fileOnDisk(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  return StoredFile{
      static_cast<std::int64_t>(status.st_size),
      static_cast<double>(status.st_mtim.tv_sec) + static_cast<double>(status.st_mtim.tv_nsec) / 1e9};
}

// The modification time of the second file claimed.
constexpr double kSecondTime = 1'700'000'200.0;

TEST(IndexingWriteStopsAtChangedFile, TheWriteStopsBeforeAFileNoLongerAsReadAndWritesTheOnesBefore) {
  struct Row {
    const char* name;
    std::function<void(ScannerTestLibrary&, const std::string& path)> change;
  };
  const std::vector<Row> rows = {
      {"its size changed",
       [](ScannerTestLibrary& library, const std::string&) {
         library.writePNG("b.png", "a much longer prompt, written over the file", kSecondTime);
       }},
      {"its modification time changed",
       [](ScannerTestLibrary&, const std::string& path) {
         testing::setModificationTime(path, kSecondTime + 5);
       }},
      {"it is gone", [](ScannerTestLibrary&, const std::string& path) { std::filesystem::remove(path); }},
      {"a folder took its place",
       [](ScannerTestLibrary&, const std::string& path) {
         std::filesystem::remove(path);
         std::filesystem::create_directory(path);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScannerTestLibrary library;
    // Claimed newest first: a, then b, then c, in one batch.
    const std::string first = library.writePNG("a.png", "first", kSecondTime + 100);
    const std::string second = library.writePNG("b.png", "second", kSecondTime);
    const std::string third = library.writePNG("c.png", "third", kSecondTime - 100);
    FailingIndexingStore store(library.store, library.store);
    store.forwardsBatches = true;
    // After the batch's files were read, before it is written.
    store.beforeFirstProjectBatch = [&] { row.change(library, second); };
    library.scannerOver(store, store).scan({library.root()}, {}, {});

    ASSERT_FALSE(store.projectedPerBatch.empty());
    EXPECT_EQ(store.projectedPerBatch.front(), 1u) << "the write goes on past the changed file";
    for (const std::string& path : {first, third}) {
      EXPECT_EQ(storedPresentFile(library, path), fileOnDisk(path)) << path;
    }
    // The file as it is now, or no record of a present file where none is.
    EXPECT_EQ(storedPresentFile(library, second), fileOnDisk(second));
  }
}

}  // namespace
}  // namespace lorvex
