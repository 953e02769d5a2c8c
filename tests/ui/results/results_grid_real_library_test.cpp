// The results column over a real library of the shared fixtures, registered and indexed as the
// application does: every indexed image gets a tile, the tiles on screen load their images (the
// thumbnails the library made, decoded off the GUI thread into the cache), and a Delete on a tile
// marks it in the library and Ctrl+Z restores it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QThread>
#include <mutex>
#include <set>

#include "store/library_store_composition.h"
#include "store/real_pictures_test.h"
#include "store/store_idle.h"
#include "ui/common/image_tile_presentation.h"
#include "ui/common/local_image_decode_limiter.h"
#include "ui/common/local_image_decoding.h"
#include "ui/common/local_image_load_request.h"
#include "ui/common/local_image_memory_cache.h"
#include "ui/results/results_grid_list_view.h"
#include "ui/results/results_grid_view.h"
#include "ui/support/store_view_models.h"
#include "ui/support/ui_test_application.h"

namespace lorvex::ui::testing {
namespace {

class ResultsGridRealLibraryTest : public lorvex::testing::RealPicturesTest {
 protected:
  void SetUp() override {
    uiTestApplication();
    RealPicturesTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    store_ = makeLibraryStoreInFolder(root_ / "library");
    store_->library().startLaunchWorkflow();
    ASSERT_TRUE(waitUntilStoreIdle(*store_, std::chrono::seconds(60)));
    auto registration = store_->library().registerFolders({pictures_.string()});
    ASSERT_TRUE(waitUntilStoreIdle(*store_, std::chrono::seconds(120)));
  }
  void TearDown() override {
    view_.reset();
    if (store_) waitUntilStoreIdle(*store_, std::chrono::seconds(30));
    store_.reset();
    RealPicturesTest::TearDown();
  }

  bool settle() { return waitUntilStoreIdle(*store_, std::chrono::seconds(60)) && drainUiEvents(loader_); }

  std::mutex mutex_;
  std::set<QThread*> decodeThreads_;
  LocalImageMemoryCache cache_{512, 512LL * 1024 * 1024};
  LocalImageDecodeLimiter limiter_{2};
  LocalImageLoader loader_{cache_, limiter_, [this](const std::string& path, std::optional<int> size) {
                             {
                               const std::lock_guard lock(mutex_);
                               decodeThreads_.insert(QThread::currentThread());
                             }
                             return decodeLocalImage(path, size);
                           }};
  std::unique_ptr<ImageLibraryStore> store_;
  std::unique_ptr<ResultsGridView> view_;
};

TEST_F(ResultsGridRealLibraryTest, TilesShowTheIndexedImagesAndDeleteAndUndoReachTheLibrary) {
  std::vector<std::string> previews;
  view_ = std::make_unique<ResultsGridView>(
      resultsGridListModels(*store_), store_->filters(),
      ResultsGridViewActions{{}, {}, {}, [&](const std::string& url) { previews.push_back(url); }},
      AppLocalization::live(), loader_);
  view_->resize(1100, 900);
  view_->show();
  ASSERT_TRUE(settle());
  ResultsGridListView& grid = view_->grid();
  const auto& records = store_->results().resultWindow().records();
  ASSERT_GT(records.size(), 10U);
  EXPECT_EQ(grid.gridModel().rowCount(), static_cast<int>(records.size()));

  // The tiles on screen: each image that decodes is in the cache under its tile's key.
  const auto [first, last] = grid.visibleRowsForTest();
  ASSERT_EQ(first, 0);
  int cached = 0;
  for (int row = first; row <= last; ++row) {
    const ImageTileImageSource source = imageTileImageSource(*records[static_cast<std::size_t>(row)]);
    const LocalImageLoadRequest request = makeLocalImageLoadRequest(
        source.imagePath, std::nullopt, source.imageCacheKey, std::nullopt, source.imageMaxPixelSize);
    cached += cache_.contains(*request.imageCacheKey) ? 1 : 0;
  }
  EXPECT_GE(cached, (last - first + 1) - 2);  // a fixture or two is no decodable image
  EXPECT_EQ(decodeThreads_.count(QThread::currentThread()), 0U);
  EXPECT_FALSE(decodeThreads_.empty());

  // Delete on the focused tile marks it in the library; Ctrl+Z brings it back.
  const std::string path = records[2]->file.path;
  store_->results().selection().selectSingle(path);
  grid.setFocus();
  QKeyEvent remove(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(&grid, &remove);
  ASSERT_TRUE(settle());
  EXPECT_FALSE(store_->results().resultWindow().index(path));
  QKeyEvent undo(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier);
  QApplication::sendEvent(&grid, &undo);
  ASSERT_TRUE(settle());
  ASSERT_TRUE(store_->results().resultWindow().index(path));
  EXPECT_FALSE(store_->results()
                   .resultWindow()
                   .records()[static_cast<std::size_t>(*store_->results().resultWindow().index(path))]
                   ->reviewState.deleteCandidate);

  QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
  store_->results().selection().selectSingle(path);
  QApplication::sendEvent(&grid, &space);
  ASSERT_EQ(previews.size(), 1U);
  EXPECT_EQ(previews[0], *store_->results().selectedRecordFileURL());
}

}  // namespace
}  // namespace lorvex::ui::testing
