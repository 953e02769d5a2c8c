// The indexing card's headline, the sidebar's error line and the scan-failure sheet's texts and
// report.
#include <gtest/gtest.h>

#include <set>

#include "store/image_library_store.h"
#include "support/library_file_name.h"
#include "ui/common/localization_table.h"
#include "ui/results/echo_localization.h"
#include "ui/sidebar/indexing_progress_overlay_presentation.h"
#include "ui/sidebar/library_recovery_notice_presentation.h"
#include "ui/sidebar/library_sidebar_presentation.h"
#include "ui/sidebar/library_unavailable_presentation.h"
#include "ui/sidebar/scan_failure_diagnostics_presentation.h"
#include "ui/sidebar/sidebar_error_presentation.h"

namespace lorvex::ui {
namespace {

using Phase = ImageLibraryIndexingPhase;
using FailureKind = ImageLibraryScanFailure::Kind;
using Source = ImageLibraryScanDiagnosticSource;

TEST(IndexingProgressOverlayPresentationTest, HeadlineByFlagsAndPhase) {
  const ImageLibraryIndexingProgress discovering{Phase::discovering, 0, 1520, 0, 0, std::nullopt};
  const ImageLibraryIndexingProgress indexing{Phase::indexing, 37, 1520, 30, 7, "/x.png"};
  struct Case {
    IndexingProgressOverlayPresentation presentation;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{true, true, indexing}, "indexing.preparingDatabase"},
      {{false, false, std::nullopt}, "indexing.preparingDatabase"},
      {{false, false, indexing}, "indexing.preparingDatabase"},
      {{false, true, std::nullopt}, "indexing.inProgress"},
      {{false, true, discovering}, "indexing.checkingFiles(#1520)"},
      {{false, true, indexing}, "indexing.progress(#37,#1520)"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.presentation.message(testing::echoLocalization()), c.message);
  EXPECT_EQ(IndexingProgressOverlayPresentation::unavailableText(testing::echoLocalization()),
            "indexing.unavailableUntilComplete");

  auto moved = indexing;
  moved.currentPath = "/y.png";
  EXPECT_NE((IndexingProgressOverlayPresentation{false, true, indexing}),
            (IndexingProgressOverlayPresentation{false, true, moved}));
}

TEST(LibraryRecoveryNoticeTest, TellsWhatHappenedToTheLibraryFileInTheInterfacesLanguage) {
  using Kind = LibraryRecoveryNotice::Kind;
  const std::string file = lorvex::testing::libraryFileName(".pre-v4-v4-1700000000");
  const std::string otherFormat = lorvex::testing::libraryFileName(".pre-v4-v0-7");
  const struct {
    const char* language;
    LibraryRecoveryNotice notice;
    std::string text;
  } cases[] = {
      {"en",
       {Kind::damagedLibraryRebuilt, file, 1284},
       "The library was damaged and has been rebuilt from your folders. The damaged file was set aside as “" +
           file + "”. The marks of 1,284 images were recovered."},
      {"en",
       {Kind::damagedLibraryRebuilt, file, 1},
       "The library was damaged and has been rebuilt from your folders. The damaged file was set aside as “" +
           file + "”. The marks of 1 image were recovered."},
      {"en",
       {Kind::unreadableLibrarySetAside, otherFormat, std::nullopt},
       "The library file was of another format or empty. It was set aside as “" + otherFormat +
           "”, and a new library has been built from your folders."},
      {"ja",
       {Kind::damagedLibraryRebuilt, file, 0},
       "ライブラリが破損していたため、登録フォルダから作り直しました。破損したファイルは「" + file +
           "」として保管しています。0枚の画像のマークを復元しました。"},
      {"ja",
       {Kind::damagedLibraryRebuilt, file, 0, false},
       "ライブラリが破損していたため、登録フォルダから作り直しました。マークは復元できませんでした。"
       "破損したファイルは「" +
           file + "」として保管しています。"},
      {"ja",
       {Kind::unreadableLibrarySetAside, otherFormat, std::nullopt},
       "ライブラリファイルが別の形式か空だったため、「" + otherFormat +
           "」として保管し、"
           "登録フォルダから新しいライブラリを作りました。"},
  };
  for (const auto& c : cases) {
    const AppLocalization localizer = AppLocalization::overTable(bundledLocalizationTable(c.language), ".");
    EXPECT_EQ(libraryRecoveryNoticeText(c.notice, localizer), c.text) << c.language;
  }
}

TEST(LibraryUnavailablePresentationTest, SaysWhyAndWhereAndWaitsOnlyForAnotherProcess) {
  const AppLocalization localizer = testing::echoLocalization();
  const ViewResourceDisplay recording{true, "/home/ann"};
  const struct {
    LibraryOpenFailure failure;
    LibraryUnavailablePresentation presentation;
  } cases[] = {
      {{{ErrorNoticeKind::libraryInUse, {}}, "/home/ann/.local/share/Lorvex", true},
       {"library.unavailable.title", "library.unavailable.inUse",
        "library.unavailable.location(~/.local/share/Lorvex)", true}},
      {{{ErrorNoticeKind::libraryFromNewerVersion, {}}, "/srv/Lorvex", false},
       {"library.unavailable.title", "library.unavailable.newerVersion",
        "library.unavailable.location(/srv/Lorvex)", false}},
      {{{ErrorNoticeKind::libraryReadOnly, {}}, "/srv/Lorvex", false},
       {"library.unavailable.title", "library.unavailable.readOnly",
        "library.unavailable.location(/srv/Lorvex)", false}},
      {{{ErrorNoticeKind::permissionDenied, {}}, "", false},
       {"library.unavailable.title", "library.unavailable.readOnly", std::nullopt, false}},
      {{{ErrorNoticeKind::libraryDamaged, {}}, "", false},
       {"library.unavailable.title", "library.unavailable.damaged", std::nullopt, false}},
      {{{ErrorNoticeKind::diskFull, {}}, "", false},
       {"library.unavailable.title", "error.diskFull", std::nullopt, false}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LibraryUnavailablePresentation::make(c.failure, localizer, recording), c.presentation)
        << c.presentation.reason;
  }
}

TEST(SidebarErrorPresentationTest, TrashFailuresReplaceOnlyTheMovesOwnMessage) {
  const ImageTrashSummary failed{
      2, {"/a.png"}, {{"/b.png", "Disk full", ImageTrashFailureReason::underlyingError, std::nullopt}}};
  const ImageTrashSummary refused{
      1, {}, {{"/c.png", "サービス停止", ImageTrashFailureReason::underlyingError, std::nullopt}}};
  const ImageTrashSummary moved{2, {"/a.png", "/b.png"}, {}};
  const std::string fixed(TrashModel::kTrashFailureMessage);
  const std::string operationFailed = "deleteCandidateReview.summary.operationFailed";
  const ErrorNotice someFailed{ErrorNoticeKind::trashSomeFailed, {}};
  const ErrorNotice unavailable{ErrorNoticeKind::folderUnavailable, {"/p"}};
  const struct {
    const char* name;
    std::optional<std::string> error;
    std::optional<ErrorNotice> notice;
    std::optional<ImageTrashSummary> summary;
    std::optional<std::string> line;
  } cases[] = {
      {"no error, failed move", std::nullopt, std::nullopt, failed, std::nullopt},
      {"the move's fixed text", fixed, someFailed, failed, operationFailed},
      {"a refused move's own message", "サービス停止", unavailable, refused, operationFailed},
      // Told by its notice, in the window's language, never by the library's own text.
      {"a later unrelated error shows itself", "登録フォルダにアクセスできません: /p", unavailable, failed,
       "error.folder.unavailable(/p)"},
      {"fixed text after a clean move", fixed, someFailed, moved, operationFailed},
      {"error without any move", "attempt to write a readonly database",
       ErrorNotice{ErrorNoticeKind::libraryReadOnly, {}}, std::nullopt, "error.library.readOnly"},
      {"a text without a notice", "boom", std::nullopt, std::nullopt, "error.unexpected"},
      {"the system's reason after the kind", "disk I/O error",
       ErrorNotice{ErrorNoticeKind::libraryDatabase, {}, "Operation not permitted (EPERM)"}, std::nullopt,
       "error.library.database: Operation not permitted (EPERM)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(
        (SidebarErrorPresentation{c.error, c.summary, {}, c.notice}.message(testing::echoLocalization())),
        c.line)
        << c.name;
  }

  const ErrorNotice pictures{ErrorNoticeKind::folderUnavailable, {"/Users/u/Pictures"}};
  const SidebarErrorPresentation recording{
      "cannot read /Users/u/Pictures", std::nullopt, {true, "/Users/u"}, pictures};
  EXPECT_EQ(recording.message(testing::echoLocalization()), "error.folder.unavailable(~/Pictures)");
  const SidebarErrorPresentation plain{
      "cannot read /Users/u/Pictures", std::nullopt, {false, "/Users/u"}, pictures};
  EXPECT_EQ(plain.message(testing::echoLocalization()), "error.folder.unavailable(/Users/u/Pictures)");
  EXPECT_NE(recording, plain);
}

ImageLibraryScanFailure failure(std::string path, FailureKind kind, std::string message = "denied") {
  return {std::move(path), std::move(message), kind};
}

TEST(ScanFailureDiagnosticsPresentationTest, RootToReauthorize) {
  using Roots = std::vector<std::string>;
  const auto context = [](Roots roots) {
    return std::optional(
        ImageLibraryScanDiagnosticContext{Source::manualSync, std::move(roots), std::nullopt, 0});
  };
  const struct {
    const char* name;
    std::optional<ImageLibraryScanDiagnosticContext> context;
    std::vector<ImageLibraryScanFailure> failures;
    std::optional<std::string> root;
  } cases[] = {
      {"no context", std::nullopt, {failure("/a/x.png", FailureKind::permission)}, std::nullopt},
      {"longest root wins",
       context({"/Volumes/A", "/Volumes/A/Sub"}),
       {failure("/Volumes/A/Sub/x.png", FailureKind::permission)},
       "/Volumes/A/Sub"},
      {"path equal to a root", context({"/a/b"}), {failure("/a/b", FailureKind::permission)}, "/a/b"},
      {"sibling with a common prefix",
       context({"/Users/u/Pictures"}),
       {failure("/Users/u/PicturesOld/x.png", FailureKind::permission)},
       std::nullopt},
      {"root ending in a slash", context({"/r/"}), {failure("/r/x.png", FailureKind::permission)}, "/r/"},
      {"other kinds never count",
       context({"/a"}),
       {failure("/a/1.png", FailureKind::missing), failure("/a/2.png", FailureKind::metadata),
        failure("/a/3.png", FailureKind::general)},
       std::nullopt},
      {"first permission failure under a root",
       context({"/a", "/b"}),
       {failure("/elsewhere/x.png", FailureKind::permission), failure("/b/y.png", FailureKind::permission),
        failure("/a/z.png", FailureKind::permission)},
       "/b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScanFailureDiagnosticsPresentation::findReauthorizationRootPath(c.failures, c.context), c.root)
        << c.name;
  }
}

TEST(ScanFailureDiagnosticsPresentationTest, ReportAndTextsOfAScan) {
  const ImageLibraryScanSummary summary{
      120,
      118,
      2,
      {failure("/Users/u/Pictures/a.png", FailureKind::permission, "no access to /Users/u/Pictures/a.png"),
       failure("/Users/u/b.png", FailureKind::missing, "gone")}};
  const ImageLibraryScanDiagnosticContext context{
      Source::backgroundChangedPaths, {"/Users/u/Pictures", "/Users/u"}, std::nullopt, 1700000000.5};
  const auto p = ScanFailureDiagnosticsPresentation::make(summary, context, testing::echoLocalization(), {});
  EXPECT_EQ(p.diagnosticsText,
            "source=backgroundChangedPaths\n"
            "completedAt=1700000000.500\n"
            "roots=/Users/u/Pictures,/Users/u\n"
            "changedPathCount=-\n"
            "scanned=120\n"
            "indexed=118\n"
            "failed=2\n"
            "failures:\n"
            "/Users/u/Pictures/a.png\tno access to /Users/u/Pictures/a.png\n"
            "/Users/u/b.png\tgone");
  EXPECT_EQ(p.title, "scanFailure.details.title");
  EXPECT_EQ(p.summaryText, "scanFailure.details.summary(#2,#120,#118)");
  EXPECT_EQ(p.contextText, "scanFailure.details.context(scanFailure.source.backgroundChangedPaths(#0))");
  EXPECT_EQ(p.rootPathsText, "scanFailure.details.roots(/Users/u/Pictures, /Users/u)");
  EXPECT_EQ(p.reauthorizationRootPath, "/Users/u/Pictures");
  EXPECT_EQ(p.rescanButtonTitle, "library.syncRegisteredFolders.action");
  EXPECT_EQ(p.reauthorizeButtonTitle, "library.allowAccess");
  EXPECT_EQ(p.revealInFinderButtonTitle, "common.openInFinder");
  EXPECT_EQ(p.closeButtonTitle, "common.close");
  ASSERT_EQ(p.failureRows.size(), 2u);
  EXPECT_EQ(p.failureRows[0].fileName, "a.png");
  EXPECT_EQ(p.failureRows[0].guidance, "scanFailure.guidance.permission");
  EXPECT_EQ(p.failureRows[1].guidance, "scanFailure.guidance.missing");
  // A row says what went wrong by the failure's kind; the library's text stays for the report.
  EXPECT_EQ(p.failureRows[0].message, "error.permissionDenied — a.png");
  EXPECT_EQ(p.failureRows[1].message, "error.file.missing — b.png");
  EXPECT_EQ(p.failureRows[1].diagnosticMessage, "gone");

  const auto recorded = ScanFailureDiagnosticsPresentation::make(
      summary, context, testing::echoLocalization(), {true, "/Users/u"});
  EXPECT_EQ(recorded.failureRows[0].path, "/Users/u/Pictures/a.png");
  EXPECT_EQ(recorded.failureRows[0].displayPath, "~/Pictures/a.png");
  EXPECT_EQ(recorded.failureRows[0].message, "error.permissionDenied — a.png");
  EXPECT_EQ(recorded.failureRows[0].fileName, "a.png");
  EXPECT_EQ(recorded.rootPathsText, "scanFailure.details.roots(~/Pictures, ~)");
  EXPECT_EQ(recorded.reauthorizationRootPath, "/Users/u/Pictures");
  EXPECT_NE(recorded.diagnosticsText.find("roots=~/Pictures,~\n"), std::string::npos);
  EXPECT_NE(recorded.diagnosticsText.find("\n~/Pictures/a.png\tno access to ~/Pictures/a.png\n"),
            std::string::npos);
}

// A failed file or folder says why past its kind, in what needs no translation: failures that
// differ never read the same, and a message stored before the name was written still reads.
TEST(ScanFailureDiagnosticsPresentationTest, FailuresThatDifferNeverReadTheSame) {
  ImageLibraryScanSummary summary;
  for (const char* message :
       {"Unable to open file: Permission denied (EACCES)", "Unable to open file: Permission denied",
        "Unable to open: Not permitted (EPERM)", "Unable to read file: Input/output error (EIO)",
        "invalidChunk (iTXt)", "invalidChunk (IDAT)", "invalidSignature"}) {
    summary.failures.push_back(ImageLibraryScanFailure::classified("/p/a.png", message));
  }
  const auto en = AppLocalization::overTable(bundledLocalizationTable("en"), ".");
  const auto ja = AppLocalization::overTable(bundledLocalizationTable("ja"), ".");
  const auto rows = [&](const AppLocalization& localizer) {
    return ScanFailureDiagnosticsPresentation::make(summary, std::nullopt, localizer, {}).failureRows;
  };
  std::set<std::string> lines;
  for (const auto& row : rows(en)) lines.insert(row.message);
  EXPECT_EQ(lines.size(), summary.failures.size());
  EXPECT_EQ(rows(en)[0].message, "Permission denied — EACCES · a.png");
  EXPECT_EQ(rows(en)[1].message, "Permission denied — a.png");
  EXPECT_EQ(rows(en)[4].message, "The image’s metadata could not be read — invalidChunk iTXt · a.png");
  EXPECT_EQ(rows(ja)[0].message, "アクセスが許可されていません — EACCES · a.png");
  const RegisteredFolderSummary folder{
      .path = "/p/Pics",
      .displayName = "Pics",
      .lastError = "x",
      .lastErrorNotice = ErrorNotice{ErrorNoticeKind::folderUnreadable, {}, "EACCES"}};
  EXPECT_EQ(LibrarySidebarFolderRowPresentation::make(folder, en, {}).lastErrorText,
            "The folder cannot be read — EACCES · Pics");
}

// A folder the scan could not open is told as a folder, by its kind's text and its guidance, a path
// that names no regular file any more as that, and a file as a file: by the scan's own message.
TEST(ScanFailureDiagnosticsPresentationTest, AFolderIsToldAsAFolderAndAFileAsAFile) {
  const std::string cases[][3] = {
      {"Unable to open file: Permission denied (EACCES)", "error.permissionDenied", "permission"},
      {"Unable to read folder: Permission denied (EACCES)", "error.folder.accessDenied", "folder.permission"},
      {"Unable to read folder: No such file or directory (ENOENT)", "error.folder.missing", "folder.missing"},
      {"Unable to read folder: Too many levels of symbolic links (ELOOP)", "error.folder.unreadable",
       "folder.general"},
      {"The item is not a regular file", "error.file.notRegular", "notRegular"},
      {"Unable to open file: No such device or address (ENXIO)", "error.file.notRegular", "notRegular"},
  };
  ImageLibraryScanSummary summary;
  for (const auto& c : cases) summary.failures.push_back(ImageLibraryScanFailure::classified("/p/x", c[0]));
  const auto rows =
      ScanFailureDiagnosticsPresentation::make(summary, std::nullopt, testing::echoLocalization(), {})
          .failureRows;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_TRUE(rows[i].message.starts_with(cases[i][1] + " — ")) << rows[i].message;
    EXPECT_EQ(rows[i].guidance, "scanFailure.guidance." + cases[i][2]);
  }
}

// A folder the scan could not read is queued and counted like a file, but is told as a folder, in
// the sheet's summary and in the sidebar's line.
TEST(ScanFailureDiagnosticsPresentationTest, FoldersAreCountedApartFromFiles) {
  const auto folder =
      ImageLibraryScanFailure::classified("/p/locked", "Unable to read folder: Permission denied (EACCES)");
  const auto file = ImageLibraryScanFailure::classified("/p/a.png", "invalidSignature");
  const struct {
    ImageLibraryScanSummary summary;
    const char* summaryText;
    const char* countText;
  } cases[] = {
      {{12, 11, 1, {folder}},
       "1 folder could not be read, so the files in it were not checked. Images indexed: 11.",
       "1 folder could not be read"},
      {{12, 10, 2, {folder, file}},
       "Files not indexed: 1 of 11, and 1 folder could not be read. Images indexed: 10.",
       "2 files and folders could not be read"},
      {{12, 10, 2, {file, file}},
       "Files not indexed: 2 of 12. Images indexed: 10.",
       "2 files could not be read"},
  };
  const auto en = AppLocalization::overTable(bundledLocalizationTable("en"), ".");
  for (const auto& c : cases) {
    EXPECT_EQ(ScanFailureDiagnosticsPresentation::make(c.summary, std::nullopt, en, {}).summaryText,
              c.summaryText);
    EXPECT_EQ(ScanFailureDiagnosticsPresentation::makeFailureCountText(c.summary, en), c.countText);
  }
  const auto ja = AppLocalization::overTable(bundledLocalizationTable("ja"), ".");
  EXPECT_EQ(ScanFailureDiagnosticsPresentation::make(cases[1].summary, std::nullopt, ja, {}).summaryText,
            "スキャンしたファイル11件のうち1件と、フォルダ1件を読み込めませんでした（10枚を登録）。");
}

TEST(ScanFailureDiagnosticsPresentationTest, ContextEdges) {
  const ImageLibraryScanSummary empty{3, 3, 0, {}};
  const auto none =
      ScanFailureDiagnosticsPresentation::make(empty, std::nullopt, testing::echoLocalization(), {});
  EXPECT_EQ(none.diagnosticsText,
            "source=unknown\ncompletedAt=-\nroots=-\nchangedPathCount=-\nscanned=3\nindexed=3\nfailed="
            "0\nfailures:");
  EXPECT_EQ(none.contextText, "scanFailure.details.context(scanFailure.source.unknown)");
  EXPECT_EQ(none.rootPathsText, "scanFailure.details.roots(-)");
  EXPECT_FALSE(none.reauthorizationRootPath.has_value());
  EXPECT_TRUE(none.failureRows.empty());

  const ImageLibraryScanDiagnosticContext noRoots{Source::manualSync, {}, 4, 12.0};
  const auto bare = ScanFailureDiagnosticsPresentation::make(empty, noRoots, testing::echoLocalization(), {});
  EXPECT_EQ(
      bare.diagnosticsText,
      "source=manualSync\ncompletedAt=12.000\nroots=\nchangedPathCount=4\nscanned=3\nindexed=3\nfailed=0\n"
      "failures:");
  EXPECT_EQ(bare.rootPathsText, "scanFailure.details.roots(-)");
  EXPECT_EQ(bare.contextText, "scanFailure.details.context(scanFailure.source.manualSync)");

  const ImageLibraryScanDiagnosticContext changed{Source::backgroundChangedPaths, {"/a"}, 7, 0};
  EXPECT_EQ(ScanFailureDiagnosticsPresentation::makeContextLine(changed, testing::echoLocalization()),
            "scanFailure.source.backgroundChangedPaths(#7)");
}

TEST(ScanFailureDiagnosticsPresentationTest, CompletionTimeIgnoresTheProcessLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // a comma locale where installed; the text must not follow it
  EXPECT_EQ(formatSecondsWithMilliseconds(1234567.0625), "1234567.062");
  EXPECT_EQ(formatSecondsWithMilliseconds(-0.5), "-0.500");
  EXPECT_EQ(formatSecondsWithMilliseconds(1e15), "1000000000000000.000");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace lorvex::ui
