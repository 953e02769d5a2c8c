#include "model/text/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace lorvex::text {
namespace {

TEST(PathsTest, StandardizesAbsolutePaths) {
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"", ""},
      {"/", "/"},
      {"/a/b", "/a/b"},
      {"/a/./b", "/a/b"},
      {"/a/b/", "/a/b"},
      {"/a/b/./", "/a/b"},
      {"//a///b//", "/a/b"},
      {"/a/../b", "/b"},
      {"/a/b/..", "/a"},
      {"/a/b/../..", "/"},
      {"/..", "/"},
      {"/../../a", "/a"},
      {"/a/...", "/a/..."},  // three dots is a name
      {"/a/.hidden/b", "/a/.hidden/b"},
      {"/a/b..c/d", "/a/b..c/d"},
      {"/Caf\x65\xCC\x81/x", "/Caf\x65\xCC\x81/x"},  // NFD bytes are kept as they are
      {"/a\\b", "/a\\b"},
  };
  for (const auto& c : cases) EXPECT_EQ(standardizedPath(c.input), c.expected) << c.input;
}

TEST(PathsTest, TakesRelativePathsFromTheWorkingDirectory) {
  const std::string cwd = std::filesystem::current_path().native();
  const std::string base = cwd == "/" ? "" : cwd;
  EXPECT_EQ(standardizedPath("x/y"), base + "/x/y");
  EXPECT_EQ(standardizedPath("./x/../y/"), base + "/y");
  EXPECT_EQ(standardizedPath("."), cwd);
}

TEST(PathsTest, AtOrUnderComparesWholeComponents) {
  const struct {
    std::string path;
    std::string folder;
    bool expected;
  } cases[] = {
      {"/a/b", "/a/b", true},
      {"/a/b/c.png", "/a/b", true},
      {"/a/b/c/d.png", "/a/b", true},
      {"/a/bc.png", "/a/b", false},
      {"/a/bc/d.png", "/a/b", false},
      {"/a", "/a/b", false},
      {"/anything", "/", true},
      {"/", "/", true},
      {"/A/b", "/a", false},  // byte comparison, no case folding
      {"/a/b", "", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(isPathAtOrUnder(c.path, c.folder), c.expected) << c.path << " " << c.folder;
}

TEST(PathsTest, LastPathComponent) {
  EXPECT_EQ(lastPathComponent("/a/b/c.png"), "c.png");
  EXPECT_EQ(lastPathComponent("/a/b/"), "b");
  EXPECT_EQ(lastPathComponent("/"), "");
  EXPECT_EQ(lastPathComponent(""), "");
  EXPECT_EQ(lastPathComponent("name"), "name");
}

}  // namespace
}  // namespace lorvex::text
