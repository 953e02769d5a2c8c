#include "ui/common/app_localization.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace lorvex::ui {
namespace {

AppLocalization tableLocalization(std::string separator = ".") {
  return AppLocalization::overTable(
      {
          {"greeting", "Hello"},
          {"percent", "100% sure, %ld"},
          {"common.imageCount.one", "%ld image"},
          {"common.imageCount.other", "%ld images"},
          {"seconds", "%.1f s"},
          {"slideshow.title", "Slideshow"},
      },
      std::move(separator));
}

TEST(AppLocalizationTest, LooksUpAndFormats) {
  const AppLocalization localizer = tableLocalization();
  const struct {
    std::string key;
    FormatArguments arguments;
    std::string expected;
  } cases[] = {
      {"greeting", {}, "Hello"},
      {"greeting", {std::int64_t{1}}, "Hello"},
      // Not in the table: the key itself, with or without arguments.
      {"library.addFolder", {}, "library.addFolder"},
      {"library.addFolder", {std::string("x"), std::int64_t{2}}, "library.addFolder"},
      {"", {}, ""},
      // Without arguments nothing is formatted, so a "%" stays as written.
      {"percent", {}, "100% sure, %ld"},
      {"percent", {std::int64_t{4}}, "100% sure, 4"},
      {"seconds", {2.5}, "2.5 s"},
  };
  for (const auto& c : cases) EXPECT_EQ(localizer.lookup(c.key, c.arguments), c.expected) << c.key;
}

TEST(AppLocalizationTest, DecimalsUseTheGivenSeparator) {
  EXPECT_EQ(tableLocalization(",").lookup("seconds", {2.5}), "2,5 s");
  EXPECT_EQ(tableLocalization(",").lookup("percent", {std::int64_t{12345}}), "100% sure, 12345");
}

TEST(AppLocalizationTest, PluralCountsChooseTheirForm) {
  const AppLocalization localizer = tableLocalization();
  const struct {
    std::int64_t count;
    std::string expected;
  } cases[] = {{1, "1 image"}, {0, "0 images"}, {2, "2 images"}, {-1, "-1 images"}};
  for (const auto& c : cases) {
    const auto key = pluralKey(c.count, AppLocalizationKey::commonImageCountOne,
                               AppLocalizationKey::commonImageCountOther);
    EXPECT_EQ(localizer.lookup(key, {c.count}), c.expected) << c.count;
  }
}

TEST(AppLocalizationTest, CasesAndKeyStringsReachTheSameText) {
  const AppLocalization localizer = tableLocalization();
  EXPECT_EQ(localizer.lookup(AppLocalizationKey::slideshowTitle), "Slideshow");
  EXPECT_EQ(localizer.lookup(AppLocalizationKey::slideshowStart), "slideshow.start");
  const AppLocalization copy = localizer;
  EXPECT_EQ(copy.lookup("slideshow.title"), "Slideshow");
}

TEST(AppLocalizationTest, AnyLookupFunctionCanStandIn) {
  const AppLocalization echo([](std::string_view key, const FormatArguments& arguments) {
    return std::string(key) + "#" + std::to_string(arguments.size());
  });
  EXPECT_EQ(echo.lookup("a.b", {std::int64_t{1}, 2.0}), "a.b#2");
  EXPECT_EQ(AppLocalization(nullptr).lookup("a.b", {std::int64_t{1}}), "a.b");
}

// live() reads the system locale once per process, so each case runs in a process of its own with
// the locale environment it names.
struct LiveCase {
  const char* language;  // LANGUAGE, or nullptr to leave it unset
  const char* locale;    // LC_ALL
  const char* title;     // the text of "slideshow.title"
  const char* seconds;   // the text of "slideshow.interval.seconds" with 2.5
};

[[noreturn]] void checkLiveAndExit(const LiveCase& c) {
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_NUMERIC", "LANG"}) unsetenv(name);
  if (c.language) setenv("LANGUAGE", c.language, 1);
  setenv("LC_ALL", c.locale, 1);
  // Several threads race to the first use; all must get the one instance.
  std::vector<const AppLocalization*> seen(8);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = &AppLocalization::live(); });
  for (auto& thread : threads) thread.join();
  for (const auto* instance : seen) {
    if (instance != seen.front()) std::_Exit(3);
  }
  const AppLocalization& live = AppLocalization::live();
  if (live.lookup("slideshow.title") != c.title) std::_Exit(4);
  if (live.lookup(AppLocalizationKey::slideshowIntervalSeconds, {2.5}) != c.seconds) std::_Exit(5);
  if (live.lookup("no.such.key", {std::int64_t{1}}) != "no.such.key") std::_Exit(6);
  std::_Exit(0);
}

TEST(AppLocalizationLiveTest, FollowsTheFirstInterfaceLanguageAndTheLocaleDecimalSeparator) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const LiveCase cases[] = {
      {nullptr, "en_US.UTF-8", "Slideshow", "2.5 s"},
      {nullptr, "de_DE.UTF-8", "Slideshow", "2,5 s"},
      {nullptr, "ja_JP.UTF-8",
       "\xE3\x82\xB9\xE3\x83\xA9\xE3\x82\xA4\xE3\x83\x89\xE3\x82\xB7\xE3\x83\xA7\xE3\x83\xBC",
       "2.5\xE7\xA7\x92"},
      {"ja:en", "de_DE.UTF-8",
       "\xE3\x82\xB9\xE3\x83\xA9\xE3\x82\xA4\xE3\x83\x89\xE3\x82\xB7\xE3\x83\xA7\xE3\x83\xBC",
       "2,5\xE7\xA7\x92"},
      {"en:ja", "ja_JP.UTF-8", "Slideshow", "2.5 s"},
      {nullptr, "C", "Slideshow", "2.5 s"},
  };
  for (const auto& c : cases) {
    EXPECT_EXIT(checkLiveAndExit(c), testing::ExitedWithCode(0), "")
        << "LANGUAGE=" << (c.language ? c.language : "(unset)") << " LC_ALL=" << c.locale;
  }
}

}  // namespace
}  // namespace lorvex::ui
