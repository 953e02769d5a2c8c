#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/settings.h"
#include "services/user_defaults_character_suggestion_exclusion_store.h"
#include "services/user_defaults_filter_tag_store.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using platform::Settings;
using platform::SettingsValue;
using Strings = std::vector<std::string>;

class UserDefaultsStoresTest : public ::testing::Test {
 protected:
  Settings suite() const { return Settings("app.lorvex.Lorvex", folder_.path()); }

  testing::TemporaryFolder folder_;
};

TEST(NormalizedFilterTags, TrimsCollapsesAndDropsEmptyAndCaseInsensitiveRepeats) {
  struct Case {
    Strings input;
    Strings expected;
  };
  const std::vector<Case> cases{
      {{"  blue   sky ", "Blue Sky", ""}, {"blue sky"}},
      {{"a\t\nb", "\u3000", "A B", "c"}, {"a b", "c"}},
      {{"Ärger", "ärger", "ÄRGER"}, {"Ärger"}},
      {{"z", "y", "x"}, {"z", "y", "x"}},
      {{"  Cat", "cat", "CAT ", "", "   ", "black   cat", "Black Cat"}, {"Cat", "black cat"}},
      // The same ignoring case by full case folding and canonical equivalence; the first bytes kept.
      {{"Stra\u00DFe", "STRASSE", "strasse"}, {"Stra\u00DFe"}},
      {{"STRASSE", "Stra\u00DFe"}, {"STRASSE"}},
      {{"caf\u00E9", "cafe\u0301", "CAF\u00C9"}, {"caf\u00E9"}},
      {{"cafe\u0301", "caf\u00E9"}, {"cafe\u0301"}},
      {{"\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C3", "\u03BF\u03B4\u03BF\u03C2"},
       {"\u039F\u0394\u039F\u03A3"}},
      // Neither width nor the Turkish dotless i is folded.
      {{"\uFF23\uFF21\uFF34", "cat"}, {"\uFF23\uFF21\uFF34", "cat"}},
      {{"\u0131", "I"}, {"\u0131", "I"}},
  };
  for (const Case& c : cases) EXPECT_EQ(normalizedFilterTags(c.input), c.expected);
}

TEST_F(UserDefaultsStoresTest, SavedFilterTagsAreStoredNormalizedAndReadBack) {
  UserDefaultsFilterTagStore store(suite());
  store.saveFilterTags({"  long   hair ", "LONG HAIR", ""});
  EXPECT_EQ(suite().stringArray("filterTags"), Strings{"long hair"});
  // A new settings object over the same file reads what was written.
  EXPECT_EQ(UserDefaultsFilterTagStore(Settings("app.lorvex.Lorvex", folder_.path())).loadFilterTags(),
            Strings{"long hair"});
}

TEST_F(UserDefaultsStoresTest, TextThatIsNotUTF8IsRepairedRatherThanRefused) {
  UserDefaultsFilterTagStore tags(suite());
  UserDefaultsCharacterSuggestionExclusionStore exclusions(suite());
  EXPECT_NO_THROW(tags.saveFilterTags({"ok", "bad\xFF"}));
  EXPECT_NO_THROW(exclusions.saveExclusions({"bad\xFF"}));
  EXPECT_EQ(tags.loadFilterTags(), (Strings{"ok", "bad\uFFFD"}));
  EXPECT_EQ(exclusions.loadExclusions(), Strings{"bad\uFFFD"});
}

TEST_F(UserDefaultsStoresTest, StoredValuesOfAnotherShapeLoadAsEmptyAndStay) {
  struct Case {
    const char* name;
    SettingsValue value;
  };
  const std::vector<Case> cases{
      {"number among strings",
       SettingsValue{SettingsValue::Array{SettingsValue{std::string("a")}, SettingsValue{std::int64_t{3}}}}},
      {"not an array", SettingsValue{std::string("a")}},
      {"nested array", SettingsValue{SettingsValue::Array{SettingsValue{SettingsValue::Array{}}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Settings settings = suite();
    settings.set("filterTags", c.value);
    settings.set("characterSuggestionExclusions", c.value);
    EXPECT_EQ(UserDefaultsFilterTagStore(settings).loadFilterTags(), Strings{});
    EXPECT_EQ(UserDefaultsCharacterSuggestionExclusionStore(settings).loadExclusions(), Strings{});
    EXPECT_EQ(settings.object("filterTags"), c.value);
  }
  Settings empty("app.lorvex.Empty", folder_.path());
  EXPECT_EQ(UserDefaultsFilterTagStore(empty).loadFilterTags(), Strings{});
  EXPECT_EQ(UserDefaultsCharacterSuggestionExclusionStore(empty).loadExclusions(), Strings{});
}

TEST_F(UserDefaultsStoresTest, ExclusionsLoadNormalizedAndSortedIgnoringCase) {
  Settings settings = suite();
  settings.setStringArray("characterSuggestionExclusions", {"zelda", "Link", "link ", "  ", "bowser"});
  EXPECT_EQ(UserDefaultsCharacterSuggestionExclusionStore(settings).loadExclusions(),
            (Strings{"bowser", "Link", "zelda"}));
}

TEST_F(UserDefaultsStoresTest, SavedExclusionsReadBackInTheShapeLoadExpects) {
  UserDefaultsCharacterSuggestionExclusionStore store(suite());
  store.saveExclusions({"b", "A", "a"});
  EXPECT_EQ(suite().stringArray("characterSuggestionExclusions"), (Strings{"A", "b"}));
  EXPECT_EQ(store.loadExclusions(), (Strings{"A", "b"}));
}

TEST(NormalizedCharacterSuggestionExclusions, SortsIgnoringCase) {
  EXPECT_EQ(normalizedCharacterSuggestionExclusions({"b", "a", "C", "éclair", "Eclair"}),
            (Strings{"a", "b", "C", "Eclair", "éclair"}));
}

}  // namespace
}  // namespace lorvex
