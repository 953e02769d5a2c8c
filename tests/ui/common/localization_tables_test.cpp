// The tables built into the program: every key in both languages, and every text written for the
// arguments its callers pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
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
