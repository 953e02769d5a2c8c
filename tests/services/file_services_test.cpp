#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/clock.h"
#include "platform/file_attributes.h"
#include "platform/regular_file.h"
#include "services/indexing/file_content_hasher.h"
#include "services/indexing/file_system_file_attributes_reader.h"
#include "services/thumbnails/file_manager_thumbnail_cache_remover.h"
#include "services/trash/file_manager_trash_mover.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::TemporaryFolder;

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

void setModificationTime(const std::string& path, double seconds) {
  const timespec times[2] = {
      {0, UTIME_OMIT},
      {static_cast<time_t>(seconds),
       static_cast<long>((seconds - static_cast<double>(static_cast<time_t>(seconds))) * 1e9)}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

std::string hashName(char first, char second, char fill = '0') {
  std::string name(64, fill);
  name[0] = first;
  name[1] = second;
  return name + ".jpg";
}

TEST(FileContentHasherTest, HashesThroughTheInterface) {
  TemporaryFolder folder;
  const FileContentHasher hasher;
  const FileContentHashing& hashing = hasher;
  EXPECT_EQ(hashing.sha256Hex(folder.writeFile("a.png", "abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_THROW(hashing.sha256Hex(folder / "absent.png"), platform::FileError);
}

TEST(FileSystemFileAttributesReaderTest, ReadsRegularFilesUnderTheirGivenPath) {
  TemporaryFolder folder;
  const std::string file = folder.writeFile("a.png", "12345");
  setModificationTime(file, 1'700'000'000.25);
  const std::string link = folder / "link.png";
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
  const FileSystemFileAttributesReader reader;

  EXPECT_EQ(reader.readAttributes(file), (ImageFileInfo{file, 5, 1'700'000'000.25}));
  EXPECT_EQ(reader.readAttributes(link), (ImageFileInfo{link, 5, 1'700'000'000.25}));  // link not resolved
  EXPECT_EQ(reader.readAttributes(folder / "absent.png"), std::nullopt);
  EXPECT_EQ(reader.readAttributes(folder.path()), std::nullopt);
}

TEST(FileManagerTrashMoverTest, MovesIntoTheConfiguredTrash) {
  TemporaryFolder folder;
  platform::ManualClock clock;
  platform::TrashEnvironment environment;
  environment.homeTrashDirectory = folder / "data/Trash";
  environment.uid = ::getuid();
  environment.clock = &clock;
  const FileManagerTrashMover mover(environment);
  const std::string file = folder.writeFile("photos/a.png", "data");

  mover.moveToTrash(file);

  EXPECT_FALSE(exists(file));
  EXPECT_TRUE(exists(folder / "data/Trash/files/a.png"));
  EXPECT_TRUE(exists(folder / "data/Trash/info/a.png.trashinfo"));
  EXPECT_THROW(mover.moveToTrash(file), platform::FileError);
}

TEST(FileManagerThumbnailCacheRemoverTest, RemovesOnlyFilesInsideTheCache) {
  TemporaryFolder folder;
  const std::string cache = folder.makeFolder("Thumbnails");
  const std::string inside = folder.writeFile("Thumbnails/ab/" + hashName('a', 'b'));
  const std::string sibling = folder.writeFile("ThumbnailsOld/ab/" + hashName('a', 'b'));
  const std::string outside = folder.writeFile("elsewhere.jpg");
  folder.makeFolder("Thumbnails/cd");
  const FileManagerThumbnailCacheRemover remover(cache + "/");

  struct Case {
    std::string path;
    std::string survivor;  // a file that must still exist afterwards
  };
  const Case cases[] = {
      {"", outside},
      {cache + "/../elsewhere.jpg", outside},  // resolves to outside the cache
      {sibling, sibling},                      // a folder whose name merely starts like the cache
      {cache + "/ab/absent.jpg", inside},
      {cache + "/cd", cache + "/cd"},  // folders are never removed
  };
  for (const auto& c : cases) {
    EXPECT_NO_THROW(remover.removeThumbnail(c.path)) << c.path;
    EXPECT_TRUE(exists(c.survivor)) << c.path;
  }
  remover.removeThumbnail(cache + "/./ab//" + hashName('a', 'b'));
  EXPECT_FALSE(exists(inside));
}

TEST(FileManagerThumbnailCacheRemoverTest, SweepRemovesOldUnreferencedThumbnailsOnly) {
  TemporaryFolder folder;
  const std::string cache = folder.makeFolder("Thumbnails");
  const double cutoff = 1'700'000'000.0;
  const auto thumbnail = [&](const std::string& shard, const std::string& name, double modified) {
    const std::string path = folder.writeFile("Thumbnails/" + shard + "/" + name, "jpeg");
    setModificationTime(path, modified);
    return path;
  };
  const std::string referencedOld = thumbnail("0a", hashName('0', 'a', '1'), cutoff - 100);
  const std::string unreferencedOld = thumbnail("0a", hashName('0', 'a', '2'), cutoff - 0.5);
  const std::string atCutoff = thumbnail("0a", hashName('0', 'a', '3'), cutoff);
  const std::string recent = thumbnail("ff", hashName('f', 'f', '4'), cutoff + 60);
  // Not thumbnails of the layout: ignored and not counted.
  const std::string upperCase = thumbnail("0a", "0A" + std::string(62, 'B') + ".jpg", cutoff - 100);
  const std::string shortName = thumbnail("0a", "0a" + std::string(61, '0') + ".jpg", cutoff - 100);
  const std::string wrongShard = thumbnail("0b", hashName('0', 'a', '5'), cutoff - 100);
  const std::string topLevel = thumbnail(".", hashName('0', 'a', '6'), cutoff - 100);
  const std::string upperShard = thumbnail("AB", hashName('a', 'b', '7'), cutoff - 100);
  const std::string notJpeg =
      thumbnail("0a", std::string(64, 'a').replace(0, 2, "0a") + ".png", cutoff - 100);
  // A link named like a thumbnail is kept as if recent (it is not a regular file).
  const std::string link = cache + "/0a/" + hashName('0', 'a', '8');
  ASSERT_EQ(::symlink(recent.c_str(), link.c_str()), 0);

  const FileManagerThumbnailCacheRemover remover(cache);
  const auto summary = remover.sweepCache({"/anything/before/" + hashName('0', 'a', '1')}, cutoff);

  ThumbnailCacheSweepSummary expected;
  expected.scannedFileCount = 5;
  expected.removedThumbnailPaths = {unreferencedOld};
  expected.keptRecentFileCount = 3;
  expected.failedRemovalCount = 0;
  EXPECT_EQ(summary, expected);
  for (const auto& path : {referencedOld, atCutoff, recent, upperCase, shortName, wrongShard, topLevel,
                           upperShard, notJpeg, link}) {
    EXPECT_TRUE(exists(path)) << path;
  }
  EXPECT_FALSE(exists(unreferencedOld));
}

TEST(FileManagerThumbnailCacheRemoverTest, SweepRemovesOldTemporaryFilesOfKilledThumbnailWrites) {
  TemporaryFolder folder;
  const std::string cache = folder.makeFolder("Thumbnails");
  const double cutoff = 1'700'000'000.0;
  const auto file = [&](const std::string& relative, double modified) {
    const std::string path = folder.writeFile("Thumbnails/" + relative, "partial jpeg");
    setModificationTime(path, modified);
    return path;
  };
  const std::string hash = hashName('0', 'a', '1');  // "<hash>.jpg"
  const std::string oldTemporary = file("0a/." + hash + ".tmp-Ab12Z9", cutoff - 10);
  const std::string recentTemporary = file("0a/." + hash + ".tmp-xY34q1", cutoff + 10);
  // Hidden files that are not our temporary files are never touched.
  const std::string others[] = {
      file("0a/.other", cutoff - 10),
      file("0a/." + hash + ".tmp-ab12", cutoff - 10),    // too short a unique part
      file("0a/." + hash + ".tmp-ab_12c", cutoff - 10),  // not letters and digits
      file("0b/." + hash + ".tmp-Ab12Z9", cutoff - 10),  // wrong shard
      file("0a/." + hash + ".bak-Ab12Z9", cutoff - 10),  // another marker
      file("." + hash + ".tmp-Ab12Z9", cutoff - 10),     // not in a shard
      file("0a/.0A" + std::string(62, 'B') + ".jpg.tmp-Ab12Z9", cutoff - 10),
  };

  const auto summary = FileManagerThumbnailCacheRemover(cache).sweepCache({}, cutoff);

  EXPECT_FALSE(exists(oldTemporary));
  EXPECT_TRUE(exists(recentTemporary));
  for (const auto& path : others) EXPECT_TRUE(exists(path)) << path;
  EXPECT_EQ(summary, ThumbnailCacheSweepSummary::empty());
}

TEST(FileManagerThumbnailCacheRemoverTest, SweepOfAMissingCacheIsEmptyAndAnUnlistableCacheThrows) {
  TemporaryFolder folder;
  EXPECT_EQ(FileManagerThumbnailCacheRemover(folder / "absent").sweepCache({}, 1e12),
            ThumbnailCacheSweepSummary::empty());
  // A file where the cache folder should be cannot be listed.
  const std::string notAFolder = folder.writeFile("Thumbnails", "x");
  EXPECT_THROW(FileManagerThumbnailCacheRemover(notAFolder).sweepCache({}, 1e12), platform::FileError);
}

}  // namespace
}  // namespace lorvex
