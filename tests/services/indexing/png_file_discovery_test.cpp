#include "services/indexing/png_file_discovery.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/regular_file.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using testing::TemporaryFolder;

struct Walk {
  std::size_t count = 0;
  std::vector<std::string> files;
  std::vector<DiscoveryFailure> failures;
};

Walk walk(const std::string& root) {
  Walk result;
  result.count = PNGFileDiscovery::discover(
      root, [&](const std::string& path) { result.files.push_back(path); },
      [&](DiscoveryFailure failure) { result.failures.push_back(std::move(failure)); });
  return result;
}

TEST(PNGFileDiscoveryTest, SelectionRuleTestsOnlyTheName) {
  struct Case {
    const char* name;
    bool selected;
  };
  const Case cases[] = {
      {"a.png", true}, {"a.Png", true},       {"photo.PNG", true},  {"x.pNg", true}, {"a b.png", true},
      {".png", false}, {".cover.png", false}, {"a.png.bak", false}, {"png", false},  {"apng", false},
      {"a.pn", false}, {"a.jpg", false},      {"a", false},         {"", false},     {"a.p\xc3\xb1g", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isPNGCandidateName(c.name), c.selected) << c.name;
}

TEST(PNGFileDiscoveryTest, HiddenComponentsBelowTheRoot) {
  EXPECT_FALSE(hasHiddenComponentBelow("/photos/a/x.png", "/photos"));
  EXPECT_TRUE(hasHiddenComponentBelow("/photos/.cache/x.png", "/photos"));
  EXPECT_TRUE(hasHiddenComponentBelow("/photos/a/.x.png", "/photos"));
  EXPECT_FALSE(
      hasHiddenComponentBelow("/home/.local/photos/x.png", "/home/.local/photos"));  // above the root
  EXPECT_FALSE(hasHiddenComponentBelow("/photos", "/photos"));
  EXPECT_FALSE(hasHiddenComponentBelow("/photos/ab/.x.png", "/photos/a"));  // not under the root
  EXPECT_TRUE(hasHiddenComponentBelow("/.x/y.png", "/"));
}

TEST(PNGFileDiscoveryTest, WalksFoldersSkippingHiddenEntriesAndFolderLinks) {
  TemporaryFolder folder;
  const std::string root = folder.makeFolder("photos");
  folder.writeFile("photos/b.png");
  folder.writeFile("photos/a.PNG");
  folder.writeFile("photos/notes.txt");
  folder.writeFile("photos/.cover.png");
  folder.writeFile("photos/.hidden/inside.png");
  folder.writeFile("photos/sub/deeper/c.png");
  folder.writeFile("photos/sub/d.png");
  folder.makeFolder("photos/folder.png");  // a folder is not a file, whatever its name
  folder.writeFile("elsewhere/target.png");
  folder.writeFile("elsewhere/nested/e.png");
  ASSERT_EQ(::symlink((folder / "elsewhere/target.png").c_str(), (folder / "photos/link.png").c_str()), 0);
  ASSERT_EQ(::symlink((folder / "elsewhere").c_str(), (folder / "photos/linked-folder").c_str()), 0);
  ASSERT_EQ(::symlink((folder / "elsewhere/target.png").c_str(),
                      (folder / "photos/link-without-extension").c_str()),
            0);
  ASSERT_EQ(::mkfifo((folder / "photos/fifo.png").c_str(), 0600), 0);  // reported; fails when opened

  // The link to a file outside the walked folder is skipped; one to a file inside it is reported
  // under its target, one into a hidden folder is not.
  ASSERT_EQ(::symlink((root + "/sub/d.png").c_str(), (root + "/inner-link.png").c_str()), 0);
  ASSERT_EQ(::symlink((root + "/.hidden/inside.png").c_str(), (root + "/hidden-link.png").c_str()), 0);

  const Walk result = walk(root);

  const std::vector<std::string> expected = {
      root + "/a.PNG",     root + "/b.png",     root + "/fifo.png",
      root + "/sub/d.png", root + "/sub/d.png", root + "/sub/deeper/c.png",
  };
  EXPECT_EQ(result.files, expected);
  EXPECT_EQ(result.count, expected.size());
  EXPECT_TRUE(result.failures.empty());
}

TEST(PNGFileDiscoveryTest, AFileRootStandsForItself) {
  TemporaryFolder folder;
  const std::string photo = folder.writeFile("photo.PNG");
  const std::string text = folder.writeFile("notes.txt");
  const std::string link = folder / "link.png";
  ASSERT_EQ(::symlink(photo.c_str(), link.c_str()), 0);

  EXPECT_EQ(walk(photo).files, std::vector<std::string>{photo});
  EXPECT_EQ(walk(text).count, 0u);
  EXPECT_EQ(walk(link).files, std::vector<std::string>{photo});
  EXPECT_THROW(walk(folder / "absent"), platform::FileError);
}

TEST(PNGFileDiscoveryTest, ProblemsAreReportedAndTheWalkGoesOn) {
  TemporaryFolder folder;
  const std::string root = folder.makeFolder("photos");
  folder.writeFile("photos/a.png");
  folder.writeFile("photos/z/last.png");
  // A name that is not UTF-8 cannot be stored as text.
  folder.writeFile(std::string("photos/bad\xff") + ".png");
  // A link loop and a dangling link (the target is gone, as after a rename: skipped silently).
  ASSERT_EQ(::symlink((root + "/loop2.png").c_str(), (root + "/loop1.png").c_str()), 0);
  ASSERT_EQ(::symlink((root + "/loop1.png").c_str(), (root + "/loop2.png").c_str()), 0);
  ASSERT_EQ(::symlink((root + "/gone.png").c_str(), (root + "/dangling.png").c_str()), 0);
  // A folder that cannot be opened: a link named like a folder entry cannot fake one, so take
  // away the permission (effective only without root privileges).
  const std::string locked = folder.makeFolder("photos/locked");
  folder.writeFile("photos/locked/hidden-from-us.png");
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  const bool privileged = ::geteuid() == 0;

  const Walk result = walk(root);

  std::vector<std::string> expected = {root + "/a.png"};
  if (privileged) expected.push_back(root + "/locked/hidden-from-us.png");
  expected.push_back(root + "/z/last.png");
  EXPECT_EQ(result.files, expected);

  std::vector<DiscoveryFailure> expectedFailures = {
      {root + "/bad\xef\xbf\xbd.png", std::string(kInvalidFileNameMessage)},
      {root + "/loop1.png", "Unable to resolve symbolic link: Too many levels of symbolic links (ELOOP)"},
      {root + "/loop2.png", "Unable to resolve symbolic link: Too many levels of symbolic links (ELOOP)"},
  };
  if (!privileged) expectedFailures.push_back({locked, "Unable to read folder: Permission denied (EACCES)"});
  EXPECT_EQ(result.failures, expectedFailures);
  ::chmod(locked.c_str(), 0700);
}

TEST(PNGFileDiscoveryTest, AHandlerErrorStopsTheWalk) {
  TemporaryFolder folder;
  const std::string root = folder.makeFolder("photos");
  folder.writeFile("photos/a.png");
  folder.writeFile("photos/b.png");
  int calls = 0;
  EXPECT_THROW(PNGFileDiscovery::discover(
                   root,
                   [&](const std::string&) {
                     ++calls;
                     throw std::runtime_error("database is locked");
                   },
                   [](DiscoveryFailure) {}),
               std::runtime_error);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace lorvex
