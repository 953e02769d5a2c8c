// The tables built into the program: every key in both languages, and every text written for the
// arguments its callers pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "ui/common/app_localization_key.h"
#include "ui/common/error_notice_text.h"
#include "ui/common/localization_format.h"
#include "ui/common/localization_table.h"

namespace lorvex::ui {
namespace {

using Kind = FormatArgumentKind;

// The arguments each caller passes, in order; every other key is looked up with none.
const std::map<std::string_view, std::vector<Kind>>& argumentKinds() {
  static const std::map<std::string_view, std::vector<Kind>> kinds = [] {
    const std::vector<Kind> integer = {Kind::integer};
    const std::vector<Kind> text = {Kind::text};
    const std::vector<Kind> decimal = {Kind::decimal};
    const std::vector<Kind> twoIntegers = {Kind::integer, Kind::integer};
    const std::vector<Kind> threeIntegers = {Kind::integer, Kind::integer, Kind::integer};
    std::map<std::string_view, std::vector<Kind>> table;
    for (const auto* key : {"common.imageCount.one",
                            "common.imageCount.other",
                            "common.imageCount.plus",
                            "library.failedFileCount.one",
                            "library.failedFileCount.other",
                            "library.failedFolderCount.one",
                            "library.failedFolderCount.other",
                            "library.failedFileAndFolderCount",
                            "result.loadingMoreCount.one",
                            "result.loadingMoreCount.other",
                            "indexing.checkingFiles",
                            "review.deleteCandidate.feedback.marked.one",
                            "review.deleteCandidate.feedback.marked.other",
                            "review.deleteCandidate.feedback.unmarked.one",
                            "review.deleteCandidate.feedback.unmarked.other",
                            "deleteCandidateReview.trashScope.loaded.one",
                            "deleteCandidateReview.trashScope.loaded.other",
                            "deleteCandidateReview.trashScope.selected.one",
                            "deleteCandidateReview.trashScope.selected.other",
                            "deleteCandidateReview.confirmation.message.loaded.one",
                            "deleteCandidateReview.confirmation.message.loaded.other",
                            "deleteCandidateReview.confirmation.message.selected.one",
                            "deleteCandidateReview.confirmation.message.selected.other",
                            "deleteCandidateReview.confirmation.message.retryFailed.one",
                            "deleteCandidateReview.confirmation.message.retryFailed.other",
                            "deleteCandidateReview.summary.failureOverflow.one",
                            "deleteCandidateReview.summary.failureOverflow.other",
                            "scanFailure.source.backgroundChangedPaths",
                            "metadata.tags.more",
                            "slideshow.visibleCount.one",
                            "slideshow.visibleCount.other"}) {
      table[key] = integer;
    }
    for (const auto* key :
         {"library.imageCount.one", "library.imageCount.other", "filter.model.filterBy", "filter.summary.tag",
          "filter.summary.tagConcept", "filter.summary.model", "filter.summary.aspect",
          "filter.summary.clear", "filter.tag.addValueToFilter", "filter.tag.removeValueFromFilter",
          "metadata.copyNamedValue", "deleteCandidateReview.candidate.selected",
          "deleteCandidateReview.candidate.unselected", "scanFailure.details.context",
          "scanFailure.details.roots", "tagConcept.alias.remove", "platform.folderPicker.reauthorize",
          "platform.reveal.failed.message", "app.settingsUnreadable.message"}) {
      table[key] = text;
    }
    for (const auto* key : {"indexing.progress", "deleteCandidateReview.footerSummary",
                            "deleteCandidateReview.summary.moved", "tagConcept.assignment.scope"}) {
      table[key] = twoIntegers;
    }
    for (const auto* key :
         {"deleteCandidateReview.summary.movedWithFailures", "scanFailure.details.summary"}) {
      table[key] = threeIntegers;
    }
    table["scanFailure.details.summary.folders.one"] = twoIntegers;
    table["scanFailure.details.summary.folders.other"] = twoIntegers;
    table["scanFailure.details.summary.filesAndFolders.one"] = std::vector<Kind>(4, Kind::integer);
    table["scanFailure.details.summary.filesAndFolders.other"] = std::vector<Kind>(4, Kind::integer);
    table["metadata.warning.comfyUIPromptRefused"] = text;
    table["metadata.warning.novelAICommentUndecodable"] = text;
    table["metadata.warning.skippedTextChunks.one"] = threeIntegers;
    table["metadata.warning.skippedTextChunks.other"] = threeIntegers;
    table["metadata.generationDuration.seconds"] = decimal;
    table["slideshow.interval.seconds"] = decimal;
    table["common.accessibilityPair"] = {Kind::text, Kind::text};
    table["review.bulkActionTitle"] = {Kind::text, Kind::integer};
    // A failure's text names its values (paths) as texts.
    for (const ErrorNoticeKind kind : allCases<ErrorNoticeKind>()) {
      if (const std::size_t count = errorNoticeArgumentCount(kind); count > 0) {
        table[errorNoticeKey(kind)] = std::vector<Kind>(count, Kind::text);
      }
    }
    table["library.recovery.damaged.one"] = {Kind::text, Kind::text};
    table["library.recovery.damaged.other"] = {Kind::text, Kind::text};
    table["library.recovery.setAside"] = {Kind::text};
    table["library.recovery.damaged.none"] = {Kind::text};
    table["library.unavailable.location"] = {Kind::text};
    return table;
  }();
  return kinds;
}

// The keys beyond the enumeration: the titles of the menus the platform's menu bar has, and the
// texts of what the platform gives an application elsewhere (the quit item, the folder picker's
// titles, the file manager's silence).
constexpr std::string_view kMenuKeys[] = {"platform.menu.view",
                                          "platform.menu.help",
                                          "platform.menu.file",
                                          "platform.menu.quit",
                                          "platform.folderPicker.addFolders",
                                          "platform.folderPicker.reauthorize",
                                          "platform.reveal.failed.title",
                                          "platform.reveal.failed.message"};

std::set<std::string> expectedKeys() {
  std::set<std::string> keys(std::begin(kMenuKeys), std::end(kMenuKeys));
  for (const auto key : allAppLocalizationKeys()) keys.emplace(keyString(key));
  // The texts of failures (error_notice_text.h), beyond the enumeration too.
  for (const ErrorNoticeKind kind : allCases<ErrorNoticeKind>()) keys.emplace(errorNoticeKey(kind));
  return keys;
}

class LocalizationTablesTest : public testing::TestWithParam<std::string_view> {};

TEST_P(LocalizationTablesTest, HoldsExactlyTheKeysWithATextOfTheirOwn) {
  const LocalizationTable table = bundledLocalizationTable(GetParam());
  std::set<std::string> keys;
  for (const auto& [key, text] : table) {
    keys.insert(key);
    EXPECT_FALSE(text.empty()) << key;
    EXPECT_NE(text, key) << "untranslated: " << key;
  }
  EXPECT_EQ(keys, expectedKeys());
}

TEST_P(LocalizationTablesTest, PlaceholdersMatchTheArgumentsTheirCallersPass) {
  const LocalizationTable table = bundledLocalizationTable(GetParam());
  ASSERT_FALSE(table.empty());
  for (const auto& key : expectedKeys()) {
    const auto found = table.find(key);
    if (found == table.end()) continue;  // reported by the test above
    const std::string& text = found->second;
    const auto expected = argumentKinds().find(key);
    if (expected == argumentKinds().end()) {
      // Shown as written, so a "%" would be shown too.
      EXPECT_EQ(text.find('%'), std::string::npos) << key << ": " << text;
      continue;
    }
    // Each argument written exactly once, in its kind; order is free through positions.
    std::vector<FormatPlaceholder> placeholders = formatPlaceholders(text);
    std::sort(placeholders.begin(), placeholders.end(),
              [](const auto& a, const auto& b) { return a.argumentIndex < b.argumentIndex; });
    std::vector<FormatPlaceholder> wanted;
    for (std::size_t index = 0; index < expected->second.size(); ++index) {
      wanted.push_back({index, expected->second[index]});
    }
    EXPECT_EQ(placeholders, wanted) << key << ": " << text;
    // No "%" beyond the placeholders and "%%": formatting leaves none behind.
    FormatArguments arguments;
    for (const Kind kind : expected->second) {
      if (kind == Kind::integer) arguments.emplace_back(std::int64_t{1});
      if (kind == Kind::decimal) arguments.emplace_back(1.5);
      if (kind == Kind::text) arguments.emplace_back(std::string("x"));
    }
    const std::string formatted = formatLocalizedText(text, arguments, ".");
    EXPECT_EQ(formatted.find('%'), std::string::npos) << key << ": " << formatted;
  }
}

// Where a count of one can come, the English text never says "1 files": a count goes before its noun
// in the form that agrees with it, or stands apart from it ("Images indexed: 1"). A ".other" text is
// chosen by its first count (the summary of files and folders by the folders) for counts other than
// one; every other count may be one, but for those that never are where their callers pass them.
TEST(LocalizationTableTest, EnglishCountsAgreeWithTheirNouns) {
  const std::map<std::string_view, std::size_t> choosingCount = {
      {"scanFailure.details.summary.filesAndFolders.other", 3}};
  // A bulk title names two targets or more, files and folders together are two at least, and the
  // text-chunk limits are the reader's constants.
  const std::map<std::string_view, std::set<std::size_t>> neverOne = {
      {"review.bulkActionTitle", {1}},
      {"library.failedFileAndFolderCount", {0}},
      {"metadata.warning.skippedTextChunks.one", {1, 2}},
      {"metadata.warning.skippedTextChunks.other", {1, 2}}};
  const std::set<std::string_view> pluralNouns = {"images",     "files",  "folders",
                                                  "candidates", "chunks", "bytes"};
  const LocalizationTable table = bundledLocalizationTable(kEnglishLanguage);
  for (const auto& [key, kinds] : argumentKinds()) {
    const auto found = table.find(std::string(key));
    if (found == table.end() || key.ends_with(".plus")) continue;  // "500+ images" counts more than one
    const bool other = key.ends_with(".other");
    const std::size_t chosenBy = choosingCount.contains(key) ? choosingCount.at(key) : 0;
    FormatArguments arguments;
    for (std::size_t index = 0; index < kinds.size(); ++index) {
      const bool notOne =
          (other && index == chosenBy) || (neverOne.contains(key) && neverOne.at(key).contains(index));
      if (kinds[index] == Kind::integer) arguments.emplace_back(std::int64_t{notOne ? 2 : 1});
      if (kinds[index] == Kind::decimal) arguments.emplace_back(1.5);
      if (kinds[index] == Kind::text) arguments.emplace_back(std::string("x"));
    }
    const std::string text = formatLocalizedText(found->second, arguments, ".");
    std::vector<std::string> words;
    std::istringstream stream(text);
    for (std::string word; stream >> word;) {
      constexpr std::string_view kPunctuation = "()[],.;:!?\"'";
      const std::size_t first = word.find_first_not_of(kPunctuation);
      const std::size_t last = word.find_last_not_of(kPunctuation);
      words.push_back(first == std::string::npos ? std::string() : word.substr(first, last - first + 1));
    }
    // "1 file", "1 changed file": the noun right after the count or after one word describing it.
    for (std::size_t index = 0; index < words.size(); ++index) {
      if (words[index] != "1") continue;
      for (std::size_t next = index + 1; next < std::min(index + 3, words.size()); ++next) {
        EXPECT_FALSE(pluralNouns.contains(words[next])) << key << ": " << text;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, LocalizationTablesTest,
                         testing::Values(kEnglishLanguage, kJapaneseLanguage),
                         [](const auto& info) { return std::string(info.param); });

TEST(LocalizationTableTest, ATableWithoutBundledTextsIsEmpty) {
  EXPECT_TRUE(bundledLocalizationTable("xx").empty());
  EXPECT_TRUE(bundledLocalizationTable("../l10n/en").empty());
  EXPECT_TRUE(bundledLocalizationTable("").empty());
}

TEST(LocalizationTableTest, ParsesOneFlatObjectOfTexts) {
  const struct {
    std::string json;
    std::optional<LocalizationTable> expected;
  } cases[] = {
      {R"({"a": "A", "b.c": "B %ld"})", LocalizationTable{{"a", "A"}, {"b.c", "B %ld"}}},
      {R"({"a": "A", "a": "last"})", LocalizationTable{{"a", "last"}}},
      {R"({"a": 1, "b": null, "c": ["x"], "d": {"e": "f"}, "g": "G"})", LocalizationTable{{"g", "G"}}},
      {R"({})", LocalizationTable{}},
      {R"(["a", "b"])", std::nullopt},
      {R"("text")", std::nullopt},
      {R"({"a": "A")", std::nullopt},
      {"", std::nullopt},
      {std::string(100000, '[') + std::string(100000, ']'), std::nullopt},
      {R"({"a": [[["deep"]]]})", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseLocalizationTable(c.json), c.expected) << c.json.substr(0, 40);
}

TEST(LocalizationTableTest, JapaneseOnlyWhenTheFirstPreferredLanguageIsJapanese) {
  const struct {
    std::vector<std::string> preferred;
    std::string_view expected;
  } cases[] = {
      {{"ja"}, kJapaneseLanguage},
      {{"ja-JP", "en-US"}, kJapaneseLanguage},
      {{"ja_JP"}, kJapaneseLanguage},
      {{"JA-jp"}, kJapaneseLanguage},
      {{"ja-Latn-JP"}, kJapaneseLanguage},
      {{"en-US", "ja-JP"}, kEnglishLanguage},
      {{"de-DE"}, kEnglishLanguage},
      {{"jam"}, kEnglishLanguage},  // Jamaican Creole
      {{"j"}, kEnglishLanguage},
      {{""}, kEnglishLanguage},
      {{}, kEnglishLanguage},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(localizationLanguage(c.preferred), c.expected)
        << (c.preferred.empty() ? "(none)" : c.preferred[0]);
  }
}

}  // namespace
}  // namespace lorvex::ui
