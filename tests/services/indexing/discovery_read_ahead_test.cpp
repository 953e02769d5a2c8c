#include "services/indexing/discovery_read_ahead.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/file_attributes.h"
#include "platform/regular_file.h"
#include "services/indexing/png_file_discovery.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::TemporaryFolder;

ImageFileInfo attributesOf(const std::string& path) {
  const platform::FileAttributes attributes = platform::fileAttributes(path);
  return {path, attributes.size, attributes.modificationTime};
}

// What a walk hands over, flattened for comparison: "file <path> <size>", "unreadable <path>"
// or "failure <path>: <message>".
std::vector<std::string> describe(DiscoveryReadAhead& walk) {
  std::vector<std::string> seen;
  while (auto entry = walk.next()) {
    if (entry->failure) {
      seen.push_back("failure " + entry->path + ": " + entry->message);
    } else if (entry->infoError) {
      seen.push_back("unreadable " + entry->path);
    } else {
      EXPECT_EQ(entry->info.path, entry->path);
      seen.push_back("file " + entry->path + " " + std::to_string(entry->info.fileSize));
    }
  }
  return seen;
}

// Many more files than are read ahead, in several folders, with failures among them.
std::string writeTree(TemporaryFolder& folder) {
  const std::string root = folder.makeFolder("photos");
  const std::size_t perFolder = DiscoveryReadAhead::kChunkSize * DiscoveryReadAhead::kChunksAhead / 2 + 7;
  for (const char* sub : {"a", "b", "b/c", "d"}) {
    for (std::size_t i = 0; i < perFolder; ++i)
      folder.writeFile("photos/" + std::string(sub) + "/" + std::to_string(i) + ".png",
                       std::string(i % 13, 'x'));
  }
  folder.writeFile(std::string("photos/b/bad\xff") + ".png");
  EXPECT_EQ(::symlink((root + "/gone.png").c_str(), (root + "/b/c/loop.png").c_str()), 0);
  EXPECT_EQ(::symlink((root + "/b/c/loop.png").c_str(), (root + "/gone.png").c_str()), 0);
  return root;
}

// One tree for the suite: thousands of files take a while to write.
class DiscoveryReadAheadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TemporaryFolder;
    root_ = writeTree(*folder_);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  static TemporaryFolder* folder_;
  static std::string root_;
};
TemporaryFolder* DiscoveryReadAheadTest::folder_ = nullptr;
std::string DiscoveryReadAheadTest::root_;

TEST_F(DiscoveryReadAheadTest, HandsOverWhatTheWalkFindsInItsOrder) {
  const std::string& root = root_;
  // The walk itself, with each file's attributes read on the spot; one file's cannot be read.
  const std::string unreadable = root + "/b/5.png";
  const auto readInfo = [&](const std::string& path) {
    if (path == unreadable) throw std::runtime_error("unreadable");  // any error: the scan tells them apart
    return attributesOf(path);
  };
  std::vector<std::string> expected;
  PNGFileDiscovery::discover(
      root,
      [&](const std::string& path) {
        expected.push_back(path == unreadable
                               ? "unreadable " + path
                               : "file " + path + " " + std::to_string(readInfo(path).fileSize));
      },
      [&](DiscoveryFailure failure) {
        expected.push_back("failure " + failure.path + ": " + failure.message);
      });
  ASSERT_GT(expected.size(), DiscoveryReadAhead::kChunkSize * DiscoveryReadAhead::kChunksAhead);

  DiscoveryReadAhead walk(root, readInfo, {});
  EXPECT_EQ(describe(walk), expected);
  EXPECT_FALSE(walk.next());  // and stays ended
}

TEST_F(DiscoveryReadAheadTest, WhatTheWalkThrowsIsRethrownOnce) {
  DiscoveryReadAhead walk(*folder_ / "absent", attributesOf, {});
  EXPECT_THROW(walk.next(), platform::FileError);
  EXPECT_FALSE(walk.next());
}

TEST_F(DiscoveryReadAheadTest, AStopOrTheEndOfTheReaderEndsTheWalk) {
  const std::string& root = root_;
  std::size_t total = 0;
  PNGFileDiscovery::discover(
      root, [&](const std::string&) { ++total; }, [&](DiscoveryFailure) { ++total; });

  for (const bool stopBeforeStart : {false, true}) {
    std::stop_source stop;
    if (stopBeforeStart) stop.request_stop();
    std::atomic<std::size_t> reads = 0;
    DiscoveryReadAhead walk(
        root,
        [&](const std::string& path) {
          ++reads;
          return attributesOf(path);
        },
        stop.get_token());
    std::size_t handed = 0;
    if (!stopBeforeStart) {
      ASSERT_TRUE(walk.next());
      handed = 1;
      stop.request_stop();
    }
    while (walk.next()) ++handed;
    EXPECT_LT(handed, total) << stopBeforeStart;
    // The walk read at most what fits ahead of the caller, and a chunk in hand.
    EXPECT_LE(reads.load(), (DiscoveryReadAhead::kChunksAhead + 2) * DiscoveryReadAhead::kChunkSize)
        << stopBeforeStart;
  }

  // A caller that leaves early (an error of its own) does not wait for the rest of the walk.
  std::atomic<std::size_t> reads = 0;
  {
    DiscoveryReadAhead walk(root,
                            [&](const std::string& path) {
                              ++reads;
                              return attributesOf(path);
                            },
                            {});
    ASSERT_TRUE(walk.next());
  }
  EXPECT_LE(reads.load(), (DiscoveryReadAhead::kChunksAhead + 2) * DiscoveryReadAhead::kChunkSize);
  EXPECT_LT(reads.load(), total);
}

}  // namespace
}  // namespace lorvex
