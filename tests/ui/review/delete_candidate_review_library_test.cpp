// The delete-candidate review end to end over the real service and a library in a temporary
// folder, with HOME and XDG_DATA_HOME on the images' file system (so the Trash is the test's own):
// marking shows the banner, Ctrl+Z takes the marks back in the library, the toolbar opens the
// review, three selected files reach the Trash with their info files, and a file rewritten after
// it was marked stays where it is and is listed with its reason, without a retry that would fail.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/scoped_environment_variable.h"
#include "store/library_store_composition.h"
#include "store/store_idle.h"
#include "support/temporary_folder.h"
#include "ui/common/header_action_button.h"
#include "ui/results/echo_localization.h"
#include "ui/review/delete_candidate_feedback_overlay.h"
#include "ui/review/delete_candidate_trash_review_sheet.h"
#include "ui/review/delete_candidate_trash_sidebar_toolbar.h"
#include "ui/review/delete_candidate_undo_key_filter.h"
#include "ui/review/trash_review_candidate_grid.h"
#include "ui/review/trash_summary_view.h"
#include "ui/support/store_view_models.h"
#include "ui/support/ui_test_application.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

namespace fs = std::filesystem;
using testing::findByName;

const AppLocalization& echo() {
  static const AppLocalization localizer = testing::echoLocalization();
  return localizer;
}

void writeImage(const fs::path& path, int size, const QColor& color) {
  QImage image(size, size, QImage::Format_RGB32);
  image.fill(color);
  image.setText("parameters",
                "cat, blue sky\nNegative prompt: blurry\nSteps: 20, Sampler: Euler a, CFG scale: 7, Seed: 1");
  ASSERT_TRUE(image.save(QString::fromStdString(path.string()), "PNG"));
}

class ReviewLibraryTest : public testing::WidgetTest {
 protected:
  void SetUp() override {
    pictures = root.path() / "pictures";
    fs::create_directories(pictures);
    for (int i = 0; i < 8; ++i) {
      const fs::path path = pictures / ("img-" + std::to_string(i) + ".png");
      writeImage(path, 16 + i, QColor::fromHsv(i * 40, 200, 200));
    }
    // The test's clock: the banner stays until the test dismisses it, however slow the machine.
    LibraryStoreRuntime runtime;
    runtime.clock = &clock;
    store = makeLibraryStoreInFolder(root.path() / "library", kFolderLibrarySettingsSuiteName, runtime);
    ASSERT_TRUE(QCoro::waitFor(store->library().prepareLiveServiceIfNeeded()));
    QCoro::waitFor(store->library().registerFolders({pictures.string()}));
    // Without monitoring, a file the test rewrites is not indexed again behind its back.
    store->library().backgroundSync().stopBackgroundLibrarySync();
    settle();
    ASSERT_FALSE(store->context().errorMessage().has_value()) << *store->context().errorMessage();
    ASSERT_EQ(store->results().resultWindow().records().size(), 8u);
  }
  void TearDown() override {
    if (store) {
      store->review().dismissDeleteCandidateFeedback();
      EXPECT_TRUE(waitUntilStoreIdle(*store, std::chrono::seconds(30)));
    }
  }

  void settle() {
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(waitUntilStoreIdle(*store, std::chrono::seconds(30)));
      testing::drainUiEvents();
    }
  }
  // The delete candidates as the library lists them now.
  std::set<std::string> markedInLibrary() {
    std::set<std::string> paths;
    for (const ImageRecord& record : store->context().service()->searchImages(
             store->trash().makeDeleteCandidateTrashReviewQuery(100, 0), {})) {
      paths.insert(record.file.path);
    }
    return paths;
  }
  void markFirstSix() {
    std::vector<RecordRef> six(store->results().resultWindow().records().begin(),
                               store->results().resultWindow().records().begin() + 6);
    store->review().setDeleteCandidate(six, true);
    // Not settle(): the banner's dismissal waits on the test's clock.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          return store->review().deleteCandidateFeedback().has_value() && !store->results().isLoading() &&
                 !store->trash().isTrashingDeleteCandidates();
        },
        30'000));
    testing::drainUiEvents();
  }
  // Delivered where the platform delivers a key press: the window's focus widget, else the window.
  bool pressCtrlZ(QWidget* window) {
    QWidget* receiver = window->focusWidget() != nullptr ? window->focusWidget() : window;
    QKeyEvent event(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier, "\x1a");
    QApplication::sendEvent(receiver, &event);
    return event.isAccepted();
  }
  QString label(QWidget& root, const char* name) { return testing::labelText(root, name); }
  void confirm() {
    ASSERT_NE(sheet->confirmation(), nullptr);
    findByName<QPushButton>(*sheet->confirmation(), "deleteCandidateReview.confirmation.destructiveAction")
        ->click();
    settle();
  }

  lorvex::testing::TemporaryFolder root;
  lorvex::testing::ScopedUserFolders userFolders{root.path() / "user"};
  fs::path pictures;
  FakeStoreClock clock;
  std::unique_ptr<ImageLibraryStore> store;
  DeleteCandidateTrashReviewSheet* sheet = nullptr;  // the test's window owns it
};

TEST_F(ReviewLibraryTest, MarkUndoReviewTrashAndRecover) {
  QWidget window;
  window.resize(1100, 800);
  int undos = 0;
  auto* overlay = new DeleteCandidateFeedbackOverlay(
      store->review(),
      [&] {
        ++undos;
        store->review().undoLastDeleteCandidateAction();
      },
      &window, &echo());
  // The window's undo rule, without the app's gates (nothing here presents a popover or preview).
  auto* undoKey = new DeleteCandidateUndoKeyFilter(&window);
  undoKey->setOnUndo([&] {
    if (!store->review().canUndoDeleteCandidateAction()) return false;
    store->review().undoLastDeleteCandidateAction();
    return true;
  });
  auto* toolbar = new DeleteCandidateTrashSidebarToolbar(
      store->context(), store->library(), [&] { presentDeleteCandidateTrashReview(store->trash()); }, &window,
      &echo());
  // Where the keyboard is in the window: the results grid, which takes no key it is not given.
  auto* results = new QWidget(&window);
  results->setFocusPolicy(Qt::StrongFocus);
  window.show();
  results->setFocus();

  // Marking six shows the banner with Undo; Ctrl+Z takes the marks back in the library.
  markFirstSix();
  ASSERT_EQ(markedInLibrary().size(), 6u);
  ASSERT_TRUE(overlay->isVisible());
  EXPECT_EQ(label(*overlay, "review.deleteCandidate.feedback.message"),
            "review.deleteCandidate.feedback.marked.other(#6)");
  EXPECT_TRUE(findByName<QPushButton>(*overlay, "review.deleteCandidate.feedback.undo")->isVisible());
  EXPECT_TRUE(pressCtrlZ(&window));
  settle();
  EXPECT_TRUE(markedInLibrary().empty());
  EXPECT_FALSE(overlay->isVisible());
  EXPECT_FALSE(pressCtrlZ(&window));  // nothing left to undo: the press goes on

  // Marked again; the close button dismisses the banner.
  markFirstSix();
  ASSERT_TRUE(overlay->isVisible());
  qobject_cast<QAbstractButton*>(findByName<QWidget>(*overlay, "common.close"))->click();
  testing::drainUiEvents();
  EXPECT_FALSE(overlay->isVisible());
  EXPECT_EQ(store->review().deleteCandidateFeedback(), std::nullopt);
  EXPECT_EQ(undos, 0);

  // The toolbar opens the review; the sheet lists the six.
  findByName<HeaderActionButton>(*toolbar, "deleteCandidateReview.toolbarAction")->click();
  settle();
  ASSERT_TRUE(store->presentation().isDeleteCandidateTrashReviewPresented());
  sheet = new DeleteCandidateTrashReviewSheet(testing::deleteCandidateTrashReviewModels(*store),
                                              ViewResourceDisplay{}, &window, &echo());
  sheet->open();
  settle();
  auto* grid = findByName<TrashReviewCandidateGrid>(*sheet, "deleteCandidateReview.candidateGrid");
  ASSERT_EQ(grid->model()->rowCount(), 6);
  // The tiles show the image files themselves (no thumbnails exist), decoded off the GUI thread.
  for (int row = 0; row < 6; ++row) {
    EXPECT_FALSE(
        grid->model()->index(row, 0).data(TrashReviewCandidateModel::ImageRole).value<QImage>().isNull())
        << row;
  }

  // Three selected and moved.
  std::vector<std::string> chosen;
  for (int row : {0, 2, 4}) {
    chosen.push_back(
        grid->model()->index(row, 0).data(TrashReviewCandidateModel::PathRole).toString().toStdString());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(row, 0)).center());
  }
  testing::drainUiEvents();
  findByName<QPushButton>(*sheet, "deleteCandidateReview.action.trashSelected")->click();
  ASSERT_NE(sheet->confirmation(), nullptr);
  EXPECT_EQ(sheet->confirmation()->informativeText(),
            "deleteCandidateReview.confirmation.message.selected.other(#3)");
  confirm();
  const fs::path trash = root.path() / "user" / "data" / "Trash";
  for (const std::string& path : chosen) {
    const std::string name = fs::path(path).filename().string();
    EXPECT_FALSE(fs::exists(path)) << path;
    EXPECT_TRUE(fs::exists(trash / "files" / name)) << name;
    std::ifstream info(trash / "info" / (name + ".trashinfo"));
    const std::string text((std::istreambuf_iterator<char>(info)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("[Trash Info]"), std::string::npos) << name;
    EXPECT_NE(text.find("Path=" + path + "\n"), std::string::npos) << text;
  }
  EXPECT_EQ(label(*sheet, "deleteCandidateReview.summary.headline"),
            "deleteCandidateReview.summary.moved(#3,#3)");
  ASSERT_EQ(grid->model()->rowCount(), 3);

  // One of the three left is rewritten after it was marked: moving all loaded leaves it in place.
  const std::string changed =
      grid->model()->index(1, 0).data(TrashReviewCandidateModel::PathRole).toString().toStdString();
  std::vector<std::string> others;
  for (int row : {0, 2}) {
    others.push_back(
        grid->model()->index(row, 0).data(TrashReviewCandidateModel::PathRole).toString().toStdString());
  }
  writeImage(changed, 64, Qt::black);
  fs::last_write_time(changed, fs::last_write_time(changed) + std::chrono::seconds(5));
  findByName<QPushButton>(*sheet, "deleteCandidateReview.action.trashLoaded")->click();
  ASSERT_NE(sheet->confirmation(), nullptr);
  EXPECT_EQ(sheet->confirmation()->informativeText(),
            "deleteCandidateReview.confirmation.message.loaded.other(#3)");
  confirm();
  EXPECT_TRUE(fs::exists(changed));
  for (const std::string& path : others) EXPECT_FALSE(fs::exists(path)) << path;
  ASSERT_TRUE(store->trash().lastTrashSummary().has_value());
  const ImageTrashSummary summary = *store->trash().lastTrashSummary();
  ASSERT_EQ(summary.failures.size(), 1u);
  EXPECT_EQ(summary.failures[0].reason, ImageTrashFailureReason::fileChangedSinceReview);
  EXPECT_EQ(label(*sheet, "deleteCandidateReview.summary.headline"),
            "deleteCandidateReview.summary.movedWithFailures(#2,#3,#1)");
  EXPECT_EQ(
      findByName<QLabel>(*sheet, "deleteCandidateReview.summary.failure.0")->accessibleName().toStdString(),
      fs::path(changed).filename().string() + ": deleteCandidateReview.failure.fileChangedSinceReview");

  // Details: the recovery sheet lists it; the report goes to the clipboard as it is.
  findByName<QPushButton>(*sheet, "deleteCandidateReview.recovery.details")->click();
  testing::drainUiEvents();
  auto* recovery = findByName<QDialog>(window, "deleteCandidateReview.recovery");
  ASSERT_NE(recovery, nullptr);
  ASSERT_TRUE(recovery->isVisible());
  auto* failures = findByName<QListView>(*recovery, "deleteCandidateReview.recovery.failures");
  ASSERT_NE(failures, nullptr);
  ASSERT_EQ(failures->model()->rowCount(), 1);
  const QModelIndex row = failures->model()->index(0, 0);
  EXPECT_EQ(row.data(TrashFailureRecoveryListModel::IdentifierRole).toString().toStdString(),
            "deleteCandidateReview.recovery.row.0-" + changed);
  EXPECT_EQ(row.data(TrashFailureRecoveryListModel::MessageRole).toString(),
            "deleteCandidateReview.failure.fileChangedSinceReview");
  findByName<QPushButton>(*recovery, "deleteCandidateReview.recovery.copyDiagnostics")->click();
  std::string expected =
      "Lorvex Trash Failure Diagnostics\nrequested=3\ntrashed=2\nfailed=1\n\nTrashed paths:\n";
  for (const std::string& path : summary.trashedPaths) expected += path + "\n";
  expected += "\nFailures:\n" + changed + "\t" + summary.failures[0].message;
  EXPECT_EQ(std::set<std::string>(summary.trashedPaths.begin(), summary.trashedPaths.end()),
            std::set<std::string>(others.begin(), others.end()));
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected);

  // A file refused as changed would be refused again: no retry is offered for it.
  EXPECT_FALSE(findByName<QPushButton>(*recovery, "deleteCandidateReview.recovery.retryFailed")->isEnabled());
  EXPECT_FALSE(findByName<QPushButton>(*sheet, "deleteCandidateReview.recovery.retryFailed")->isEnabled());
  EXPECT_TRUE(fs::exists(changed));
}

}  // namespace
}  // namespace lorvex::ui
