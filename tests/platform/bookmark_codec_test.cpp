#include "platform/bookmark_codec.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/base64.h"
#include "support/temporary_folder.h"

namespace lorvex::platform {
namespace {

using lorvex::testing::TemporaryFolder;

TEST(Base64Test, EncodesAndStrictlyDecodes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
      {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"\xFF\xFE\xFD", "//79"}};
  for (const auto& [plain, encoded] : cases) {
    const std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_EQ(base64Encode(bytes), encoded);
    EXPECT_EQ(base64Decode(encoded), bytes) << encoded;
  }
  for (const char* bad :
       {"Zg", "Zg=", "Z===", "Zh==", "Zm9=", "Zg==Zg==", "Zm 9v", "Zm9v\n", "Zm-v", "=Zm9"}) {
    EXPECT_FALSE(base64Decode(bad)) << bad;
  }
}

TEST(BookmarkCodecTest, RecordRoundTripsAndRejectsDamage) {
  const BookmarkRecord record{"/home/user/Pictures/ノベル", 0x0102030405060708, 0xFFFFFFFFFFFFFFFF};
  const auto bytes = encodeBookmarkRecord(record);
  EXPECT_EQ(decodeBookmarkRecord(bytes), record);

  auto truncated = bytes;
  truncated.pop_back();
  auto extended = bytes;
  extended.push_back('x');
  auto badMagic = bytes;
  badMagic[0] = 'X';
  auto futureVersion = bytes;
  futureVersion[4] = 2;
  const auto relative = encodeBookmarkRecord({"relative/path", 1, 2});
  const auto empty = encodeBookmarkRecord({"", 1, 2});
  const auto withNul = encodeBookmarkRecord({std::string("/a\0b", 4), 1, 2});
  for (const auto& damaged : {truncated, extended, badMagic, futureVersion, relative, empty, withNul,
                              std::vector<std::uint8_t>{}}) {
    EXPECT_THROW(decodeBookmarkRecord(damaged), BookmarkDecodingError);
    EXPECT_THROW(resolveBookmarkData(damaged), BookmarkDecodingError);
  }
}

TEST(BookmarkCodecTest, CreatingNeedsAnExistingAbsolutePath) {
  TemporaryFolder folder;
  try {
    createBookmarkData(folder / "absent");
    FAIL() << "expected an error";
  } catch (const BookmarkCreationError& error) {
    EXPECT_EQ(error.code().value(), ENOENT);
    EXPECT_EQ(error.path(), folder / "absent");
  }
  EXPECT_THROW(createBookmarkData("relative"), BookmarkCreationError);
}

TEST(BookmarkCodecTest, ResolutionFollowsTheFolder) {
  TemporaryFolder folder;
  struct Case {
    const char* name;
    // Changes the tree after the bookmark of "<root>/album" was made; returns the expected path
    // relative to the root.
    std::function<std::string(const TemporaryFolder&)> change;
    bool stale;
  };
  const std::vector<Case> cases = {
      {"unchanged", [](const TemporaryFolder&) { return std::string("album"); }, false},
      {"renamed within its parent",
       [](const TemporaryFolder& f) {
         std::filesystem::rename(f / "album", f / "album renamed");
         return std::string("album renamed");
       },
       true},
      {"replaced by another folder of the same name",
       [](const TemporaryFolder& f) {
         std::filesystem::rename(f / "album", f / "elsewhere");
         f.makeFolder("album");
         return std::string("album");
       },
       true},
      {"deleted",
       [](const TemporaryFolder& f) {
         std::filesystem::remove_all(f / "album");
         return std::string("album");
       },
       false},
      {"moved to another parent",
       [](const TemporaryFolder& f) {
         f.makeFolder("other");
         std::filesystem::rename(f / "album", f / "other/album");
         return std::string("album");  // not followed: only the parent's entries are searched
       },
       false},
  };
  for (const auto& c : cases) {
    TemporaryFolder root;
    root.makeFolder("album/sub");
    root.writeFile("album/a.png");
    const auto bytes = createBookmarkData(root / "album");
    const std::string expected = root / c.change(root);
    const auto resolution = resolveBookmarkData(bytes);
    EXPECT_EQ(resolution.path, expected) << c.name;
    EXPECT_EQ(resolution.isStale, c.stale) << c.name;
  }
}

TEST(BookmarkCodecTest, NamesAreComparedByteForByte) {
  TemporaryFolder root;
  const std::string nfc = "caf\xC3\xA9";   // é precomposed
  const std::string nfd = "cafe\xCC\x81";  // e + combining acute
  root.makeFolder(nfc);
  const auto bytes = createBookmarkData(root / nfc);
  std::filesystem::rename(root / nfc, root / nfd);
  const auto resolution = resolveBookmarkData(bytes);
  EXPECT_EQ(resolution.path, root / nfd);  // a different name on Linux, found as a rename
  EXPECT_TRUE(resolution.isStale);
}

}  // namespace
}  // namespace lorvex::platform
