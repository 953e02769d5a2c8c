#include "services/folders/inotify_watch_tree.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using lorvex::testing::TemporaryFolder;

class InotifyWatchTreeTest : public ::testing::Test {
 protected:
  InotifyWatchTreeTest() : fd_(::inotify_init1(IN_CLOEXEC)), tree_(fd_) {}
  ~InotifyWatchTreeTest() override { ::close(fd_); }

  // The paths of every watch, looked up through the descriptors the kernel hands out again.
  std::set<std::string> watchedPaths() {
    std::set<std::string> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_.path())) {
      if (!entry.is_directory() || entry.is_symlink()) continue;
      const int wd = ::inotify_add_watch(fd_, entry.path().c_str(), InotifyWatchTree::kWatchMask);
      if (const auto* path = tree_.pathFor(wd)) paths.insert(*path);
    }
    if (const auto* path =
            tree_.pathFor(::inotify_add_watch(fd_, root_.path().c_str(), InotifyWatchTree::kWatchMask))) {
      paths.insert(*path);
    }
    return paths;
  }

  TemporaryFolder root_;
  int fd_;
  InotifyWatchTree tree_;
};

TEST_F(InotifyWatchTreeTest, ArmsEveryFolderButNotLinksFilesOrHiddenFolders) {
  root_.makeFolder("a/b/c");
  root_.makeFolder("d");
  root_.makeFolder(".cache/e");
  root_.makeFolder("a/.thumbnails");
  root_.makeFolder("a/..f");
  root_.writeFile("a/file.png");
  std::filesystem::create_directory_symlink(root_ / "d", root_ / "a/link");
  ASSERT_EQ(tree_.armRecursively(root_.path().string()), InotifyWatchTree::ArmResult::armed);
  EXPECT_EQ(tree_.size(), 5u);  // root, a, a/b, a/b/c, d
  EXPECT_EQ(watchedPaths(), (std::set<std::string>{root_.path().string(), root_ / "a", root_ / "a/b",
                                                   root_ / "a/b/c", root_ / "d"}));
  EXPECT_EQ(tree_.armRecursively(root_ / "absent"), InotifyWatchTree::ArmResult::unavailable);
  EXPECT_EQ(tree_.armRecursively(root_ / "a/file.png"), InotifyWatchTree::ArmResult::unavailable);
  EXPECT_EQ(tree_.size(), 5u);
  // A hidden folder asked for by name (a registered root may be one) is watched, its hidden
  // subfolders are not.
  root_.makeFolder(".cache/.g");
  ASSERT_EQ(tree_.armRecursively(root_ / ".cache"), InotifyWatchTree::ArmResult::armed);
  EXPECT_EQ(tree_.size(), 7u);  // and .cache, .cache/e
}

// A bind mount that repeats its parent makes the same folders reachable under ever longer paths.
// Mounting needs a private mount namespace, so the check runs in a child process.
TEST_F(InotifyWatchTreeTest, AFolderReachedAgainThroughABindMountIsNotWalkedAgain) {
  root_.makeFolder("a/loop");
  root_.makeFolder("a/b/c");
  const std::string top = root_ / "a";
  constexpr int kCannotMount = 77;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(top.c_str(), (top + "/loop").c_str(), nullptr, MS_BIND, nullptr) != 0) {
      ::_exit(kCannotMount);
    }
    const int fd = ::inotify_init1(IN_CLOEXEC);
    InotifyWatchTree tree(fd);
    std::size_t visits = 0;
    const auto result = tree.armRecursively(top, [&] { return ++visits > 1000; });
    // a, a/b, a/b/c (a/loop is a itself)
    ::_exit(result == InotifyWatchTree::ArmResult::armed && tree.size() == 3 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kCannotMount) GTEST_SKIP() << "bind mounts are not permitted here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(InotifyWatchTreeTest, RemapMovesTheSubtreeButNotSiblingsSharingThePrefix) {
  root_.makeFolder("a/b");
  root_.makeFolder("a-x");
  root_.makeFolder("a.y/z");
  ASSERT_EQ(tree_.armRecursively(root_.path().string()), InotifyWatchTree::ArmResult::armed);
  std::filesystem::rename(root_ / "a", root_ / "m");
  tree_.remap(root_ / "a", root_ / "m");
  EXPECT_EQ(watchedPaths(), (std::set<std::string>{root_.path().string(), root_ / "m", root_ / "m/b",
                                                   root_ / "a-x", root_ / "a.y", root_ / "a.y/z"}));
}

TEST_F(InotifyWatchTreeTest, UnwatchDropsOnlyTheSubtree) {
  root_.makeFolder("a/b");
  root_.makeFolder("a0");
  ASSERT_EQ(tree_.armRecursively(root_.path().string()), InotifyWatchTree::ArmResult::armed);
  tree_.unwatch(root_ / "a");
  EXPECT_EQ(tree_.size(), 2u);  // root and a0
  EXPECT_EQ(watchedPaths(), (std::set<std::string>{root_.path().string(), root_ / "a0"}));
}

TEST_F(InotifyWatchTreeTest, StopIsHonouredBetweenFolders) {
  root_.makeFolder("a/b");
  EXPECT_EQ(tree_.armRecursively(root_.path().string(), [] { return true; }),
            InotifyWatchTree::ArmResult::stopped);
  EXPECT_EQ(tree_.size(), 0u);
}

}  // namespace
}  // namespace lorvex
