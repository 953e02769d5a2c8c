// What a window shows for a failure: every kind has a text of its own in both tables, and none of
// an English window's is Japanese.
#include "ui/common/error_notice_text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "model/text/unicode.h"
#include "ui/common/localization_table.h"

namespace lorvex::ui {
namespace {

AppLocalization window(std::string_view language) {
  return AppLocalization::overTable(bundledLocalizationTable(language), ".");
}

// Kana and the CJK ideographs: what an English window must never show.
bool hasJapanese(std::string_view text) {
  for (std::size_t offset = 0; offset < text.size();) {
    const char32_t c = text::decodeUTF8(text, offset);
    if ((c >= 0x3040 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF))
      return true;
  }
  return false;
}

TEST(ErrorNoticeTextTest, EveryKindHasItsOwnTextInBothLanguagesNamingItsValues) {
  const AppLocalization english = window(kEnglishLanguage);
  const AppLocalization japanese = window(kJapaneseLanguage);
  const ViewResourceDisplay recording{true, "/home/ann"};
  std::set<std::string_view> keys;
  std::set<std::string> englishTexts;
  for (const ErrorNoticeKind kind : allCases<ErrorNoticeKind>()) {
    SCOPED_TRACE(std::string(rawValue(kind)));
    EXPECT_TRUE(keys.insert(errorNoticeKey(kind)).second) << "key used twice";
    ErrorNotice notice{kind, {}};
    for (std::size_t i = 0; i < errorNoticeArgumentCount(kind); ++i) {
      notice.arguments.push_back("/home/ann/Pictures/value" + std::to_string(i));
    }
    const std::string en = errorNoticeText(notice, english, recording);
    const std::string ja = errorNoticeText(notice, japanese, recording);
    for (const std::string& text : {en, ja}) {
      EXPECT_NE(text, errorNoticeKey(kind)) << "no text in a table";
      EXPECT_EQ(text.find('%'), std::string::npos) << text;
      // Each value shown once, through the display rule.
      for (std::size_t i = 0; i < notice.arguments.size(); ++i) {
        EXPECT_NE(text.find("~/Pictures/value" + std::to_string(i)), std::string::npos) << text;
      }
      EXPECT_EQ(text.find("/home/ann"), std::string::npos) << text;
    }
    EXPECT_FALSE(hasJapanese(en)) << en;
    EXPECT_TRUE(hasJapanese(ja)) << ja;
    englishTexts.insert(en);
  }
  // The text tells the kinds apart (the two folder access cases of a row, a full disk, …).
  EXPECT_EQ(englishTexts.size(), allCases<ErrorNoticeKind>().size());
}

}  // namespace
}  // namespace lorvex::ui
