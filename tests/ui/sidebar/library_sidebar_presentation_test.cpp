#include "ui/sidebar/library_sidebar_presentation.h"

#include <gtest/gtest.h>

#include <climits>

#include "ui/results/echo_localization.h"

namespace lorvex::ui {
namespace {

using Kind = LibrarySidebarSummaryPresentation::Kind;
using State = RegisteredFolderAccessState;

RegisteredFolderSummary folder(std::string path, State state, std::int64_t count = 0,
                               std::optional<std::string> lastError = std::nullopt) {
  const std::string name = path.substr(path.find_last_of('/') + 1);
  return {std::move(path), name, state, count, 0, std::move(lastError), std::nullopt};
}

ImageLibraryIndexingProgress progress(std::int64_t processed, std::int64_t total) {
  return {ImageLibraryIndexingPhase::indexing, processed, total, 0, 0, std::nullopt};
}

TEST(FormattedCountTest, GroupsDigitsInThreesWithoutLocale) {
  const std::pair<std::int64_t, std::string> cases[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1,000"},
      {1000000, "1,000,000"},
      {-1000, "-1,000"},
      {12345, "12,345"},
      {INT64_MAX, "9,223,372,036,854,775,807"},
      {INT64_MIN, "-9,223,372,036,854,775,808"},
  };
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(LibrarySidebarPresentation::formattedCount(value), text) << value;
  }
}

struct SummaryCase {
  const char* name;
  std::vector<RegisteredFolderSummary> folders;
  bool loading;
  bool syncing;
  std::optional<ImageLibraryIndexingProgress> progress;
  LibrarySidebarSummaryPresentation summary;
  std::optional<std::string> repairPath;
  bool showsEmptyPicker;
};

TEST(LibrarySidebarPresentationTest, SummaryFollowsTheFirstRuleThatHolds) {
  const std::vector<RegisteredFolderSummary> three = {
      folder("/a", State::available, 1), folder("/b", State::missing), folder("/c", State::accessDenied)};
  const SummaryCase cases[] = {
      {"empty",
       {},
       false,
       false,
       std::nullopt,
       {Kind::empty, "library.noRegisteredFolders", std::nullopt, false},
       std::nullopt,
       true},
      {"loading with folders known",
       three,
       true,
       true,
       progress(1, 2),
       {Kind::loading, "library.checkingFolders", std::nullopt, true},
       std::nullopt,
       false},
      {"no folders, sync without progress",
       {},
       false,
       true,
       std::nullopt,
       {Kind::checking, "library.checkingImages", std::nullopt, true},
       std::nullopt,
       false},
      {"no folders, sync with progress",
       {},
       false,
       true,
       progress(1200, 2048),
       {Kind::checking, "library.checkingImages", "1,200 / 2,048", true},
       std::nullopt,
       false},
      {"folders, sync with progress",
       {folder("/a", State::available, 3)},
       false,
       true,
       progress(5, 9),
       {Kind::checking, "library.checkingImages", "5 / 9", true},
       std::nullopt,
       false},
      {"folders, sync without progress: state rules",
       {folder("/a", State::available, 3)},
       false,
       true,
       std::nullopt,
       {Kind::registered, "library.registered", "library.imageCount.other(3)", false},
       std::nullopt,
       false},
      {"access wins, first needing access is the repair path",
       {folder("/ok", State::available, 10), folder("/bm", State::bookmarkInvalid, 5),
        folder("/den", State::accessDenied)},
       false,
       false,
       std::nullopt,
       {Kind::accessRequired, "library.bookmarkInvalid", "library.imageCount.other(15)", false},
       "/bm",
       false},
      {"access wins over an earlier missing folder",
       {folder("/gone", State::missing), folder("/den", State::accessDenied)},
       false,
       false,
       std::nullopt,
       {Kind::accessRequired, "library.accessRequired", "library.imageCount.other(0)", false},
       "/den",
       false},
      {"missing",
       {folder("/a", State::available, 1), folder("/gone", State::missing)},
       false,
       false,
       std::nullopt,
       {Kind::missing, "library.missingFolder", "library.imageCount.one(1)", false},
       std::nullopt,
       false},
      {"thousand images",
       {folder("/a", State::available, 600), folder("/b", State::available, 400)},
       false,
       false,
       std::nullopt,
       {Kind::registered, "library.registered", "library.imageCount.other(1,000)", false},
       std::nullopt,
       false},
  };
  for (const SummaryCase& c : cases) {
    const auto p = LibrarySidebarPresentation::make(c.folders, c.loading, c.syncing, c.progress,
                                                    testing::echoLocalization(), {});
    EXPECT_EQ(p.summary, c.summary) << c.name;
    EXPECT_EQ(p.primaryRepairFolderPath, c.repairPath) << c.name;
    EXPECT_EQ(p.showsEmptyFolderPicker, c.showsEmptyPicker) << c.name;
    EXPECT_EQ(p.folderRows.size(), c.folders.size()) << c.name;  // built in every state, loading included
  }
}

TEST(LibrarySidebarPresentationTest, FolderRowsByState) {
  const auto localizer = testing::echoLocalization();
  struct Case {
    State state;
    std::optional<std::string> status;
    std::string accessibility;
    bool repair;
    std::string error;  // the row's error line for a summary without a notice: its state's
  } cases[] = {
      {State::available, std::nullopt, "common.accessibilityPair(Pics,library.registered)", false,
       "error.folder.unreadable"},
      {State::missing, "library.missingFolder", "common.accessibilityPair(Pics,library.missingFolder)", false,
       "error.folder.missing"},
      {State::accessDenied, "library.accessRequired", "common.accessibilityPair(Pics,library.accessRequired)",
       true, "error.folder.accessDenied"},
      {State::bookmarkInvalid, "library.bookmarkInvalid",
       "common.accessibilityPair(Pics,library.bookmarkInvalid)", true, "error.folder.bookmarkInvalid"},
  };
  for (const Case& c : cases) {
    const auto row =
        LibrarySidebarFolderRowPresentation::make(folder("/u/Pics", c.state, 0, "boom"), localizer, {});
    EXPECT_EQ(row.statusText, c.status);
    EXPECT_EQ(row.accessibilityText, c.accessibility);
    EXPECT_EQ(row.showsRepairAction, c.repair);
    EXPECT_EQ(row.systemImageName, "folder");
    EXPECT_EQ(row.lastErrorText, c.error + " — Pics");
  }
}

TEST(LibrarySidebarPresentationTest, RecordingModeHidesTheHomeDirectoryButNotTheRepairPath) {
  const auto localizer = testing::echoLocalization();
  const ViewResourceDisplay recording{true, "/Users/a"};
  const auto home =
      LibrarySidebarFolderRowPresentation::make(folder("/Users/a", State::available), localizer, recording);
  EXPECT_EQ(home.displayName, "~");
  EXPECT_EQ(home.displayPath, "~");
  const auto pictures = LibrarySidebarFolderRowPresentation::make(
      folder("/Users/a/Pictures", State::missing, 0, "gone: /Users/a/Pictures"), localizer, recording);
  EXPECT_EQ(pictures.displayName, "Pictures");
  EXPECT_EQ(pictures.displayPath, "~/Pictures");
  // The library's text is not shown: the row says what is wrong in the window's language.
  EXPECT_EQ(pictures.lastErrorText, "error.folder.missing — Pictures");
  const auto plain =
      LibrarySidebarFolderRowPresentation::make(folder("/Users/a", State::available), localizer, {});
  EXPECT_EQ(plain.displayName, "a");
  EXPECT_EQ(plain.displayPath, "/Users/a");

  const auto library = LibrarySidebarPresentation::make({folder("/Users/a/P", State::accessDenied)}, false,
                                                        false, std::nullopt, localizer, recording);
  EXPECT_EQ(library.primaryRepairFolderPath, "/Users/a/P");
  EXPECT_EQ(library.folderRows[0].displayPath, "~/P");
}

TEST(LibrarySidebarPresentationTest, EqualityFollowsEveryFolderField) {
  const auto localizer = testing::echoLocalization();
  std::vector<RegisteredFolderSummary> folders = {folder("/a", State::missing, 2, "x")};
  const auto first = LibrarySidebarPresentation::make(folders, false, false, std::nullopt, localizer, {});
  EXPECT_EQ(first, LibrarySidebarPresentation::make(folders, false, false, std::nullopt, localizer, {}));
  folders[0].lastErrorNotice = ErrorNotice{ErrorNoticeKind::folderUnreadable, {}};
  EXPECT_NE(first, LibrarySidebarPresentation::make(folders, false, false, std::nullopt, localizer, {}));
}

}  // namespace
}  // namespace lorvex::ui
