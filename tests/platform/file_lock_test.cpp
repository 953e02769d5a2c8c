#include "platform/file_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/regular_file.h"
#include "support/temporary_folder.h"

namespace lorvex::platform {
namespace {

TEST(ExclusiveFileLock, OneHolderAtATimeUntilItLetsGo) {
  testing::TemporaryFolder folder;
  const std::string path = folder / "Lorvex.lock";

  std::optional<ExclusiveFileLock> first = ExclusiveFileLock::tryAcquire(path);
  ASSERT_TRUE(first);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // Another open file on the same lock file is refused, in this process as in any other.
  EXPECT_FALSE(ExclusiveFileLock::tryAcquire(path));

  // Moving the lock keeps it held; destroying the last owner releases it.
  std::optional<ExclusiveFileLock> moved(std::move(*first));
  first.reset();
  EXPECT_FALSE(ExclusiveFileLock::tryAcquire(path));
  moved.reset();
  EXPECT_TRUE(ExclusiveFileLock::tryAcquire(path));
}

TEST(ExclusiveFileLock, ALockFileThatCannotBeOpenedIsAFileError) {
  testing::TemporaryFolder folder;
  const std::string link = folder / "link.lock";
  ASSERT_EQ(::symlink((folder / "elsewhere").c_str(), link.c_str()), 0);
  struct Case {
    std::string path;
    int errorNumber;
  };
  for (const Case& c : {Case{folder / "absent/Lorvex.lock", ENOENT}, Case{link, ELOOP}}) {
    SCOPED_TRACE(c.path);
    try {
      ExclusiveFileLock::tryAcquire(c.path);
      ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
      EXPECT_EQ(error.errorNumber(), c.errorNumber);
    }
  }
  // A link is never followed, so nothing is created where it points.
  EXPECT_FALSE(std::filesystem::exists(folder / "elsewhere"));
}

}  // namespace
}  // namespace lorvex::platform
