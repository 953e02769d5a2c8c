// The inspector's "f" and "d" over a real library: a folder of NovelAI PNGs indexed by the live
// service. The letters change the marks the library stores (read back with a fresh query), and do
// nothing while a filter popover is open, while the inspector is hidden, or while a text field has
// the focus (the field gets the letter).
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest/QTest>
#include <chrono>
#include <filesystem>
#include <memory>

#include "novelai_pictures.h"
#include "store/image_library_store.h"
#include "store/library_store_composition.h"
#include "store/store_idle.h"
#include "support/temporary_folder.h"
#include "ui/detail/image_detail_panel.h"
#include "ui/detail/review_controls.h"
#include "ui/results/echo_localization.h"
#include "ui/support/store_view_models.h"
#include "ui/support/ui_test_application.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

using namespace std::chrono_literals;

class ReviewShortcutsTest : public testing::WidgetTest {
 protected:
  void SetUp() override {
    pictures_ = root_.file("pictures");
    std::filesystem::create_directories(pictures_);
    for (int i = 0; i < 3; ++i) {
      testing::NovelAIPicture picture;
      picture.seed = 100 + i;
      ASSERT_TRUE(testing::writeNovelAIPicture(pictures_ / ("image-" + std::to_string(i) + ".png"), picture));
    }
    store_ = makeLibraryStoreInFolder(root_.file("library"));
    store_->library().startLaunchWorkflow();
    ASSERT_TRUE(waitUntilStoreIdle(*store_, 30s));
    auto registration = store_->library().registerFolders({pictures_.string()});
    ASSERT_TRUE(waitUntilStoreIdle(*store_, 60s));
    ASSERT_TRUE(registration.isReady());
    store_->library().backgroundSync().stopBackgroundLibrarySync();
    ASSERT_FALSE(store_->context().errorMessage().has_value()) << *store_->context().errorMessage();
    ASSERT_EQ(store_->results().resultWindow().records().size(), 3u);

    window_ = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window_.get());
    field_ = new QLineEdit(window_.get());
    field_->setObjectName("someTextField");
    layout->addWidget(field_);
    // Where the focus usually is: the results grid, a widget that takes no letters.
    grid_ = new QWidget(window_.get());
    grid_->setObjectName("grid");
    grid_->setFocusPolicy(Qt::StrongFocus);
    grid_->setMinimumHeight(40);
    layout->addWidget(grid_);
    panel_ = new ImageDetailPanel(testing::imageDetailPanelModels(*store_), &localization_, window_.get());
    layout->addWidget(panel_);
    window_->resize(420, 900);
    window_->show();
    window_->activateWindow();
    path_ = store_->results().resultWindow().records().front()->file.path;
    store_->results().focusPathKeepingSelection(path_);
    settle();
    grid_->setFocus();
    settle();
    ASSERT_TRUE(grid_->hasFocus());
  }

  void TearDown() override {
    window_.reset();
    store_.reset();
  }

  void settle() {
    ASSERT_TRUE(waitUntilStoreIdle(*store_, 30s));
    testing::drainUiEvents();
  }

  // The marks the library holds for the focused file now, by a query that sees every mark.
  ReviewState storedMarks() {
    ImageSearchQuery query = store_->results().makeSearchQuery(100, 0);
    query.favorite.reset();
    query.deleteCandidate.reset();
    for (const ImageRecord& record : store_->context().service()->searchImages(query, {})) {
      if (record.file.path == path_) return record.reviewState;
    }
    ADD_FAILURE() << "the library lost " << path_;
    return {};
  }

  void press(Qt::Key key) {
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window_.get(), key);
    settle();
  }

  const AppLocalization localization_ = testing::echoLocalization();
  lorvex::testing::TemporaryFolder root_;
  std::filesystem::path pictures_;
  std::unique_ptr<ImageLibraryStore> store_;
  std::unique_ptr<QWidget> window_;
  ImageDetailPanel* panel_ = nullptr;
  QLineEdit* field_ = nullptr;
  QWidget* grid_ = nullptr;
  std::string path_;
};

TEST_F(ReviewShortcutsTest, LettersChangeTheStoredMarks) {
  ASSERT_FALSE(storedMarks().favorite);
  press(Qt::Key_F);
  EXPECT_TRUE(storedMarks().favorite);
  press(Qt::Key_F);
  EXPECT_FALSE(storedMarks().favorite);

  press(Qt::Key_D);
  EXPECT_TRUE(storedMarks().deleteCandidate);
  EXPECT_TRUE(store_->review().canUndoDeleteCandidateAction()) << "the marking was recorded for undo";
  // The marked record left the normal results; the focus moved on to the next one.
  EXPECT_NE(store_->results().selection().primaryPath(), path_);
}

TEST_F(ReviewShortcutsTest, LettersDoNothingWhileAPopoverIsOpen) {
  store_->presentation().setIsTagAdditionPopoverPresented(true);
  settle();
  press(Qt::Key_F);
  press(Qt::Key_D);
  EXPECT_EQ(storedMarks(), ReviewState{});
  store_->presentation().setIsTagAdditionPopoverPresented(false);
  store_->presentation().setIsModelSelectionPopoverPresented(true);
  settle();
  press(Qt::Key_F);
  EXPECT_FALSE(storedMarks().favorite);
}

TEST_F(ReviewShortcutsTest, LettersDoNothingWhileTheInspectorIsHidden) {
  panel_->hide();
  settle();
  grid_->setFocus();
  press(Qt::Key_F);
  press(Qt::Key_D);
  EXPECT_EQ(storedMarks(), ReviewState{});
  panel_->show();
  settle();
  press(Qt::Key_F);
  EXPECT_TRUE(storedMarks().favorite) << "shown again, the letters work again";
}

TEST_F(ReviewShortcutsTest, AFocusedTextFieldKeepsItsLetters) {
  field_->setFocus();
  settle();
  ASSERT_TRUE(field_->hasFocus());
  press(Qt::Key_F);
  press(Qt::Key_D);
  EXPECT_EQ(field_->text(), "fd");
  EXPECT_EQ(storedMarks(), ReviewState{});
}

}  // namespace
}  // namespace lorvex::ui
