#include "platform/file_attributes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/clock.h"
#include "platform/regular_file.h"
#include "support/temporary_folder.h"

namespace lorvex::platform {
namespace {

void setModificationTime(const std::string& path, timespec time) {
  const timespec times[2] = {{0, UTIME_OMIT}, time};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

TEST(FileAttributesTest, ModificationTimeIsSecondsPlusNanoseconds) {
  EXPECT_EQ(modificationTimeSeconds({1'700'000'000, 0}), 1'700'000'000.0);
  EXPECT_EQ(modificationTimeSeconds({1'700'000'000, 500'000'000}), 1'700'000'000.5);
  EXPECT_EQ(modificationTimeSeconds({1'700'000'000, 123'456'789}), 1'700'000'000.0 + 123'456'789 * 1e-9);
  EXPECT_EQ(modificationTimeSeconds({0, 1}), 1e-9);
}

TEST(FileAttributesTest, ReadsSizeTimeAndKind) {
  testing::TemporaryFolder folder;
  const std::string file = folder.writeFile("a.png", "12345");
  setModificationTime(file, {1'650'000'000, 250'000'001});
  const std::string link = folder / "link.png";
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);

  const auto attributes = readFileAttributes(file);
  ASSERT_TRUE(attributes);
  EXPECT_EQ(attributes->kind, FileKind::regularFile);
  EXPECT_EQ(attributes->size, 5);
  EXPECT_EQ(attributes->modificationTime, modificationTimeSeconds({1'650'000'000, 250'000'001}));

  EXPECT_EQ(readFileAttributes(link)->kind, FileKind::regularFile);
  EXPECT_EQ(readFileAttributes(link, LinkHandling::noFollow)->kind, FileKind::symbolicLink);
  EXPECT_EQ(readFileAttributes(folder.path())->kind, FileKind::directory);
}

TEST(FileAttributesTest, MissingItemsAreNothingOrAnErrorWithTheSystemText) {
  testing::TemporaryFolder folder;
  int error = 0;
  EXPECT_FALSE(readFileAttributes(folder / "absent.png", LinkHandling::follow, &error));
  EXPECT_EQ(error, ENOENT);
  try {
    fileAttributes(folder / "absent.png");
    ADD_FAILURE();
  } catch (const FileError& failure) {
    EXPECT_STREQ(failure.what(), "Unable to read file attributes: No such file or directory");
    EXPECT_EQ(failure.errorNumber(), ENOENT);
  }
  const std::string dangling = folder / "dangling.png";
  ASSERT_EQ(::symlink((folder / "absent.png").c_str(), dangling.c_str()), 0);
  EXPECT_FALSE(fileExists(dangling));
  EXPECT_TRUE(fileExists(folder.path()));
}

TEST(FileAttributesTest, TouchMovesOnlyTheModificationTimeToNow) {
  testing::TemporaryFolder folder;
  const std::string file = folder.writeFile("thumb.jpg", "data");
  setModificationTime(file, {1'000'000'000, 0});
  const double before = systemClock().now();
  ASSERT_TRUE(touchModificationTime(file));
  EXPECT_GE(readFileAttributes(file)->modificationTime, before - 1.0);
  EXPECT_FALSE(touchModificationTime(folder / "absent.jpg"));
}

}  // namespace
}  // namespace lorvex::platform
