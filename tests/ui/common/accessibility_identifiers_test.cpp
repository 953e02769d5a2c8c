#include "ui/common/accessibility_identifiers.h"

#include <gtest/gtest.h>

#include <string>

#include "model/text/graphemes.h"

namespace lorvex::ui {
namespace {

bool isLowercaseHex(std::string_view text) {
  return text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::string repeated(std::string_view unit, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text.append(unit);
  return text;
}

TEST(AccessibilityIdentifiersTest, StableHashIsTheHalfDigestInLowercaseHex) {
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb924"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223"},
  };
  for (const auto& c : cases) EXPECT_EQ(stableIdentifierHash(c.text), c.expected) << c.text;

  for (const std::string& text :
       {std::string("masterpiece"), std::string("Masterpiece"), std::string("\xE7\x8C\xAB"),
        std::string(10000, 'x'), std::string("a\0b", 3)}) {
    const std::string hash = stableIdentifierHash(text);
    EXPECT_EQ(hash.size(), 32u);
    EXPECT_TRUE(isLowercaseHex(hash)) << hash;
    EXPECT_EQ(hash, stableIdentifierHash(text));
  }
  EXPECT_NE(stableIdentifierHash("masterpiece"), stableIdentifierHash("Masterpiece"));
  EXPECT_NE(stableIdentifierHash(std::string("a\0b", 3)), stableIdentifierHash("a"));
}

TEST(AccessibilityIdentifiersTest, ResultTileNamesAreCutByCharactersAndKeepTheWholeHash) {
  const std::string decomposedE = "e\xCC\x81";  // one character of two scalars
  const std::string cat = "\xE7\x8C\xAB";
  const struct {
    std::string name;
    std::string expectedName;
  } cases[] = {
      {"a.png", "a.png"},
      {repeated("n", 79) + ".png", repeated("n", 79) + ".png"},  // 83 characters: whole
      {repeated("n", 80) + ".png", repeated("n", 80) + ".pn"},   // 84 characters: loses the last
      {repeated(cat, 90), repeated(cat, 83)},
      {repeated(decomposedE, 90), repeated(decomposedE, 83)},
      {"", "Pictures"},  // a trailing "/" names the folder
  };
  for (const auto& c : cases) {
    const std::string path = "/Users/u/Pictures/" + c.name;
    const std::string identifier = resultTileAccessibilityIdentifier(path);
    EXPECT_EQ(identifier, "result.tile." + c.expectedName + "." + stableIdentifierHash(path)) << c.name;
    EXPECT_LE(text::graphemeCount(identifier), 128u) << c.name;
  }
  EXPECT_EQ(text::graphemeCount(resultTileAccessibilityIdentifier("/" + repeated(cat, 500))), 128u);
}

TEST(AccessibilityIdentifiersTest, TheSameFileNameInTwoFoldersGetsTwoIdentifiers) {
  EXPECT_NE(resultTileAccessibilityIdentifier("/a/image.png"),
            resultTileAccessibilityIdentifier("/b/image.png"));
  EXPECT_EQ(resultTileAccessibilityIdentifier("/a/image.png"),
            resultTileAccessibilityIdentifier("/a/image.png"));
}

TEST(AccessibilityIdentifiersTest, PerItemIdentifiersArePrefixAndHash) {
  EXPECT_EQ(accessibility_id::savedFilterTagIdentifier("abc"),
            "sidebar.filter.savedTag.ba7816bf8f01cfea414140de5dae2223");
  EXPECT_NE(accessibility_id::savedFilterTagIdentifier("Cat"),
            accessibility_id::savedFilterTagIdentifier("cat"));
  EXPECT_EQ(accessibility_id::registeredFolderActionsIdentifier(""),
            "sidebar.library.folderActions.e3b0c44298fc1c149afbf4c8996fb924");
}

}  // namespace
}  // namespace lorvex::ui
