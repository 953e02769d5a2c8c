// The metadata section's presentation: status by first matching rule, the rows and long texts in
// their fixed order with blank values left out and shown values untrimmed, caption numbering and
// centers, number texts that do not follow the process locale, and the parsers' warnings reworded.
#include "ui/detail/metadata_inspection_presentation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "metadata/parse_warnings.h"
#include "ui/common/localization_table.h"
#include "ui/results/echo_localization.h"

namespace lorvex::ui {
namespace {

using testing::echoLocalization;
using Status = MetadataInspectionStatus;

GenerationMetadata with(const std::function<void(GenerationMetadata&)>& fill) {
  GenerationMetadata metadata;
  fill(metadata);
  return metadata;
}

std::vector<std::string> rowIDs(const MetadataInspectionPresentation& presentation) {
  std::vector<std::string> ids;
  for (const auto& row : presentation.settingRows) ids.push_back(row.id);
  return ids;
}

std::vector<std::string> itemIDs(const MetadataInspectionPresentation& presentation) {
  std::vector<std::string> ids;
  for (const auto& item : presentation.longTextItems) ids.push_back(item.id);
  return ids;
}

TEST(MetadataInspectionPresentationTest, StatusTakesTheFirstMatchingRule) {
  const GenerationMetadataProvider novelAI{"novelai", "NovelAI"};
  const GenerationMetadataProvider unknown{"unknown", "Unknown"};
  struct Case {
    const char* name;
    GenerationMetadata metadata;
    Status expected;
  };
  const std::vector<Case> cases = {
      {"nothing", {}, Status::missing},
      {"blank warning alone", with([](auto& m) { m.parseWarning = " \n\t "; }), Status::missing},
      {"blank warning with a provider", with([&](auto& m) {
         m.parseWarning = "  \n";
         m.provider = novelAI;
       }),
       Status::parsed},
      {"warning before a known provider", with([&](auto& m) {
         m.parseWarning = "bad json";
         m.provider = novelAI;
       }),
       Status::partial},
      {"unknown provider with a prompt", with([&](auto& m) {
         m.provider = unknown;
         m.prompt = "cat";
       }),
       Status::rawPayloadOnly},
      {"unknown provider alone", with([&](auto& m) { m.provider = unknown; }), Status::rawPayloadOnly},
      {"unknown provider with NovelAI software", with([&](auto& m) {
         m.provider = unknown;
         m.software = "NovelAI";
       }),
       Status::rawPayloadOnly},
      {"software NovelAI", with([](auto& m) { m.software = "NovelAI"; }), Status::parsed},
      {"software in other case", with([](auto& m) { m.software = "novelai"; }), Status::rawPayloadOnly},
      {"source with the NovelAI prefix", with([](auto& m) { m.source = "NovelAI Diffusion V4 ABC"; }),
       Status::parsed},
      {"source with the prefix in other case", with([](auto& m) { m.source = "novelai v4"; }),
       Status::rawPayloadOnly},
      {"model hash alone", with([](auto& m) { m.modelHash = "abc"; }), Status::missing},
      {"parameters and usages alone", with([](auto& m) {
         m.generationParameters = {{"seed", 1, std::nullopt, std::nullopt}};
         m.modelUsages = {{"x", std::nullopt, "primary", std::nullopt, std::nullopt}};
         m.promptSegments = {{"positive", false, "cat"}};
       }),
       Status::missing},
      {"raw chunks alone", with([](auto& m) {
         m.rawTextChunks = {{"Comment", "{}"}};
       }),
       Status::rawPayloadOnly},
      {"raw payloads alone", with([](auto& m) {
         m.rawPayloads = {{"png_text", "Comment", 0, "{}", "raw", std::nullopt}};
       }),
       Status::rawPayloadOnly},
      {"a format alone", with([](auto& m) {
         m.format = GenerationMetadataFormat{"x", "X"};
       }),
       Status::rawPayloadOnly},
      {"a negative caption alone", with([](auto& m) {
         m.negativeCharacterCaptions = {{"", {}}};
       }),
       Status::rawPayloadOnly},
      {"a version alone", with([](auto& m) { m.version = 0; }), Status::rawPayloadOnly},
      {"a blank title alone", with([](auto& m) { m.title = "   "; }), Status::missing},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(metadataInspectionStatus(c.metadata), c.expected) << c.name;
  }
}

TEST(MetadataInspectionPresentationTest, StatusTextsAndSymbolsFollowTheStatus) {
  struct Case {
    GenerationMetadata metadata;
    const char* title;
    const char* description;
    const char* symbol;
  };
  const std::vector<Case> cases = {
      {with([](auto& m) { m.software = "NovelAI"; }), "metadata.status.parsed.title",
       "metadata.status.parsed.description", "sparkles"},
      {with([](auto& m) { m.parseWarning = "w"; }), "metadata.status.partial.title",
       "metadata.status.partial.description", "exclamationmark.triangle"},
      {with([](auto& m) { m.prompt = "p"; }), "metadata.status.rawPayload.title",
       "metadata.status.rawPayload.description", "info.circle"},
      {{}, "metadata.status.missing.title", "metadata.status.missing.description", "questionmark.circle"},
  };
  for (const auto& c : cases) {
    const MetadataInspectionPresentation presentation(c.metadata, echoLocalization());
    EXPECT_EQ(presentation.statusTitle(), c.title);
    EXPECT_EQ(presentation.statusDescription(), c.description);
    EXPECT_EQ(metadataInspectionStatusSymbol(presentation.status), c.symbol);
  }
}

TEST(MetadataInspectionPresentationTest, RowsComeInTableOrderWithTheirValues) {
  // Filled in reverse order: the rows still come in their own order.
  const auto metadata = with([](auto& m) {
    m.signedHash = "sig";
    m.version = 4;
    m.requestType = "PromptGenerateRequest";
    m.noiseSchedule = "karras";
    m.generationTime = 5.5;
    m.height = 1216;
    m.width = 832;
    m.scale = 5.0;
    m.steps = 28;
    m.sampler = "k_euler";
    m.source = "NovelAI Diffusion V4";
    m.seed = -1;
    m.software = "NovelAI";
    m.format = GenerationMetadataFormat{"novelai_png_text", "NovelAI PNG text"};
    m.title = "  Title with spaces ";
    m.modelHash = "never shown";
  });
  const MetadataInspectionPresentation presentation(metadata, echoLocalization());
  const std::vector<MetadataInspectionRow> expected = {
      {"title", "metadata.imageTitle", "  Title with spaces "},
      {"provider", "metadata.provider", "NovelAI"},
      {"format", "metadata.format", "NovelAI PNG text"},
      {"software", "metadata.software", "NovelAI"},
      {"seed", "metadata.seed", "-1"},
      {"source", "metadata.source", "NovelAI Diffusion V4"},
      {"sampler", "metadata.sampler", "k_euler"},
      {"steps", "metadata.steps", "28"},
      {"scale", "metadata.scale", "5.0"},
      {"size", "metadata.size", "832 x 1216"},
      {"generationTime", "metadata.generationTime", "metadata.generationDuration.seconds(#5.500000)"},
      {"noiseSchedule", "metadata.noiseSchedule", "karras"},
      {"requestType", "metadata.requestType", "PromptGenerateRequest"},
      {"version", "metadata.version", "4"},
      {"signedHash", "metadata.signedHash", "sig"},
  };
  EXPECT_EQ(presentation.settingRows, expected);
}

TEST(MetadataInspectionPresentationTest, RowsLeaveOutBlankAndIncompleteValues) {
  struct Case {
    const char* name;
    GenerationMetadata metadata;
    std::vector<std::string> ids;
  };
  const std::vector<Case> cases = {
      {"a width without a height", with([](auto& m) { m.width = 832; }), {}},
      {"a blank title", with([](auto& m) { m.title = " \n "; }), {}},
      {"an empty provider name",
       with([](auto& m) {
         m.provider = GenerationMetadataProvider{"comfyui", ""};
       }),
       {}},
      {"NovelAI by source gives the provider row",
       with([](auto& m) { m.source = "NovelAI Diffusion"; }),
       {"provider", "source"}},
      {"no provider and other software", with([](auto& m) { m.software = "ComfyUI"; }), {"software"}},
      {"provider display name wins over the signature",
       with([](auto& m) {
         m.provider = GenerationMetadataProvider{"comfyui", "ComfyUI"};
         m.software = "NovelAI";
       }),
       {"provider", "software"}},
      {"raw texts give no rows",
       with([](auto& m) {
         m.rawTextChunks = {{"a", "b"}};
         m.rawPayloads = {{}};
       }),
       {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rowIDs(MetadataInspectionPresentation(c.metadata, echoLocalization())), c.ids) << c.name;
  }
}

TEST(MetadataInspectionPresentationTest, NumberTextsIgnoreTheProcessLocale) {
  // A German numeric locale writes "5,5" through printf; the scale and the centers must not.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  struct Case {
    double scale;
    const char* text;
  };
  for (const Case& c : std::vector<Case>{{5.0, "5.0"}, {5.5, "5.5"}, {7.25, "7.25"}, {0.1, "0.1"}}) {
    const MetadataInspectionPresentation presentation(with([&](auto& m) { m.scale = c.scale; }),
                                                      echoLocalization());
    ASSERT_EQ(presentation.settingRows.size(), 1u);
    EXPECT_EQ(presentation.settingRows[0].value, c.text);
  }
  const CharacterCaption caption{"girl", {{0.5, 0.25}, {0.1, 0.9}}};
  EXPECT_EQ(characterCaptionEntryText(0, caption, 1, echoLocalization()),
            "girl\nmetadata.captionCenters: (0.500, 0.250), (0.100, 0.900)");
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!german) GTEST_LOG_(INFO) << "de_DE.UTF-8 is not installed; checked under the current locale only";
}

TEST(MetadataInspectionPresentationTest, CaptionTextsNumberSeveralCaptionsAndListCenters) {
  struct Case {
    const char* name;
    std::vector<CharacterCaption> captions;
    std::optional<std::string> text;
  };
  const std::vector<Case> cases = {
      {"no captions", {}, std::nullopt},
      {"one caption without centers", {{"girl, red hair", {}}}, "girl, red hair"},
      {"two captions", {{"a", {}}, {"b", {}}}, "1. a\n\n2. b"},
      {"centers on the second line",
       {{"a", {{0.5, 0.25}}}, {"b", {}}},
       "1. a\nmetadata.captionCenters: (0.500, 0.250)\n\n2. b"},
      {"one empty caption", {{"", {}}}, ""},
      {"rounding to three places",
       {{"c", {{0.12345, 0.9996}}}},
       "c\nmetadata.captionCenters: (0.123, 1.000)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(characterCaptionsText(c.captions, echoLocalization()), c.text) << c.name;
  }
}

TEST(MetadataInspectionPresentationTest, LongTextsComeInOrderUntrimmedAndBlankOnesLeftOut) {
  const auto metadata = with([](auto& m) {
    m.rawCommentJSON = "{\"a\": 1}";
    m.negativeCharacterCaptions = {{"x", {}}};
    m.characterCaptions = {{"", {}}};  // a blank value: left out
    m.negativeBaseCaption = "\n";
    m.baseCaption = " base ";
    m.negativePrompt = "lowres";
    m.prompt = "  1girl, <solo> & more\n";
  });
  const MetadataInspectionPresentation presentation(metadata, echoLocalization());
  EXPECT_EQ(itemIDs(presentation), (std::vector<std::string>{"prompt", "negativePrompt", "baseCaption",
                                                             "negativeCharacterCaptions", "rawCommentJSON"}));
  EXPECT_EQ(presentation.longTextItems[0],
            (MetadataInspectionLongTextItem{"prompt", "metadata.prompt", "  1girl, <solo> & more\n"}));
  EXPECT_EQ(presentation.longTextItems[2].value, " base ");
  EXPECT_EQ(presentation.longTextItems[3].title, "metadata.negativeCharacterCaptions");
}

TEST(MetadataInspectionPresentationTest, WarningTextIsKeptUntrimmedUnlessBlank) {
  const AppLocalization localizer = echoLocalization();
  EXPECT_EQ(metadataWarningText(with([](auto& m) { m.parseWarning = " bad\n"; }), localizer), " bad\n");
  EXPECT_EQ(metadataWarningText(with([](auto& m) { m.parseWarning = "\u3000\n"; }), localizer), std::nullopt);
  EXPECT_EQ(metadataWarningText({}, localizer), std::nullopt);
}

TEST(MetadataInspectionPresentationTest, TheParsersWarningsAreShownByTheirKeys) {
  const std::string noPrompt = "ComfyUI workflow was preserved, but no positive prompt could be resolved.";
  const std::string skipped =
      "Skipped 2 text chunks beyond the per-file limit of 3 text chunks and 67108864 bytes of decoded text.";
  const struct {
    std::string stored;
    std::string shown;
  } cases[] = {
      {"ComfyUI workflow was preserved, but prompt JSON was not available.",
       "metadata.warning.comfyUIPromptUnavailable"},
      {"ComfyUI workflow was preserved, but prompt JSON could not be decoded.",
       "metadata.warning.comfyUIPromptUndecodable"},
      {noPrompt, "metadata.warning.comfyUINoPositivePrompt"},
      {"Failed to decode ComfyUI prompt JSON: The JSON text nests too deep.",
       "metadata.warning.comfyUIPromptRefused(The JSON text nests too deep.)"},
      {"Failed to decode NovelAI Comment JSON: Expected an integer at \"seed\" but found a string.",
       "metadata.warning.novelAICommentUndecodable(Expected an integer at \"seed\" but found a string.)"},
      {skipped, "metadata.warning.skippedTextChunks.other(#2,#3,#67108864)"},
      {"Skipped 1 text chunk beyond the per-file limit of 3 text chunks and 9 bytes of decoded text.",
       "metadata.warning.skippedTextChunks.one(#1,#3,#9)"},
      {noPrompt + " " + skipped,
       "metadata.warning.comfyUINoPositivePrompt\nmetadata.warning.skippedTextChunks.other(#2,#3,#67108864)"},
      // Not the parsers' own words: shown as stored.
      {noPrompt + " And more.", noPrompt + " And more."},
      {"Some other tool's note. " + skipped, "Some other tool's note. " + skipped},
      {"Skipped 2 text chunks.", "Skipped 2 text chunks."},
  };
  for (const auto& [stored, shown] : cases) {
    EXPECT_EQ(localizedParseWarning(stored, echoLocalization()), shown) << stored;
  }
}

// Every warning kind the parsers write is worded afresh, in each language, by a text of its own.
TEST(MetadataInspectionPresentationTest, EveryParseWarningKindHasItsOwnTextInBothLanguages) {
  for (const std::string_view language : {kEnglishLanguage, kJapaneseLanguage}) {
    SCOPED_TRACE(language);
    const auto localizer = AppLocalization::overTable(bundledLocalizationTable(language), ".");
    std::set<std::string> shown;
    for (const ParseWarningKind kind : allCases<ParseWarningKind>()) {
      const auto warning = std::ranges::find(kParseWarningTexts, kind, &ParseWarningText::kind);
      ASSERT_NE(warning, kParseWarningTexts.end()) << static_cast<int>(kind);
      const std::string stored = std::string(warning->text) + (warning->takesReason ? "why" : "");
      const std::string text = localizedParseWarning(stored, localizer);
      EXPECT_FALSE(text.empty()) << stored;
      EXPECT_NE(text, stored);
      EXPECT_TRUE(shown.insert(text).second) << text;
    }
  }
}

}  // namespace
}  // namespace lorvex::ui
