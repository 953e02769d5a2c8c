#include "platform/trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "platform/clock.h"
#include "platform/regular_file.h"
#include "support/temporary_folder.h"

namespace lorvex::platform {
namespace {

std::string readText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

mode_t permissions(const std::string& path) {
  struct stat info {};
  ::lstat(path.c_str(), &info);
  return info.st_mode & 07777;
}

class TrashTest : public ::testing::Test {
 protected:
  TrashEnvironment environment() {
    TrashEnvironment environment;
    environment.homeTrashDirectory = folder_ / "data/Trash";
    environment.uid = ::getuid();
    environment.rename = renameWithoutReplacing;
    environment.clock = &clock_;
    return environment;
  }
  std::string homeTrash() { return folder_ / "data/Trash"; }

  testing::TemporaryFolder folder_;
  ManualClock clock_{1'700'000'000.0};
};

TEST_F(TrashTest, MovesTheFileIntoTheHomeTrashWithItsInfoFile) {
  const std::string file = folder_.writeFile("Pictures/día 1/image #1.png", "pixels");
  FreedesktopTrash trash(environment());

  const std::string trashed = trash.moveToTrash(file);

  EXPECT_EQ(trashed, homeTrash() + "/files/image #1.png");
  EXPECT_FALSE(exists(file));
  EXPECT_EQ(readText(trashed), "pixels");
  const std::string expectedPath =
      escapeTrashInfoPath(folder_.path().string()) + "/Pictures/d%C3%ADa%201/image%20%231.png";
  EXPECT_EQ(readText(homeTrash() + "/info/image #1.png.trashinfo"),
            "[Trash Info]\nPath=" + expectedPath +
                "\nDeletionDate=" + trashInfoDeletionDate(1'700'000'000.0) + "\n");
  // The trash did not exist: it is created private to the user.
  EXPECT_EQ(permissions(homeTrash()), 0700u);
  EXPECT_EQ(permissions(homeTrash() + "/files"), 0700u);
  EXPECT_EQ(permissions(homeTrash() + "/info"), 0700u);
}

TEST_F(TrashTest, AHomeTrashThatIsALinkToAFolderIsUsed) {
  const std::string moved = folder_.makeFolder("elsewhere/Trash");
  std::filesystem::create_directories(folder_ / "data");
  std::filesystem::create_directory_symlink(moved, homeTrash());
  const std::string file = folder_.writeFile("Pictures/a.png", "pixels");
  FreedesktopTrash trash(environment());

  EXPECT_EQ(trash.moveToTrash(file), homeTrash() + "/files/a.png");
  EXPECT_FALSE(exists(file));
  EXPECT_EQ(readText(moved + "/files/a.png"), "pixels");
  EXPECT_TRUE(exists(moved + "/info/a.png.trashinfo"));
}

TEST_F(TrashTest, TakenNamesGetANumberBeforeTheExtension) {
  FreedesktopTrash trash(environment());
  const std::string first = trash.moveToTrash(folder_.writeFile("a/photo.png", "1"));
  const std::string second = trash.moveToTrash(folder_.writeFile("b/photo.png", "2"));
  // A file left in files/ without an info file still holds its name: nothing is replaced.
  folder_.writeFile("data/Trash/files/photo.3.png", "stray");
  const std::string third = trash.moveToTrash(folder_.writeFile("c/photo.png", "3"));
  const std::string noExtension = trash.moveToTrash(folder_.writeFile("d/README", "r"));
  const std::string noExtensionAgain = trash.moveToTrash(folder_.writeFile("e/README", "r2"));

  EXPECT_EQ(first, homeTrash() + "/files/photo.png");
  EXPECT_EQ(second, homeTrash() + "/files/photo.2.png");
  EXPECT_EQ(third, homeTrash() + "/files/photo.4.png");
  EXPECT_EQ(noExtensionAgain, homeTrash() + "/files/README.2");
  EXPECT_EQ(readText(second), "2");
  EXPECT_EQ(readText(third), "3");
  EXPECT_EQ(readText(homeTrash() + "/files/photo.3.png"), "stray");
  EXPECT_NE(readText(homeTrash() + "/info/photo.2.png.trashinfo").find("/b/photo.png\n"), std::string::npos);
  EXPECT_FALSE(exists(homeTrash() + "/info/photo.3.png.trashinfo"));
  EXPECT_TRUE(exists(homeTrash() + "/info/photo.4.png.trashinfo"));
  EXPECT_EQ(noExtension, homeTrash() + "/files/README");
}

TEST_F(TrashTest, ARefusedRenameIsAFailureOfThatItemAndLeavesItInPlace) {
  auto crossDevice = environment();
  crossDevice.rename = [](const std::string&, const std::string&) { return EXDEV; };
  const std::string file = folder_.writeFile("photos/x.png", "data");
  try {
    FreedesktopTrash(crossDevice).moveToTrash(file);
    ADD_FAILURE() << "moved";
  } catch (const FileError& error) {
    EXPECT_EQ(error.errorNumber(), EXDEV);
    EXPECT_NE(std::string(error.what()).find("without copying"), std::string::npos) << error.what();
  }
  EXPECT_EQ(readText(file), "data");
  EXPECT_FALSE(exists(homeTrash() + "/info/x.png.trashinfo"));
  EXPECT_FALSE(exists(homeTrash() + "/files/x.png"));

  // The next item goes through normally.
  const std::string other = folder_.writeFile("photos/y.png", "y");
  EXPECT_EQ(FreedesktopTrash(environment()).moveToTrash(other), homeTrash() + "/files/y.png");
}

// What a descriptor stands for, as the kernel names it.
std::string pathOfDescriptor(int fd) {
  return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd)).string();
}

// A crash right after the rename must not leave an item in files/ without its info file, which
// file managers would never show: the info file and its folder reach the disk first.
TEST_F(TrashTest, TheInfoFileAndItsFolderAreSyncedBeforeTheItemMoves) {
  std::vector<std::string> steps;
  auto recording = environment();
  recording.sync = [&](int fd) {
    steps.push_back("sync " + pathOfDescriptor(fd));
    return ::fsync(fd);
  };
  recording.rename = [&](const std::string& from, const std::string& to) {
    steps.push_back("rename " + to);
    return renameWithoutReplacing(from, to);
  };
  const std::string file = folder_.writeFile("photos/x.png", "data");
  EXPECT_EQ(FreedesktopTrash(recording).moveToTrash(file), homeTrash() + "/files/x.png");
  EXPECT_EQ(steps, (std::vector<std::string>{"sync " + homeTrash() + "/info/x.png.trashinfo",
                                             "sync " + homeTrash() + "/info",
                                             "rename " + homeTrash() + "/files/x.png"}));
}

TEST_F(TrashTest, AFailedSyncLeavesTheItemInPlaceAndNoInfoFile) {
  struct Case {
    const char* name;
    int failingCall;  // 1: the info file, 2: the info folder
  };
  for (const Case& test : {Case{"info file", 1}, Case{"info folder", 2}}) {
    SCOPED_TRACE(test.name);
    int calls = 0;
    bool renamed = false;
    auto failing = environment();
    failing.sync = [&](int fd) { return ++calls == test.failingCall ? EIO : ::fsync(fd); };
    failing.rename = [&](const std::string& from, const std::string& to) {
      renamed = true;
      return renameWithoutReplacing(from, to);
    };
    const std::string file = folder_.writeFile("photos/x.png", "data");
    try {
      FreedesktopTrash(failing).moveToTrash(file);
      ADD_FAILURE() << "moved";
    } catch (const TrashUnavailableError& error) {
      EXPECT_EQ(error.errorNumber(), EIO);
    }
    EXPECT_FALSE(renamed);
    EXPECT_EQ(readText(file), "data");
    EXPECT_FALSE(exists(homeTrash() + "/info/x.png.trashinfo"));
    EXPECT_FALSE(exists(homeTrash() + "/files/x.png"));
  }
}

// Runs a move in a child process that is killed (SIGKILL) at `moment` of the move; returns once
// it is dead.
void moveKilledAt(TrashEnvironment environment, const std::string& file, const std::string& moment) {
  const auto kill = [] { ::kill(::getpid(), SIGKILL); };
  int syncs = 0;
  std::function<int(int)> sync = environment.sync;
  if (!sync) sync = [](int fd) { return ::fsync(fd); };
  environment.sync = [&](int fd) {
    if (moment == "before the info file is synced" && ++syncs == 1) kill();
    return sync(fd);
  };
  environment.rename = [&](const std::string& from, const std::string& to) {
    if (moment == "before the item moves") kill();
    const int error = renameWithoutReplacing(from, to);
    if (moment == "after the item moved") kill();
    return error;
  };
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    try {
      FreedesktopTrash(environment).moveToTrash(file);
    } catch (...) {
    }
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << moment;
}

// A move killed between writing the info file and renaming the item leaves an info file that file
// managers list without a file; the next start or move removes it when this program wrote it, and
// never another program's, nor one whose text has changed since.
TEST_F(TrashTest, AKilledMoveLeavesNoInfoFileOfItsOwnBehind) {
  const struct {
    const char* moment;
    bool nextIsAMove;  // else the next start
    bool rewritten;    // another program has written the info file since
    bool itemInTrash;
  } cases[] = {
      {"before the info file is synced", false, false, false},
      {"before the item moves", true, false, false},
      {"before the item moves", false, true, false},
      {"after the item moved", false, false, true},
  };
  auto recording = environment();
  recording.pendingMovesDirectory = folder_ / "library/TrashMoves";
  const std::string info = homeTrash() + "/info/x.png.trashinfo";
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.moment) + (c.nextIsAMove ? ", then a move" : "") +
                 (c.rewritten ? ", rewritten" : ""));
    std::filesystem::remove_all(homeTrash());
    const std::string file = folder_.writeFile("photos/x.png", "data");
    moveKilledAt(recording, file, c.moment);
    ASSERT_TRUE(exists(info));  // what the kill left
    EXPECT_EQ(exists(homeTrash() + "/files/x.png"), c.itemInTrash);
    if (c.rewritten)
      folder_.writeFile("data/Trash/info/x.png.trashinfo", "[Trash Info]\nPath=/other/x.png\n");
    // Another program's info file without its item.
    folder_.writeFile("data/Trash/info/foreign.png.trashinfo", "[Trash Info]\nPath=/elsewhere/foreign.png\n");

    if (c.nextIsAMove) {
      EXPECT_EQ(FreedesktopTrash(recording).moveToTrash(folder_.writeFile("photos/z.png", "z")),
                homeTrash() + "/files/z.png");
    } else {
      FreedesktopTrash(recording).removeOrphanedInfoFiles();
    }
    EXPECT_EQ(exists(info), c.itemInTrash || c.rewritten);
    EXPECT_EQ(readText(c.itemInTrash ? homeTrash() + "/files/x.png" : file), "data");
    EXPECT_TRUE(exists(homeTrash() + "/info/foreign.png.trashinfo"));
    EXPECT_TRUE(std::filesystem::is_empty(folder_ / "library/TrashMoves"));
  }
}

// A clean-up while another move is under way (another thread, or process) leaves that move alone.
TEST_F(TrashTest, TheCleanUpLeavesAMoveUnderWayAlone) {
  auto recording = environment();
  recording.pendingMovesDirectory = folder_ / "library/TrashMoves";
  std::size_t removedMeanwhile = 99;
  auto moving = recording;
  moving.rename = [&](const std::string& from, const std::string& to) {
    removedMeanwhile = FreedesktopTrash(recording).removeOrphanedInfoFiles();
    return renameWithoutReplacing(from, to);
  };
  const std::string file = folder_.writeFile("photos/x.png", "data");
  EXPECT_EQ(FreedesktopTrash(moving).moveToTrash(file), homeTrash() + "/files/x.png");
  EXPECT_EQ(removedMeanwhile, 0u);
  EXPECT_TRUE(exists(homeTrash() + "/info/x.png.trashinfo"));
  EXPECT_TRUE(std::filesystem::is_empty(folder_ / "library/TrashMoves"));
}

TEST_F(TrashTest, MissingItemsAndBadPathsFail) {
  FreedesktopTrash trash(environment());
  try {
    trash.moveToTrash(folder_ / "absent.png");
    ADD_FAILURE();
  } catch (const FileError& error) {
    EXPECT_EQ(error.errorNumber(), ENOENT);
    EXPECT_STREQ(error.what(), "Unable to move the item to the Trash: No such file or directory");
  }
  EXPECT_THROW(trash.moveToTrash(""), FileError);
  EXPECT_THROW(trash.moveToTrash(folder_ / "."), FileError);
}

TEST_F(TrashTest, TrashesASymbolicLinkItselfAndKeepsLongNamesWithinTheLimit) {
  FreedesktopTrash trash(environment());
  const std::string target = folder_.writeFile("real.png", "real");
  const std::string link = folder_ / "link.png";
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  EXPECT_EQ(trash.moveToTrash(link), homeTrash() + "/files/link.png");
  EXPECT_EQ(readText(target), "real");

  const std::string longName = std::string(200, 'a') + std::string(20, '\xc3') + ".png";  // not UTF-8: bytes
  const std::string utf8Long = std::string(240, 'b') + "\xc3\xa9\xc3\xa9.png";
  for (const auto& name : {longName, utf8Long}) {
    const std::string trashed = trash.moveToTrash(folder_.writeFile(name, "n"));
    const std::string trashedName = std::filesystem::path(trashed).filename();
    EXPECT_LE(trashedName.size() + std::string(".trashinfo").size(), 255u);
    EXPECT_TRUE(exists(homeTrash() + "/info/" + trashedName + ".trashinfo"));
  }
  // A shortened UTF-8 name is not cut inside a character.
  const std::string again = trash.moveToTrash(folder_.writeFile("x/" + utf8Long, "n"));
  const std::string name = std::filesystem::path(again).filename();
  EXPECT_EQ(name.substr(name.size() - 6), ".2.png");
  EXPECT_NE(static_cast<unsigned char>(name[name.size() - 7]), 0xc3);
}

TEST_F(TrashTest, TopDirectoryTrashPrefersAStickySharedFolder) {
  FreedesktopTrash trash(environment());
  const std::string uid = std::to_string(::getuid());

  const std::string plain = folder_.makeFolder("volume1");
  EXPECT_EQ(trash.topDirectoryTrash(plain), plain + "/.Trash-" + uid);
  EXPECT_EQ(permissions(plain + "/.Trash-" + uid), 0700u);
  EXPECT_TRUE(exists(plain + "/.Trash-" + uid + "/files"));
  EXPECT_TRUE(exists(plain + "/.Trash-" + uid + "/info"));

  const std::string sticky = folder_.makeFolder("volume2/.Trash");
  ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
  EXPECT_EQ(trash.topDirectoryTrash(folder_ / "volume2"), sticky + "/" + uid);

  // Without the sticky bit anyone could tamper with the shared folder: it is not used.
  const std::string notSticky = folder_.makeFolder("volume3/.Trash");
  ASSERT_EQ(::chmod(notSticky.c_str(), 0777), 0);
  EXPECT_EQ(trash.topDirectoryTrash(folder_ / "volume3"), folder_ / "volume3/.Trash-" + uid);

  // Nor is a symbolic link to a sticky folder.
  folder_.makeFolder("volume4");
  ASSERT_EQ(::symlink(sticky.c_str(), (folder_ / "volume4/.Trash").c_str()), 0);
  EXPECT_EQ(trash.topDirectoryTrash(folder_ / "volume4"), folder_ / "volume4/.Trash-" + uid);

  // A file where the private folder should be makes the file system unusable.
  folder_.makeFolder("volume5");
  folder_.writeFile("volume5/.Trash-" + uid, "not a folder");
  EXPECT_THROW(trash.topDirectoryTrash(folder_ / "volume5"), FileError);
}

TEST(TrashInfoTest, EscapesEveryByteOutsideThePlainSet) {
  EXPECT_EQ(escapeTrashInfoPath("/home/u/a-b_c.d!~*'()/x.png"), "/home/u/a-b_c.d!~*'()/x.png");
  EXPECT_EQ(escapeTrashInfoPath("/a b/100%/é#?&=\n"), "/a%20b/100%25/%C3%A9%23%3F%26%3D%0A");
  EXPECT_EQ(escapeTrashInfoPath(std::string("/\xff\x01", 3)), "/%FF%01");
}

TEST(TrashInfoTest, DeletionDateIsLocalTime) {
  const char* saved = std::getenv("TZ");
  const std::string previous = saved != nullptr ? saved : "";
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  EXPECT_EQ(trashInfoDeletionDate(0), "1970-01-01T00:00:00");
  EXPECT_EQ(trashInfoDeletionDate(1'700'000'000.9), "2023-11-14T22:13:20");
  ::setenv("TZ", "JST-9", 1);
  ::tzset();
  EXPECT_EQ(trashInfoDeletionDate(1'700'000'000.0), "2023-11-15T07:13:20");
  if (saved != nullptr) {
    ::setenv("TZ", previous.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

TEST(TrashEnvironmentTest, HomeTrashFollowsXdgDataHome) {
  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string previous = saved != nullptr ? saved : "";
  ::setenv("XDG_DATA_HOME", "/somewhere/data", 1);
  EXPECT_EQ(defaultTrashEnvironment().homeTrashDirectory, "/somewhere/data/Trash");
  // A relative value is not a valid XDG setting and is ignored.
  ::setenv("XDG_DATA_HOME", "relative/data", 1);
  EXPECT_NE(defaultTrashEnvironment().homeTrashDirectory, "relative/data/Trash");
  EXPECT_TRUE(defaultTrashEnvironment().homeTrashDirectory.ends_with("/.local/share/Trash"));
  if (saved != nullptr) {
    ::setenv("XDG_DATA_HOME", previous.c_str(), 1);
  } else {
    ::unsetenv("XDG_DATA_HOME");
  }
}

}  // namespace
}  // namespace lorvex::platform

namespace lorvex::platform {
namespace {

// A file on another mount than the home trash goes to the trash at the top of its own mount, with
// a Path relative to that top. /dev/shm is a separate tmpfs on most systems; the test skips where
// it is not, and removes what it created.
TEST(TrashTopDirectoryTest, AFileOnAnotherMountGoesToThatMountsTrash) {
  struct stat shm {};
  struct stat tmp {};
  testing::TemporaryFolder folder;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(folder.path().c_str(), &tmp) != 0 || shm.st_dev == tmp.st_dev ||
      ::access("/dev/shm", W_OK) != 0) {
    GTEST_SKIP() << "no separate writable /dev/shm mount";
  }
  const std::string uid = std::to_string(::getuid());
  const std::string topTrash = "/dev/shm/.Trash-" + uid;
  const bool trashExisted = exists(topTrash);
  const testing::TemporaryFolder mount("/dev/shm");
  const std::string source = mount.writeFile("photo one.png", "pixels");

  ManualClock clock(1'700'000'000.0);
  TrashEnvironment environment;
  environment.homeTrashDirectory = folder / "data/Trash";
  environment.uid = ::getuid();
  environment.clock = &clock;
  struct stat shared {};
  const bool wasSticky =
      ::lstat("/dev/shm/.Trash", &shared) == 0 && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX);
  const std::string trashed = FreedesktopTrash(environment).moveToTrash(source);
  const std::string name = std::filesystem::path(trashed).filename();
  const std::string info =
      std::filesystem::path(trashed).parent_path().parent_path().string() + "/info/" + name + ".trashinfo";
  const std::string expectedTrash = wasSticky ? "/dev/shm/.Trash/" + uid : topTrash;
  EXPECT_EQ(std::filesystem::path(trashed).parent_path().parent_path().string(), expectedTrash);
  EXPECT_FALSE(exists(source));
  EXPECT_FALSE(exists(folder / "data/Trash"));  // the home trash was not used
  const std::string relative = mount.path().filename().string();
  EXPECT_EQ(readText(info), "[Trash Info]\nPath=" + relative + "/photo%20one.png\nDeletionDate=" +
                                trashInfoDeletionDate(1'700'000'000.0) + "\n");

  ::unlink(trashed.c_str());
  ::unlink(info.c_str());
  if (!trashExisted && !wasSticky) {
    ::rmdir((topTrash + "/files").c_str());
    ::rmdir((topTrash + "/info").c_str());
    ::rmdir(topTrash.c_str());
  }
}

}  // namespace
}  // namespace lorvex::platform
