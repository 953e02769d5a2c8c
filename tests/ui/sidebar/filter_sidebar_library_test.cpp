// The sidebar's library section and its confirmations: what the section shows per library state,
// the header and folder menus, the unregister and sync dialogs (confirmed, cancelled, Escaped,
// Return), the scan-failure sheet and the Trash review sheet, with the store calls each makes.
#include <QCheckBox>
#include <QClipboard>
#include <QListView>
#include <QMessageBox>
#include <QTest>
#include <QToolButton>

#include "services/image_library_service_error.h"
#include "sidebar_widget_fixture.h"
#include "store/library/library_model_test_access.h"
#include "store/results/results_model_test_access.h"
#include "store/trash/trash_model_test_access.h"
#include "support/library_file_name.h"
#include "ui/common/accessibility_identifiers.h"
#include "ui/common/localization_table.h"
#include "ui/common/selectable_wrapped_text.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/sidebar/indexing_progress_card.h"
#include "ui/sidebar/library_section_widgets.h"
#include "ui/sidebar/scan_failure_sheet.h"
#include "ui/sidebar/sidebar_menus.h"

namespace lorvex::ui::testing {
namespace {

using State = RegisteredFolderAccessState;

QMenu& headerMenu(FilterSidebar& sidebar) {
  return *findByName<QToolButton>(sidebar, "sidebar.library.actions")->menu();
}

QMenu& folderMenu(FilterSidebar& sidebar, const std::string& path) {
  auto* button = findByName<QToolButton>(
      sidebar, QString::fromStdString(accessibility_id::registeredFolderActionsIdentifier(path)));
  EXPECT_NE(button, nullptr) << path;
  return *button->menu();
}

class FilterSidebarLibraryTest : public SidebarWidgetTest {};

TEST_F(FilterSidebarLibraryTest, EmptyLibraryOffersItsAddButton) {
  makeSidebar();
  auto* summary = find<LibrarySummaryRow>("sidebar.library.summary");
  ASSERT_NE(summary, nullptr);
  EXPECT_EQ(summary->leadingText(), "library.noRegisteredFolders");
  auto* add = find<QPushButton>("sidebar.library.addFolder");
  ASSERT_NE(add, nullptr);
  EXPECT_TRUE(add->isVisible());
  add->click();
  EXPECT_EQ(importerOpened, 1);
  EXPECT_EQ(menuItems(headerMenu(*sidebar)),
            (std::vector<std::string>{"[library.sourceManagement]", "library.addFolder:on",
                                      "library.syncRegisteredFolders.action:off"}));

  LibraryModelTestAccess::setIsLibrarySyncInProgress(store->library(),
                                                     true);  // no folder while a sync runs: the summary alone
  settle();
  EXPECT_FALSE(add->isVisible());
  EXPECT_EQ(summary->leadingText(), "library.checkingImages");
}

TEST_F(FilterSidebarLibraryTest, SingleFolderMenuAndSyncRules) {
  makeSidebar();
  setFolders({folder("/pics/a")});
  EXPECT_FALSE(find<QPushButton>("sidebar.library.addFolder")->isVisible());
  EXPECT_EQ(find<LibrarySummaryRow>("sidebar.library.summary")->trailingText(),
            "library.imageCount.other(3)");
  EXPECT_EQ(menuItems(headerMenu(*sidebar)),
            (std::vector<std::string>{"[library.sourceManagement]", "library.addFolder:on",
                                      "library.syncRegisteredFolders.action:on", "-",
                                      "common.openInFinder:on", "library.unregister.action:on"}));
  menuAction(headerMenu(*sidebar), "common.openInFinder")->trigger();
  EXPECT_EQ(revealer.revealedPaths(), (std::vector<std::string>{"/pics/a"}));

  ResultsModelTestAccess::setIsLoading(store->results(), true);  // a page loads: only the syncs go off
  settle();
  EXPECT_EQ(menuItems(headerMenu(*sidebar))[2], "library.syncRegisteredFolders.action:off");
  EXPECT_EQ(menuItems(folderMenu(*sidebar, "/pics/a"))[0], "library.syncRegisteredFolder.action:off");
  ResultsModelTestAccess::setIsLoading(store->results(), false);
  setFolders({folder("/pics/a", State::missing), folder("/pics/b", State::accessDenied)});
  EXPECT_EQ(menuItems(headerMenu(*sidebar)),
            (std::vector<std::string>{"[library.sourceManagement]", "library.addFolder:on",
                                      "library.syncRegisteredFolders.action:off"}));
  EXPECT_EQ(menuItems(folderMenu(*sidebar, "/pics/b")),
            (std::vector<std::string>{"library.syncRegisteredFolder.action:off", "common.openInFinder:off",
                                      "library.allowAccess:on", "-", "library.unregister.action:on"}));
  auto* allowAccess = find<QPushButton>("sidebar.library.allowAccess");
  ASSERT_TRUE(allowAccess->isVisible());
  allowAccess->click();
  EXPECT_EQ(reauthorized, (std::vector<std::string>{"/pics/b"}));
}

TEST_F(FilterSidebarLibraryTest, CollapsedSectionShowsOnlyItsHeader) {
  makeSidebar();
  setFolders({folder("/pics/a")});
  auto* toggle = find<QToolButton>("sidebar.library.sectionToggle");
  ASSERT_NE(toggle, nullptr);
  toggle->click();
  settle();
  EXPECT_FALSE(store->presentation().isLibrarySectionExpanded());
  EXPECT_FALSE(find<LibrarySummaryRow>("sidebar.library.summary")->isVisible());
  EXPECT_EQ(toggle->accessibleName(), "library.expand");
  EXPECT_EQ(toggle->property("chevronSymbol").toString(), "chevron.right");
  toggle->click();
  settle();
  EXPECT_TRUE(find<LibrarySummaryRow>("sidebar.library.summary")->isVisible());
  EXPECT_EQ(toggle->accessibleName(), "library.collapse");
}

// Each way of finishing the unregister dialog, with the store calls it makes.
TEST_F(FilterSidebarLibraryTest, UnregisterDialogConfirmedCancelledEscapedOrReturned) {
  const struct {
    const char* name;
    std::function<void(QMessageBox&)> finish;
    std::size_t unregisterCalls;
  } cases[] = {
      {"confirmed", [](QMessageBox& box) { box.findChild<QPushButton*>("confirm")->click(); }, 1},
      {"cancelled", [](QMessageBox& box) { box.findChild<QPushButton*>("cancel")->click(); }, 0},
      {"Escape", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, 0},
      {"Return lands on Cancel", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, 0},
  };
  for (const auto& c : cases) {
    harness.service->setRegisteredFolderSummaries({});
    makeSidebar();
    setFolders({folder("/pics/a"), folder("/pics/b")});
    const std::size_t before = callCount("unregisterFolder");
    menuAction(folderMenu(*sidebar, "/pics/b"), "library.unregister.action")->trigger();
    settle();
    QMessageBox* box = sidebar->unregisterDialog();
    ASSERT_NE(box, nullptr) << c.name;
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->text(), "library.unregister.title");
    EXPECT_EQ(box->informativeText(), "library.unregister.message");
    c.finish(*box);
    settle();
    EXPECT_EQ(callCount("unregisterFolder") - before, c.unregisterCalls) << c.name;
    if (c.unregisterCalls == 1) {
      EXPECT_EQ(harness.service->calls("unregisterFolder").back().paths[0], "/pics/b");
    }
    EXPECT_FALSE(sidebar->requests().unregisterConfirmationPath()) << c.name;
    EXPECT_EQ(sidebar->unregisterDialog(), nullptr) << c.name;
  }
}

TEST_F(FilterSidebarLibraryTest, UnregisterConfirmedAfterASyncStartedDoesNothing) {
  makeSidebar();
  setFolders({folder("/pics/a")});
  menuAction(headerMenu(*sidebar), "library.unregister.action")->trigger();
  settle();
  ASSERT_NE(sidebar->unregisterDialog(), nullptr);
  LibraryModelTestAccess::setIsLibrarySyncInProgress(store->library(), true);
  sidebar->unregisterDialog()->findChild<QPushButton*>("confirm")->click();
  settle();
  EXPECT_EQ(callCount("unregisterFolder"), 0u);
  EXPECT_EQ(sidebar->unregisterDialog(), nullptr);

  // The header's single-folder item is ignored outright while the sync runs.
  menuAction(headerMenu(*sidebar), "library.unregister.action")->trigger();
  settle();
  EXPECT_EQ(sidebar->unregisterDialog(), nullptr);
}

TEST_F(FilterSidebarLibraryTest, SyncDialogConfirmedCancelledEscapedOrReturned) {
  const struct {
    const char* name;
    std::function<void(QMessageBox&)> finish;
    std::size_t syncCalls;
  } cases[] = {
      {"confirmed", [](QMessageBox& box) { box.findChild<QPushButton*>("confirm")->click(); }, 1},
      {"Return confirms", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, 1},
      {"cancelled", [](QMessageBox& box) { box.findChild<QPushButton*>("cancel")->click(); }, 0},
      {"Escape", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, 0},
  };
  for (const auto& c : cases) {
    makeSidebar();
    setFolders({folder("/pics/a"), folder("/pics/b")});
    const std::size_t before = callCount("syncRegisteredFolder");
    menuAction(folderMenu(*sidebar, "/pics/a"), "library.syncRegisteredFolder.action")->trigger();
    settle();
    QMessageBox* box = sidebar->syncDialog();
    ASSERT_NE(box, nullptr) << c.name;
    EXPECT_EQ(box->text(), "library.syncRegisteredFolder.title");
    EXPECT_EQ(box->informativeText(), "library.syncRegisteredFolder.message");
    c.finish(*box);
    settle();
    EXPECT_EQ(callCount("syncRegisteredFolder") - before, c.syncCalls) << c.name;
    if (c.syncCalls == 1) {
      EXPECT_EQ(harness.service->calls("syncRegisteredFolder").back().paths[0], "/pics/a");
    }
    EXPECT_FALSE(sidebar->requests().pendingRegisteredFolderSync()) << c.name;
  }
}

TEST_F(FilterSidebarLibraryTest, FailedFilesOpenTheSheetWhoseRescanAsksForAllFolders) {
  makeSidebar();
  setFolders({folder("/pics/a")});
  EXPECT_FALSE(find<QPushButton>("sidebar.library.failedFiles")->isVisible());
  LibraryModelTestAccess::setLastScanSummary(
      store->library(),
      ImageLibraryScanSummary{
          5,
          3,
          2,
          {{"/pics/a/x.png", "permission denied", ImageLibraryScanFailure::Kind::permission},
           {"/pics/a/y.png", "gone", ImageLibraryScanFailure::Kind::missing}}});
  LibraryModelTestAccess::setLastScanDiagnosticContext(
      store->library(), ImageLibraryScanDiagnosticContext{
                            ImageLibraryScanDiagnosticSource::manualSync, {"/pics/a"}, std::nullopt, 1});
  settle();
  auto* failed = find<QPushButton>("sidebar.library.failedFiles");
  ASSERT_TRUE(failed->isVisible());
  EXPECT_EQ(failed->text(), "library.failedFileCount.other(#2)");
  failed->click();
  settle();
  ScanFailureDiagnosticsSheet* sheet = sidebar->scanFailureSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->objectName(), "scanFailure.sheet");
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(sheet->width(), 680);
  EXPECT_EQ(sheet->failureList()->model()->rowCount(), 2);
  EXPECT_TRUE(sheet->offersReveal(0));
  EXPECT_FALSE(sheet->offersReveal(1));  // a missing file has nothing to reveal
  EXPECT_TRUE(sheet->findChild<QPushButton*>("scanFailure.reauthorize")->isEnabled());

  sheet->findChild<QPushButton*>("scanFailure.rescan")->click();
  settle();
  EXPECT_EQ(sidebar->scanFailureSheet(), nullptr);
  QMessageBox* box = sidebar->syncDialog();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "library.syncRegisteredFolders.title");
  box->findChild<QPushButton*>("confirm")->click();
  settle();
  EXPECT_EQ(callCount("restoreFolderAccess"), 1u);  // one sync of all folders starts
}

TEST_F(FilterSidebarLibraryTest, ScanFailureSheetReauthorisesTheRootAfterClosing) {
  makeSidebar();
  LibraryModelTestAccess::setLastScanSummary(
      store->library(),
      ImageLibraryScanSummary{
          1, 0, 1, {{"/pics/a/sub/x.png", "permission denied", ImageLibraryScanFailure::Kind::permission}}});
  LibraryModelTestAccess::setLastScanDiagnosticContext(
      store->library(),
      ImageLibraryScanDiagnosticContext{
          ImageLibraryScanDiagnosticSource::folderRegistration, {"/pics/a", "/pics/a/sub"}, std::nullopt, 1});
  settle();
  find<QPushButton>("sidebar.library.failedFiles")->click();
  settle();
  ASSERT_NE(sidebar->scanFailureSheet(), nullptr);
  sidebar->scanFailureSheet()->findChild<QPushButton*>("scanFailure.reauthorize")->click();
  settle();
  EXPECT_EQ(sidebar->scanFailureSheet(), nullptr);
  EXPECT_EQ(reauthorized, (std::vector<std::string>{"/pics/a/sub"}));

  find<QPushButton>("sidebar.library.failedFiles")->click();
  settle();
  QTest::keyClick(sidebar->scanFailureSheet(), Qt::Key_Escape);  // closes without calling anything
  settle();
  EXPECT_EQ(sidebar->scanFailureSheet(), nullptr);
  EXPECT_EQ(reauthorized.size(), 1u);
  EXPECT_FALSE(sidebar->requests().pendingRegisteredFolderSync());
}

TEST_F(FilterSidebarLibraryTest, TrashReviewSheetFollowsTheFlagAndAUserCloseDismissesOnce) {
  makeSidebar();
  find<QPushButton>("test.trashToolbar")->click();
  settle();
  EXPECT_TRUE(store->presentation().isDeleteCandidateTrashReviewPresented());
  QDialog* sheet = sidebar->trashReviewSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
  sheet->reject();
  settle();
  EXPECT_FALSE(store->presentation().isDeleteCandidateTrashReviewPresented());
  EXPECT_EQ(sidebar->trashReviewSheet(), nullptr);

  store->presentation().setIsDeleteCandidateTrashReviewPresented(true);
  settle();
  ASSERT_NE(sidebar->trashReviewSheet(), nullptr);
  store->trash().dismissDeleteCandidateTrashReview();  // the store closes it
  settle();
  EXPECT_EQ(sidebar->trashReviewSheet(), nullptr);
  EXPECT_EQ(reviewSheetsMade, 2);
}

TEST_F(FilterSidebarLibraryTest, ErrorLineShowsTheStoresMessage) {
  makeSidebar();
  auto* error = find<SelectableWrappedText>("sidebar.error");
  ASSERT_NE(error, nullptr);
  EXPECT_FALSE(error->isVisible());
  TrashModelTestAccess::setLastTrashSummary(
      store->trash(),
      ImageTrashSummary{1, {}, {{"/a.png", "busy", ImageTrashFailureReason::underlyingError, std::nullopt}}});
  store->context().setErrorMessage(std::string(TrashModel::kTrashFailureMessage));
  settle();
  EXPECT_TRUE(error->isVisible());
  EXPECT_EQ(error->text(), "deleteCandidateReview.summary.operationFailed");
  // A text the store got without a kind is never shown as it is.
  store->context().setErrorMessage("登録できませんでした");
  settle();
  EXPECT_EQ(error->text(), "error.unexpected");
}

// As a person meets it in an English window: the library's failures arrive with its own Japanese
// texts, and the error line and the folder row say them in English.
TEST_F(FilterSidebarLibraryTest, AnEnglishWindowTellsTheLibrarysFailuresInEnglish) {
  localizer = AppLocalization::overTable(bundledLocalizationTable(kEnglishLanguage), ".");
  makeSidebar();
  auto gone = folder("/pics/gone", State::missing);
  gone.lastError = "フォルダが見つかりません。";
  gone.lastErrorNotice = ErrorNotice{ErrorNoticeKind::folderMissing, {}};
  setFolders({folder("/pics/a"), gone});
  harness.service->setAnswer("syncRegisteredFolder", [](const lorvex::testing::ServiceCall&) -> std::any {
    throw ImageLibraryServiceError::registeredFolderUnavailable("/pics/a");
  });

  menuAction(folderMenu(*sidebar, "/pics/a"), "Sync Folder")->trigger();
  settle();
  ASSERT_NE(sidebar->syncDialog(), nullptr);
  sidebar->syncDialog()->findChild<QPushButton*>("confirm")->click();
  settle();

  ASSERT_EQ(callCount("syncRegisteredFolder"), 1u);
  EXPECT_EQ(store->context().errorMessage(),
            "登録フォルダにアクセスできません: /pics/a");  // kept for the logs
  auto* error = find<SelectableWrappedText>("sidebar.error");
  ASSERT_NE(error, nullptr);
  EXPECT_TRUE(error->isVisible());
  EXPECT_FALSE(error->geometry().isEmpty());
  EXPECT_EQ(error->text().toStdString(), "The registered folder cannot be accessed: /pics/a");

  // The missing folder's row says so in English with its name, and no Japanese text is on screen.
  std::vector<std::string> rowErrors;
  for (const WrappedTextLabel* line : sidebar->findChildren<WrappedTextLabel*>()) {
    if (line->isVisible() && line->text() == "Folder not found — gone")
      rowErrors.push_back(line->text().toStdString());
    EXPECT_FALSE(line->isVisible() && line->text().contains(QString::fromUtf8("見つかりません")));
  }
  for (const QLabel* label : sidebar->findChildren<QLabel*>()) {
    EXPECT_FALSE(label->isVisible() && label->text().contains(QString::fromUtf8("見つかりません")));
  }
  EXPECT_EQ(rowErrors.size(), 1u);
}

TEST_F(FilterSidebarLibraryTest, ALibrarySetAsideAtLaunchIsToldUnderTheLibrarySection) {
  makeSidebar();
  auto* notice = find<SelectableWrappedText>("sidebar.libraryRecoveryNotice");
  ASSERT_NE(notice, nullptr);
  EXPECT_FALSE(notice->isVisible());
  const std::string setAside = lorvex::testing::libraryFileName(".pre-v4-v4-1700000000");
  LibraryModelTestAccess::setLibraryRecoveryNotice(
      store->library(),
      LibraryRecoveryNotice{LibraryRecoveryNotice::Kind::damagedLibraryRebuilt, setAside, 3});
  settle();
  ASSERT_TRUE(notice->isVisible());
  EXPECT_EQ(notice->text().toStdString(), "library.recovery.damaged.other(" + setAside + ",3)");
  // On screen, whole, between the library section and the filters.
  const QRect shown(notice->mapTo(sidebar.get(), QPoint(0, 0)), notice->size());
  EXPECT_TRUE(sidebar->rect().contains(shown));
  EXPECT_GE(notice->height(), notice->heightForWidth(notice->width()));
  EXPECT_LT(shown.top(),
            find<QWidget>("sidebar.filter.favoriteOnly")->mapTo(sidebar.get(), QPoint(0, 0)).y());
}

TEST_F(FilterSidebarLibraryTest, CopyPutsTheReportOnTheClipboardOnce) {
  makeSidebar();
  LibraryModelTestAccess::setLastScanSummary(
      store->library(),
      ImageLibraryScanSummary{2, 1, 1, {{"/a/x.png", "bad", ImageLibraryScanFailure::Kind::metadata}}});
  settle();
  find<QPushButton>("sidebar.library.failedFiles")->click();
  settle();
  ScanFailureDiagnosticsSheet* sheet = sidebar->scanFailureSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_FALSE(sheet->findChild<QPushButton*>("scanFailure.reauthorize")->isEnabled());  // no root
  auto* copy = sheet->findChild<QPushButton*>("scanFailure.copy");
  copy->click();
  copy->click();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), sheet->presentation()->diagnosticsText);
  EXPECT_EQ(sidebar->scanFailureSheet(), sheet);  // copy leaves the sheet open
}

TEST_F(FilterSidebarLibraryTest, IndexingCardFollowsTheStore) {
  makeSidebar();
  IndexingProgressCard card(store->library(), localizer);
  EXPECT_EQ(card.objectName(), "indexing.card");
  EXPECT_EQ(card.message(), "indexing.preparingDatabase");
  LibraryModelTestAccess::setIsIndexing(store->library(), true);
  EXPECT_EQ(card.message(), "indexing.inProgress");
  LibraryModelTestAccess::setIndexingProgress(
      store->library(),
      ImageLibraryIndexingProgress{ImageLibraryIndexingPhase::discovering, 0, 1520, 0, 0, {}});
  EXPECT_EQ(card.message(), "indexing.checkingFiles(#1520)");
  LibraryModelTestAccess::setIsPreparingLibrary(store->library(), true);
  EXPECT_EQ(card.message(), "indexing.preparingDatabase");
  card.adjustSize();
  EXPECT_EQ(card.width(), 320);  // narrower content still makes a card 320 wide
}

}  // namespace
}  // namespace lorvex::ui::testing
