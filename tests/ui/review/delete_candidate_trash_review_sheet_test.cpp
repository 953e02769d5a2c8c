// The Trash review sheet, its toolbar and the feedback banner over a store on the scripted service:
// what each shows for the store's state, and the guards that keep files where they are: a move
// while the list loads, a second confirmation, a sheet closed meanwhile, and every way of closing
// the sheet while a move runs.
#include "ui/review/delete_candidate_trash_review_sheet.h"

#include <gtest/gtest.h>

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/library/library_model_test_access.h"
#include "store/review/review_model_test_access.h"
#include "store/support/store_harness.h"
#include "store/trash/trash_model_test_access.h"
#include "ui/common/header_action_button.h"
#include "ui/common/localization_table.h"
#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/results/echo_localization.h"
#include "ui/review/delete_candidate_feedback_overlay.h"
#include "ui/review/delete_candidate_trash_sidebar_toolbar.h"
#include "ui/review/trash_review_candidate_grid.h"
#include "ui/review/trash_summary_view.h"
#include "ui/support/drawn_texts.h"
#include "ui/support/painted_region_recorder.h"
#include "ui/support/recording_paint_device.h"
#include "ui/support/store_view_models.h"
#include "ui/support/ui_test_application.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

using lorvex::testing::StoreHarness;
using lorvex::testing::StoreOptions;
using testing::findByName;

const AppLocalization& echo() {
  static const AppLocalization localizer = testing::echoLocalization();
  return localizer;
}

constexpr const char* kMove = "moveDeleteCandidatesToTrash";

// `count` delete candidates under /library, the review open on them and its sheet shown.
class ReviewSheetTest : public testing::WidgetTest {
 protected:
  void SetUp() override {
    auto records = lorvex::testing::makeLibraryRecords(5);
    for (std::size_t i = 0; i < records.size(); ++i) records[i].reviewState.deleteCandidate = i < 4;
    harness.service->setRecords(records);
    store = harness.makeStore();
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {"/library"});
  }
  void TearDown() override {
    sheet.reset();
    harness.service->shutDown();
    harness.drainEvents();
  }

  void openReview(bool waitForLoad = true, const AppLocalization* localizer = &echo()) {
    presentDeleteCandidateTrashReview(store->trash());
    if (waitForLoad) settle();
    sheet = std::make_unique<DeleteCandidateTrashReviewSheet>(
        testing::deleteCandidateTrashReviewModels(*store), ViewResourceDisplay{}, nullptr, localizer);
    sheet->open();
    settle();
  }
  void settle() {
    harness.drainEvents();
    testing::drainUiEvents();
  }
  QPushButton* button(const char* name) { return findByName<QPushButton>(*sheet, name); }
  QString label(const char* name) { return testing::labelText(*sheet, name); }
  TrashReviewCandidateGrid* grid() {
    return findByName<TrashReviewCandidateGrid>(*sheet, "deleteCandidateReview.candidateGrid");
  }
  void clickTile(int row) {
    const QRect tile = grid()->visualRect(grid()->model()->index(row, 0));
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, tile.center());
    settle();
  }
  QMessageBox* confirmation() { return sheet->confirmation(); }
  void confirm() {
    ASSERT_NE(confirmation(), nullptr);
    findByName<QPushButton>(*confirmation(), "deleteCandidateReview.confirmation.destructiveAction")->click();
  }
  std::size_t moves() const { return harness.service->calls(kMove).size(); }

  StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
  std::unique_ptr<DeleteCandidateTrashReviewSheet> sheet;
};

TEST_F(ReviewSheetTest, TilesSelectionCountsAndTheConfirmedMove) {
  openReview();
  ASSERT_EQ(grid()->model()->rowCount(), 4);
  EXPECT_EQ(label("deleteCandidateReview.trashScope.loaded"),
            "deleteCandidateReview.trashScope.loaded.other(#4)");
  EXPECT_EQ(label("deleteCandidateReview.action.trashSelected.disabledReason"),
            "deleteCandidateReview.disabledReason.noSelection");
  EXPECT_FALSE(button("deleteCandidateReview.action.trashSelected")->isEnabled());
  EXPECT_FALSE(button("deleteCandidateReview.clearSelection")->isEnabled());

  clickTile(1);
  clickTile(3);
  clickTile(3);  // a second click takes the tile back out
  EXPECT_EQ(store->trash().trashReviewBrowser().selectedPaths(), PathSet{"/library/1.png"});
  grid()->setFocus();
  grid()->setCurrentIndex(grid()->model()->index(2, 0));
  QTest::keyClick(grid(), Qt::Key_Space);
  settle();
  EXPECT_EQ(store->trash().trashReviewBrowser().selectedPaths(),
            (PathSet{"/library/1.png", "/library/2.png"}));
  EXPECT_EQ(grid()->model()->index(1, 0).data(Qt::AccessibleTextRole).toString(),
            "deleteCandidateReview.candidate.selected(1.png)");
  EXPECT_EQ(grid()->model()->index(0, 0).data(Qt::AccessibleDescriptionRole).toString(),
            "deleteCandidateReview.selection.unselected");
  EXPECT_EQ(label("deleteCandidateReview.trashScope.selected"),
            "deleteCandidateReview.trashScope.selected.other(#2)");
  EXPECT_EQ(label("deleteCandidateReview.footerSummary"), "deleteCandidateReview.footerSummary(#4,#2)");
  EXPECT_FALSE(
      findByName<QLabel>(*sheet, "deleteCandidateReview.action.trashSelected.disabledReason")->isVisible());

  // A double click on the button asks once.
  button("deleteCandidateReview.action.trashSelected")->click();
  button("deleteCandidateReview.action.trashSelected")->click();
  settle();
  ASSERT_NE(confirmation(), nullptr);
  EXPECT_EQ(sheet->findChildren<QMessageBox*>().size(), 1);
  EXPECT_EQ(confirmation()->informativeText(),
            "deleteCandidateReview.confirmation.message.selected.other(#2)");
  EXPECT_EQ(moves(), 0u);  // nothing moves before the confirmation
  // The destructive button pressed twice (a double click): one move.
  auto* destructive =
      findByName<QPushButton>(*confirmation(), "deleteCandidateReview.confirmation.destructiveAction");
  destructive->click();
  destructive->click();
  settle();
  ASSERT_EQ(moves(), 1u);
  EXPECT_EQ(harness.service->calls(kMove)[0].paths,
            (std::vector<std::string>{"/library/1.png", "/library/2.png"}));
  EXPECT_FALSE(sheet->confirmationFlowForTest().isPendingForTest());
  EXPECT_EQ(grid()->model()->rowCount(), 2);
  EXPECT_EQ(label("deleteCandidateReview.summary.headline"), "deleteCandidateReview.summary.moved(#2,#2)");
  EXPECT_FALSE(findByName<QWidget>(*sheet, "deleteCandidateReview.recovery.details")->isVisible());
}

// A tile whose image alone changed (it was decoded) repaints its image area only, so its texts are
// not laid out again; any other change of a tile repaints all of it.
TEST_F(ReviewSheetTest, ANewImageRepaintsOnlyItsTilesImageArea) {
  openReview();
  TrashReviewCandidateGrid* tiles = grid();
  ASSERT_GE(tiles->model()->rowCount(), 2);
  const QModelIndex index = tiles->model()->index(1, 0);
  const QRect cell = tiles->visualRect(index);
  const QRect imageArea = TrashReviewTileDelegate::imageArea(cell).toAlignedRect();
  const struct {
    std::string name;
    QList<int> roles;
    bool wholeTile;
  } cases[] = {
      {"its image", {TrashReviewCandidateModel::ImageRole}, false},
      {"its selection", {TrashReviewCandidateModel::SelectedRole}, true},
      {"its image and its selection",
       {TrashReviewCandidateModel::ImageRole, TrashReviewCandidateModel::SelectedRole},
       true},
      {"anything", {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::PaintedRegionRecorder recorder;
    tiles->viewport()->installEventFilter(&recorder);
    Q_EMIT tiles->model()->dataChanged(index, index, c.roles);
    settle();
    tiles->viewport()->removeEventFilter(&recorder);
    EXPECT_TRUE((QRegion(imageArea) - recorder.painted).isEmpty());
    EXPECT_EQ((QRegion(cell) - recorder.painted).isEmpty(), c.wholeTile);
    if (!c.wholeTile) {
      EXPECT_TRUE((recorder.painted - imageArea).isEmpty());
    }
  }
}

// Records the paths drawn and the pictures copied.
class PathRecordingEngine : public QPaintEngine {
 public:
  PathRecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
  bool begin(QPaintDevice*) override { return true; }
  bool end() override { return true; }
  void updateState(const QPaintEngineState&) override {}
  void drawPath(const QPainterPath& path) override { paths.push_back(path.boundingRect().toAlignedRect()); }
  void drawPixmap(const QRectF& target, const QPixmap&, const QRectF&) override {
    copies.push_back(target.toAlignedRect());
  }
  void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
  Type type() const override { return QPaintEngine::User; }
  std::vector<QRect> paths;
  std::vector<QRect> copies;
};

// A tile's fills and outlines are drawn once per look and copied into every tile of that look:
// drawn on the view they would be rasterized again for each tile.
TEST_F(ReviewSheetTest, TilesOfOneLookAreCopiesOfOnePicture) {
  openReview();
  TrashReviewCandidateGrid* tiles = grid();
  ASSERT_GE(tiles->model()->rowCount(), 3);
  const struct {
    std::string name;
    std::function<void()> change;
  } cases[] = {
      {"none selected", [] {}},
      {"one selected", [&] { clickTile(1); }},
      {"one focused",
       [&] {
         tiles->setFocus();
         tiles->setCurrentIndex(tiles->model()->index(2, 0));
         settle();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.change();
    testing::RecordingPaintDevice<PathRecordingEngine> device(tiles->viewport()->size());
    tiles->viewport()->render(&device);
    for (int row = 0; row < tiles->model()->rowCount(); ++row) {
      const QRect cell = tiles->visualRect(tiles->model()->index(row, 0));
      if (!tiles->viewport()->rect().intersects(cell)) continue;
      SCOPED_TRACE(row);
      const QRect image = TrashReviewTileDelegate::imageArea(cell).toAlignedRect();
      // No outline or fill of the tile is drawn on the view.
      for (const QRect& path : device.engine.paths) {
        EXPECT_FALSE(cell.contains(path) && path.height() >= image.height());
      }
      QRegion copied;
      for (const QRect& copy : device.engine.copies) copied += copy & cell;
      EXPECT_TRUE((QRegion(image) - copied).isEmpty());
    }
  }
}

TEST_F(ReviewSheetTest, CancellingOrDismissingTheConfirmationMovesNothing) {
  openReview();
  button("deleteCandidateReview.selectLoaded")->click();
  settle();
  button("deleteCandidateReview.action.trashLoaded")->click();
  ASSERT_NE(confirmation(), nullptr);
  EXPECT_EQ(confirmation()->informativeText(), "deleteCandidateReview.confirmation.message.loaded.other(#4)");
  QTest::keyClick(confirmation(), Qt::Key_Escape);
  settle();
  EXPECT_FALSE(sheet->confirmationFlowForTest().isPendingForTest());
  EXPECT_EQ(confirmation(), nullptr);

  button("deleteCandidateReview.action.trashSelected")->click();
  ASSERT_NE(confirmation(), nullptr);
  findByName<QPushButton>(*confirmation(), "common.cancel")->click();
  settle();
  EXPECT_FALSE(sheet->confirmationFlowForTest().isPendingForTest());

  // The review closed by the store while the confirmation is up: the sheet and the question go.
  button("deleteCandidateReview.action.trashSelected")->click();
  ASSERT_NE(confirmation(), nullptr);
  QPointer<QMessageBox> box = confirmation();
  store->trash().dismissDeleteCandidateTrashReview();
  settle();
  EXPECT_FALSE(sheet->isVisible());
  EXPECT_FALSE(sheet->confirmationFlowForTest().isPendingForTest());
  EXPECT_TRUE(box.isNull() || !box->isVisible());
  sheet->confirmPendingTrashAction();
  settle();
  EXPECT_EQ(moves(), 0u);
}

TEST_F(ReviewSheetTest, NothingMovesWhileTheCandidatesLoad) {
  harness.service->hold("searchImages");
  openReview(false);
  ASSERT_TRUE(harness.service->waitForHeld("searchImages"));
  testing::drainUiEvents();
  EXPECT_TRUE(findByName<QWidget>(*sheet, "deleteCandidateReview.loading")->isVisible());
  EXPECT_FALSE(button("common.reload")->isEnabled());
  EXPECT_FALSE(button("deleteCandidateReview.action.trashLoaded")->isEnabled());
  EXPECT_EQ(label("deleteCandidateReview.action.trashLoaded.disabledReason"),
            "deleteCandidateReview.disabledReason.loading");
  sheet->requestTrashConfirmation(DeleteCandidateTrashAction::loaded);
  EXPECT_EQ(confirmation(), nullptr);

  harness.service->releaseAll();
  harness.service->answerImmediately("searchImages");
  settle();
  EXPECT_TRUE(grid()->isVisible());
  EXPECT_TRUE(button("deleteCandidateReview.action.trashLoaded")->isEnabled());
  EXPECT_FALSE(
      findByName<QLabel>(*sheet, "deleteCandidateReview.action.trashLoaded.disabledReason")->isVisible());
}

// The sheet shows the page of the review's state, chosen as it shows: a page it switches to while
// hidden would be laid out at a size it is never shown at. (The loading page comes first and is
// the page of a sheet never shown.)
TEST_F(ReviewSheetTest, TheSheetLaysOutThePageOfItsStateOnlyAsItShows) {
  struct Row {
    const char* name;
    bool candidates;
    bool loading;
    const char* page;
  };
  for (const Row& row : std::vector<Row>{{"candidates", true, false, "grid"},
                                         {"none", false, false, "deleteCandidateReview.empty"},
                                         {"loading", true, true, "deleteCandidateReview.loading"}}) {
    SCOPED_TRACE(row.name);
    sheet.reset();
    auto records = lorvex::testing::makeLibraryRecords(3);
    for (ImageRecord& record : records) record.reviewState.deleteCandidate = row.candidates;
    harness.service->setRecords(records);
    if (row.loading) harness.service->hold("searchImages");
    presentDeleteCandidateTrashReview(store->trash());
    if (row.loading) {
      ASSERT_TRUE(harness.service->waitForHeld("searchImages"));
      testing::drainUiEvents();
    } else {
      settle();
    }
    sheet = std::make_unique<DeleteCandidateTrashReviewSheet>(
        testing::deleteCandidateTrashReviewModels(*store), ViewResourceDisplay{}, nullptr, &echo());
    QWidget* page =
        std::string(row.page) == "grid" ? grid()->parentWidget() : findByName<QWidget>(*sheet, row.page);
    ASSERT_NE(page, nullptr);
    if (!row.loading) {
      EXPECT_TRUE(page->layout()->geometry().isNull());
    }
    sheet->show();
    testing::drainUiEvents();
    EXPECT_TRUE(page->isVisible());
    EXPECT_EQ(page->layout()->geometry().size(), page->size());
    EXPECT_GT(page->width(), DeleteCandidateTrashReviewSheet::kMinimumWidth / 2);
    sheet->hide();
    harness.service->releaseAll();
    harness.service->answerImmediately("searchImages");
    store->trash().dismissDeleteCandidateTrashReview();
    settle();
  }
}

TEST_F(ReviewSheetTest, TheSheetStaysOpenWhileAMoveRunsAndClosesTheReviewOnceAfterwards) {
  openReview();
  int flagChanges = 0;
  QObject::connect(&store->presentation(),
                   &ImageLibraryPresentationState::isDeleteCandidateTrashReviewPresentedChanged,
                   [&] { ++flagChanges; });
  harness.service->hold(kMove);
  button("deleteCandidateReview.action.trashLoaded")->click();
  confirm();
  ASSERT_TRUE(harness.service->waitForHeld(kMove));
  testing::drainUiEvents();
  ASSERT_TRUE(store->trash().isTrashingDeleteCandidates());

  for (const char* name :
       {"deleteCandidateReview.action.trashSelected", "deleteCandidateReview.action.trashLoaded"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(button(name)->isEnabled());
    EXPECT_EQ(label((std::string(name) + ".disabledReason").c_str()),
              "deleteCandidateReview.disabledReason.trashing");
    EXPECT_EQ(button(name)->toolTip(), toolTipHtml("deleteCandidateReview.disabledReason.trashing"));
  }
  EXPECT_TRUE(findByName<QLabel>(*sheet, "deleteCandidateReview.movingProgress")->isVisible());
  for (const char* name : {"common.cancel", "common.reload", "deleteCandidateReview.selectLoaded"}) {
    EXPECT_FALSE(button(name)->isEnabled()) << name;
  }
  QTest::keyClick(sheet.get(), Qt::Key_Escape);
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_FALSE(sheet->close());  // the window's close button
  EXPECT_TRUE(sheet->isVisible());
  sheet->dismissReview();
  EXPECT_TRUE(sheet->isVisible());
  sheet->requestTrashConfirmation(DeleteCandidateTrashAction::loaded);
  EXPECT_EQ(confirmation(), nullptr);
  EXPECT_TRUE(store->presentation().isDeleteCandidateTrashReviewPresented());
  EXPECT_EQ(flagChanges, 0);

  harness.service->releaseAll();
  settle();
  EXPECT_EQ(moves(), 1u);
  EXPECT_EQ(label("deleteCandidateReview.summary.headline"), "deleteCandidateReview.summary.moved(#4,#4)");
  EXPECT_TRUE(findByName<QWidget>(*sheet, "deleteCandidateReview.empty")->isVisible());
  button("common.cancel")->click();
  settle();
  EXPECT_FALSE(sheet->isVisible());
  EXPECT_FALSE(store->presentation().isDeleteCandidateTrashReviewPresented());
  EXPECT_EQ(flagChanges, 1);
  sheet->close();  // the host closing it again dismisses nothing more
  EXPECT_EQ(flagChanges, 1);
}

// A scan under way holds the move back: the sheet says so, and Cancel calls the move off with
// nothing touched; a move that waits until the scan ends then runs.
TEST_F(ReviewSheetTest, AMoveWaitingForAScanSaysSoAndCancelCallsItOff) {
  openReview();
  clickTile(1);
  const ImageTrashSummary earlier{.requestedCount = 9, .trashedPaths = {}, .failures = {}};
  TrashModelTestAccess::setLastTrashSummary(store->trash(), earlier);
  const PathSet selected = store->trash().trashReviewBrowser().selectedPaths();
  const std::string path =
      grid()->model()->index(1, 0).data(TrashReviewCandidateModel::PathRole).toString().toStdString();
  const auto moveWhileScanning = [&] {
    LibraryModelTestAccess::setIsLibrarySyncInProgress(store->library(), true);
    QTest::mouseClick(button("deleteCandidateReview.action.trashSelected"), Qt::LeftButton);
    confirm();
    settle();
  };
  moveWhileScanning();
  auto* status = findByName<QLabel>(*sheet, "deleteCandidateReview.movingProgress");
  EXPECT_TRUE(status->isVisible());
  EXPECT_EQ(status->text(), "deleteCandidateReview.waitingForScan");
  for (const char* action :
       {"deleteCandidateReview.action.trashSelected", "deleteCandidateReview.action.trashLoaded"})
    EXPECT_EQ(label((std::string(action) + ".disabledReason").c_str()),
              "deleteCandidateReview.disabledReason.waitingForScan");
  EXPECT_TRUE(button("common.cancel")->isEnabled());
  QTest::mouseClick(button("common.cancel"), Qt::LeftButton);
  settle();
  LibraryModelTestAccess::setIsLibrarySyncInProgress(store->library(), false);
  settle();
  EXPECT_EQ(moves(), 0u);
  EXPECT_FALSE(store->trash().isTrashingDeleteCandidates());
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(grid()->model()->rowCount(), 4);
  EXPECT_EQ(store->trash().trashReviewBrowser().selectedPaths(), selected);
  EXPECT_EQ(store->trash().lastTrashSummary(), earlier);
  EXPECT_FALSE(status->isVisible());

  moveWhileScanning();
  LibraryModelTestAccess::setIsLibrarySyncInProgress(store->library(), false);
  settle();
  ASSERT_EQ(moves(), 1u);
  EXPECT_EQ(harness.service->calls(kMove)[0].paths, std::vector<std::string>{path});
}

TEST_F(ReviewSheetTest, TheLoadMoreRowIsTheLastRowOfTheScrolledTiles) {
  auto records = lorvex::testing::makeLibraryRecords(530);
  for (auto& record : records) record.reviewState.deleteCandidate = true;
  harness.service->setRecords(records);
  openReview();
  ASSERT_EQ(grid()->model()->rowCount(), 500);
  auto* row = findByName<QWidget>(*sheet, "results.loadMore");
  QWidget* viewport = grid()->viewport();
  ASSERT_EQ(row->parentWidget(), viewport);
  EXPECT_GE(row->geometry().top(), viewport->height());  // out of sight under the tiles

  // Scrolled to the end while the next page loads: whole, under the last tile, as wide as the grid.
  harness.service->hold("searchImages");
  grid()->verticalScrollBar()->setValue(grid()->verticalScrollBar()->maximum());
  testing::drainUiEvents();
  ASSERT_TRUE(harness.service->waitForHeld("searchImages"));
  testing::drainUiEvents();
  EXPECT_TRUE(row->isVisible());
  EXPECT_TRUE(viewport->rect().contains(row->geometry()));
  EXPECT_GE(row->geometry().top(), grid()->visualRect(grid()->model()->index(499, 0)).bottom());
  EXPECT_EQ(row->width(), viewport->width());
  harness.service->releaseAll();
  settle();
  EXPECT_EQ(grid()->model()->rowCount(), 530);
}

TEST_F(ReviewSheetTest, AnOutcomeWithSevenFailuresListsFiveAndCountsTheRest) {
  harness.service->setAnswer(kMove, [](const lorvex::testing::ServiceCall& call) -> std::any {
    ImageTrashSummary summary;
    summary.requestedCount = static_cast<std::int64_t>(call.paths.size()) + 3;
    for (int i = 0; i < 7; ++i) {
      summary.failures.push_back({"/library/f" + std::to_string(i) + ".png", "denied",
                                  ImageTrashFailureReason::underlyingError,
                                  ErrorNotice{ErrorNoticeKind::trashMoveFailed, {}}});
    }
    return summary;
  });
  openReview();
  button("deleteCandidateReview.action.trashLoaded")->click();
  confirm();
  settle();
  EXPECT_EQ(label("deleteCandidateReview.summary.headline"),
            "deleteCandidateReview.summary.movedWithFailures(#0,#7,#7)");
  for (int i = 0; i < 5; ++i) {
    const std::string name = "deleteCandidateReview.summary.failure." + std::to_string(i);
    auto* line = findByName<QLabel>(*sheet, QString::fromStdString(name));
    ASSERT_NE(line, nullptr) << name;
    EXPECT_EQ(line->accessibleName(),
              QString::fromStdString("f" + std::to_string(i) + ".png: error.trash.moveFailed"));
  }
  EXPECT_EQ(findByName<QLabel>(*sheet, "deleteCandidateReview.summary.failure.5"), nullptr);
  EXPECT_EQ(label("deleteCandidateReview.summary.failureOverflow"),
            "deleteCandidateReview.summary.failureOverflow.other(#2)");
  EXPECT_TRUE(findByName<QWidget>(*sheet, "deleteCandidateReview.recovery.details")->isVisible());
}

// A volume that refuses the Trash fails thousands of files: the recovery sheet makes widgets only
// for what it shows, and its last failure is reached by scrolling.
TEST_F(ReviewSheetTest, TheRecoveryListOfThousandsOfFailuresIsBuiltAsItIsSeen) {
  ImageTrashSummary summary;
  summary.requestedCount = 3000;
  for (int i = 0; i < 3000; ++i) {
    summary.failures.push_back({"/library/" + std::to_string(i) + ".png", "refused",
                                ImageTrashFailureReason::underlyingError, std::nullopt});
  }
  QWidget host;
  auto* view = new TrashSummaryView([] {}, &host);
  view->setSummary({summary, echo(), {}}, {summary, echo(), {}}, false);
  host.resize(900, 300);
  host.show();
  QTest::mouseClick(findByName<QPushButton>(host, "deleteCandidateReview.recovery.details"), Qt::LeftButton);
  settle();
  QDialog* recovery = view->recoverySheetForTest();
  ASSERT_NE(recovery, nullptr);
  EXPECT_LT(recovery->findChildren<QWidget*>().size(), 60);
  auto* list = findByName<QListView>(*recovery, "deleteCandidateReview.recovery.failures");
  ASSERT_NE(list, nullptr);
  list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
  settle();
  const QModelIndex last = list->model()->index(2999, 0);
  EXPECT_EQ(last.data(TrashFailureRecoveryListModel::IdentifierRole).toString(),
            "deleteCandidateReview.recovery.row.2999-/library/2999.png");
  EXPECT_TRUE(list->viewport()->rect().contains(list->visualRect(last)));
}

// A clicked row's path opens as selectable text over the path's own line: it hides no other text
// of the list, and no line of a row loses its descenders.
TEST_F(ReviewSheetTest, TheRecoveryRowsCutNoTextWithAPathOpen) {
  ImageTrashSummary summary{2, {}, {}};
  for (const std::string path : {"/p/img_00030.png", "/p/jpg_gqyp.png"})
    summary.failures.push_back({path, "refused", ImageTrashFailureReason::underlyingError, std::nullopt});
  QWidget host;
  auto* view = new TrashSummaryView([] {}, &host);
  view->setSummary({summary, echo(), {}}, {summary, echo(), {}}, false);
  host.show();
  QTest::mouseClick(findByName<QPushButton>(host, "deleteCandidateReview.recovery.details"), Qt::LeftButton);
  settle();
  QListView* list = view->recoverySheetForTest()->failureList();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualRect(list->model()->index(1, 0)).center());
  settle();
  const auto* path = view->recoverySheetForTest()->findChild<QLineEdit*>();
  ASSERT_NE(path, nullptr);
  const std::vector<testing::DrawnText> texts = testing::drawnTexts(*view->recoverySheetForTest());
  EXPECT_GT(texts.size(), 6u);
  for (const testing::DrawnText& drawn : texts) {
    EXPECT_TRUE(drawn.whole) << drawn.text.toStdString();
    EXPECT_TRUE(drawn.text == path->text() || !drawn.line.intersects(QRectF(path->geometry())))
        << drawn.text.toStdString() << " lies under the open path";
  }
}

// The reason under a Trash button breaks between Japanese phrases, never inside a word ("…削 / 除候補…").
TEST_F(ReviewSheetTest, JapaneseReasonsBreakBetweenPhrases) {
  const QFont applicationFont = QApplication::font();
  QApplication::setFont(interfaceFont(kJapaneseLanguage));
  const AppLocalization japanese =
      AppLocalization::overTable(bundledLocalizationTable(kJapaneseLanguage), ".");
  harness.service->setRecords(lorvex::testing::makeLibraryRecords(2));  // no candidate
  openReview(true, &japanese);
  auto* reason = findByName<QLabel>(*sheet, "deleteCandidateReview.action.trashLoaded.disabledReason");
  const QStringList lines = testing::drawnLines(*reason);
  EXPECT_TRUE(lines.size() > 1 && testing::endsBetweenPhrases(reason->accessibleName(), lines))
      << lines.join('|').toStdString();
  QApplication::setFont(applicationFont);
}

TEST_F(ReviewSheetTest, RetryFromTheSummaryMovesOnlyTheFailedFileAfterItsConfirmation) {
  int answered = 0;
  harness.service->setAnswer(kMove, [&answered](const lorvex::testing::ServiceCall& call) -> std::any {
    ImageTrashSummary summary;
    summary.requestedCount = static_cast<std::int64_t>(call.paths.size());
    for (const std::string& path : call.paths) {
      if (path == "/library/2.png" && answered == 0) {
        summary.failures.push_back({path, "busy", ImageTrashFailureReason::underlyingError, std::nullopt});
      } else {
        summary.trashedPaths.push_back(path);
      }
    }
    ++answered;
    return summary;
  });
  openReview();
  button("deleteCandidateReview.action.trashLoaded")->click();
  confirm();
  settle();
  ASSERT_EQ(grid()->model()->rowCount(), 1);
  auto* retry = button("deleteCandidateReview.recovery.retryFailed");
  ASSERT_TRUE(retry->isVisible());
  ASSERT_TRUE(retry->isEnabled());
  retry->click();
  ASSERT_NE(confirmation(), nullptr);
  EXPECT_EQ(confirmation()->informativeText(),
            "deleteCandidateReview.confirmation.message.retryFailed.one(#1)");
  EXPECT_EQ(moves(), 1u);
  confirm();
  settle();
  ASSERT_EQ(moves(), 2u);
  EXPECT_EQ(harness.service->calls(kMove)[1].paths, std::vector<std::string>{"/library/2.png"});
  EXPECT_EQ(label("deleteCandidateReview.summary.headline"), "deleteCandidateReview.summary.moved(#1,#1)");
  EXPECT_FALSE(retry->isVisible());
}

TEST_F(ReviewSheetTest, TheLastTilesInViewAskForTheNextPageAgainAfterAReload) {
  auto records = lorvex::testing::makeLibraryRecords(530);
  for (auto& record : records) record.reviewState.deleteCandidate = true;
  harness.service->setRecords(records);
  openReview();
  ASSERT_EQ(grid()->model()->rowCount(), 500);
  EXPECT_TRUE(findByName<QWidget>(*sheet, "results.loadMore")->isVisible());
  const auto pageLoads = [&] { return harness.service->calls("searchImages").size(); };
  const std::size_t firstPage = pageLoads();
  grid()->scrollToBottom();
  settle();
  EXPECT_EQ(grid()->model()->rowCount(), 530);
  EXPECT_EQ(pageLoads(), firstPage + 1);
  EXPECT_FALSE(findByName<QWidget>(*sheet, "results.loadMore")->isVisible());

  // A reload brings back the first page alone; the last tiles, still in view, ask for the next.
  button("common.reload")->click();
  settle();
  EXPECT_EQ(pageLoads(), firstPage + 3);
  EXPECT_EQ(grid()->model()->rowCount(), 530);
}

TEST_F(ReviewSheetTest, ToolbarFollowsReadinessAndOpensTheReview) {
  StoreOptions options;
  options.needsLiveServicePreparation = true;
  store = harness.makeStore(options);
  LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {"/library"});
  int presents = 0;
  DeleteCandidateTrashSidebarToolbar toolbar(
      store->context(), store->library(), [&] { ++presents; }, nullptr, &echo());
  auto* action = findByName<HeaderActionButton>(toolbar, "deleteCandidateReview.toolbarAction");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->toolTip(), toolTipHtml("deleteCandidateReview.toolbarAction"));
  EXPECT_FALSE(action->isEnabled());
  action->click();
  EXPECT_EQ(presents, 0);
  store->context().setNeedsLiveServicePreparation(false);
  LibraryModelTestAccess::setIsPreparingLibrary(store->library(), true);
  EXPECT_FALSE(action->isEnabled());
  LibraryModelTestAccess::setIsPreparingLibrary(store->library(), false);
  EXPECT_TRUE(action->isEnabled());
  action->click();
  EXPECT_EQ(presents, 1);
}

TEST_F(ReviewSheetTest, FeedbackBannerFollowsTheStoreAndLetsClicksThroughWithoutFeedback) {
  QWidget host;
  int undos = 0;
  auto* overlay = new DeleteCandidateFeedbackOverlay(
      store->review(), [&] { ++undos; }, &host, &echo());
  host.resize(900, 600);  // sized after the banner was made, before it is shown
  host.show();
  settle();
  EXPECT_FALSE(overlay->isVisible());
  EXPECT_TRUE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));

  DeleteCandidateUndoAction undoable;
  undoable.records = {{"/library/0.png", false, 0}};
  ReviewModelTestAccess::setDeleteCandidateUndoStack(store->review(), {undoable});
  // Feedback arrives while the host is hidden and narrower; the host is resized before it shows.
  host.hide();
  host.resize(500, 600);
  ReviewModelTestAccess::setDeleteCandidateFeedback(
      store->review(), DeleteCandidateFeedback{DeleteCandidateFeedback::Change::marked, 2, true, true});
  settle();
  host.resize(900, 600);
  host.show();
  settle();
  ASSERT_TRUE(overlay->isVisible());
  EXPECT_FALSE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_EQ(overlay->objectName(), "review.deleteCandidate.feedback");
  EXPECT_EQ(findByName<WrappedTextLabel>(*overlay, "review.deleteCandidate.feedback.message")->text(),
            "review.deleteCandidate.feedback.marked.other(#2)");
  EXPECT_TRUE(findByName<WrappedTextLabel>(*overlay, "review.deleteCandidate.feedback.detail")->isVisible());
  EXPECT_EQ(overlay->geometry(), QRect((900 - 560) / 2, 16, 560, overlay->height()));
  auto* undo = findByName<QPushButton>(*overlay, "review.deleteCandidate.feedback.undo");
  ASSERT_TRUE(undo->isVisible());
  undo->click();
  EXPECT_EQ(undos, 1);

  // Undo goes while a move runs, though the feedback still allows it.
  TrashModelTestAccess::setIsTrashingDeleteCandidates(store->trash(), true);
  settle();
  EXPECT_FALSE(undo->isVisible());
  TrashModelTestAccess::setIsTrashingDeleteCandidates(store->trash(), false);
  settle();
  EXPECT_TRUE(undo->isVisible());

  host.resize(400, 600);
  settle();
  EXPECT_EQ(overlay->geometry().width(), 400 - 32);

  findByName<QWidget>(*overlay, "common.close")->setFocus();
  qobject_cast<QAbstractButton*>(findByName<QWidget>(*overlay, "common.close"))->click();
  settle();
  EXPECT_EQ(store->review().deleteCandidateFeedback(), std::nullopt);
  EXPECT_FALSE(overlay->isVisible());
  EXPECT_TRUE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
}

// The banner's shadow is Qt's drop shadow, kept: for each shape of banner it looks as with Qt's own
// effect, and a repaint of the view under it (a scroll bar at its edge, as when a sheet deactivates
// the window) repaints none of the banner's contents and changes no pixel.
TEST_F(ReviewSheetTest, TheBannerKeepsItsShadowAndRepaintsOnlyWhatIsUnderARepaint) {
  class Checkered : public QWidget {  // something to cast the shadow on
    void paintEvent(QPaintEvent*) override {
      QPainter painter(this);
      for (int y = 0; y < height(); y += 10) {
        for (int x = 0; x < width(); x += 10)
          painter.fillRect(x, y, 10, 10, (x + y) % 20 == 0 ? Qt::white : QColor(90, 140, 200));
      }
    }
  };
  const auto screen = [](QWidget& window) {
    return window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
  };
  const auto differingPixels = [](const QImage& a, const QImage& b) {
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
      for (int x = 0; x < a.width(); ++x) {
        const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
        differing += std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                               std::abs(qBlue(p) - qBlue(q))}) > 1;
      }
    }
    return differing;
  };
  DeleteCandidateUndoAction undoable;
  undoable.records = {{"/library/0.png", false, 0}};
  ReviewModelTestAccess::setDeleteCandidateUndoStack(store->review(), {undoable});
  const std::vector<std::tuple<const char*, int, DeleteCandidateFeedback>> rows{
      {"two lines with Undo", 900, {DeleteCandidateFeedback::Change::marked, 2, true, true}},
      {"one line without Undo", 900, {DeleteCandidateFeedback::Change::unmarked, 1, false, false}},
      {"narrower than its widest", 420, {DeleteCandidateFeedback::Change::marked, 1, true, true}},
  };
  for (const auto& [name, width, feedback] : rows) {
    SCOPED_TRACE(name);
    ReviewModelTestAccess::setDeleteCandidateFeedback(store->review(), feedback);
    Checkered host;
    Checkered reference;
    auto* banner = new DeleteCandidateFeedbackOverlay(
        store->review(), [] {}, &host, &echo());
    auto* qts = new QGraphicsDropShadowEffect;
    qts->setColor(QColor(0, 0, 0, qRound(255 * 0.16)));
    qts->setBlurRadius(12);
    qts->setOffset(0, 4);
    (new DeleteCandidateFeedbackOverlay(
         store->review(), [] {}, &reference, &echo()))
        ->setGraphicsEffect(qts);
    // Tall enough for the banner's bottom edge, its texts (keys here) wrapped at the narrow width.
    for (QWidget* window : {&host, &reference}) {
      window->resize(width, 320);
      window->show();
    }
    settle();
    ASSERT_TRUE(banner->isVisible());
    const QImage shown = screen(host);
    EXPECT_EQ(differingPixels(shown, screen(reference)), 0);

    testing::PaintedRegionRecorder hostPaints;
    testing::PaintedRegionRecorder messagePaints;
    host.installEventFilter(&hostPaints);
    findByName<WrappedTextLabel>(*banner, "review.deleteCandidate.feedback.message")
        ->installEventFilter(&messagePaints);
    const QRect strip(banner->geometry().right() - 20, banner->geometry().bottom() - 8, 14, 30);
    host.update(strip);
    settle();
    EXPECT_EQ(hostPaints.painted.boundingRect(), strip);
    EXPECT_TRUE(messagePaints.painted.isEmpty());
    EXPECT_EQ(differingPixels(screen(host), shown), 0);
  }
}

}  // namespace
}  // namespace lorvex::ui
