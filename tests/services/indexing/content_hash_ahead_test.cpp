#include "services/indexing/content_hash_ahead.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <vector>

#include "platform/file_attributes.h"
#include "services/indexing/file_content_hasher.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::TemporaryFolder;

ImageFileInfo infoOf(const std::string& path) {
  const auto attributes = platform::fileAttributes(path);
  return {path, attributes.size, attributes.modificationTime};
}

// Runs `during` in the middle of hashing, as another program writing the file would.
class InterferingHasher final : public FileContentHashing {
 public:
  std::function<void(const std::string&)> during;
  std::string sha256Hex(const std::string& path) const override {
    const std::string hex = FileContentHasher().sha256Hex(path);
    if (during) during(path);
    return hex;
  }
};

TEST(ContentHashAheadTest, AHashTakenAheadIsUsedOnlyForTheSameFileVersion) {
  TemporaryFolder folder;
  const std::string path = folder.writeFile("a.png", "first version");
  const FileContentHasher hasher;
  ContentHashAhead ahead(hasher);

  ahead.start(path);
  EXPECT_EQ(ahead.take(infoOf(path)), hasher.sha256Hex(path));
  // Taken once: nothing is left for a second take.
  EXPECT_EQ(ahead.take(infoOf(path)), std::nullopt);

  ahead.start(path);
  ImageFileInfo later = infoOf(path);
  later.modificationDate += 1;  // the scan read a newer version than the one hashed
  EXPECT_EQ(ahead.take(later), std::nullopt);

  const std::string other = folder.writeFile("b.png", "other");
  ahead.start(other);
  EXPECT_EQ(ahead.take(infoOf(path)), std::nullopt);
}

TEST(ContentHashAheadTest, HoldsTheLatestFilesStarted) {
  TemporaryFolder folder;
  std::vector<std::string> paths;
  for (std::size_t i = 0; i <= ContentHashAhead::kCapacity; ++i) {
    paths.push_back(folder.writeFile(std::to_string(i) + ".png", std::to_string(i)));
  }
  const FileContentHasher hasher;
  ContentHashAhead ahead(hasher);
  for (const auto& path : paths) {
    ahead.start(path);
    ahead.start(path);
  }
  EXPECT_EQ(ahead.take(infoOf(paths[0])), std::nullopt);
  for (std::size_t i = paths.size() - 1; i > 0; --i)
    EXPECT_EQ(ahead.take(infoOf(paths[i])), hasher.sha256Hex(paths[i]));
}

TEST(ContentHashAheadTest, AFileWrittenWhileHashedOrUnreadableGivesNothing) {
  TemporaryFolder folder;
  const std::string path = folder.writeFile("a.png", "short");
  InterferingHasher hasher;
  hasher.during = [](const std::string& file) { std::ofstream(file, std::ios::app) << " and longer"; };
  ContentHashAhead ahead(hasher);
  ahead.start(path);
  EXPECT_EQ(ahead.take(infoOf(path)), std::nullopt);

  hasher.during = [](const std::string&) {
    throw std::runtime_error("Unable to read file: Input/output error");
  };
  ahead.start(path);
  EXPECT_EQ(ahead.take(infoOf(path)), std::nullopt);

  ahead.start(folder / "gone.png");
  EXPECT_EQ(ahead.take({folder / "gone.png", 0, 0}), std::nullopt);
}

}  // namespace
}  // namespace lorvex
