// A results grid in a window over a store on the scripted service, with an image loader of its
// own whose decodes the test scripts, and ways to click, press keys and open menus the way the
// window system would deliver them.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../common/scripted_decodes.h"
#include "echo_localization.h"
#include "store/library/library_model_test_access.h"
#include "store/search_flows.h"
#include "store/support/store_harness.h"
#include "ui/common/accessibility_identifiers.h"
#include "ui/common/local_image_decode_limiter.h"
#include "ui/common/local_image_loader.h"
#include "ui/common/local_image_memory_cache.h"
#include "ui/results/results_grid_list_view.h"
#include "ui/support/store_view_models.h"
#include "ui/support/ui_test_application.h"

namespace lorvex::ui::testing {

using lorvex::testing::imagePath;
using lorvex::testing::kLibraryRoot;
using lorvex::testing::libraryImages;

// A window that records the keys its children let through.
class KeyRecordingWindow : public QWidget {
 public:
  std::vector<int> propagatedKeys;

 protected:
  void keyPressEvent(QKeyEvent* event) override { propagatedKeys.push_back(event->key()); }
};

// What every results widget test stands on: the application, a store on the scripted service
// whose library holds `library` under one registered root, and an image loader of its own whose
// decodes the test scripts.
struct ResultsWidgetHarness {
  explicit ResultsWidgetHarness(std::vector<ImageRecord> library, int decodePermits = 2,
                                lorvex::testing::StoreOptions options = {})
      : app((uiTestApplication(), 0)), limiter(decodePermits), loader(cache, limiter, decodes.function()) {
    store = harness.makeStore(std::move(options));
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {kLibraryRoot});
    harness.service->setRecords(std::move(library));
  }

  // Runs a first-page search to its end.
  void search() {
    auto task = lorvex::testing::startFlow(
        *store, [this](std::stop_token) { return store->results().refreshResults(500, true); });
    drain();
  }
  // With `decodesToo` false, decodes the test holds may stay in flight.
  void drain(bool decodesToo = true) {
    for (int round = 0; round < 3; ++round) {
      harness.drainEvents();
      if (decodesToo) {
        EXPECT_TRUE(drainUiEvents(loader));
      }
    }
  }

  int app;
  lorvex::testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
  LocalImageMemoryCache cache{512, 512LL * 1024 * 1024};
  LocalImageDecodeLimiter limiter;
  lorvex::testing::ScriptedDecodes decodes;
  LocalImageLoader loader;
};

struct ResultsGridFixture : ResultsWidgetHarness {
  explicit ResultsGridFixture(std::vector<ImageRecord> library, QSize size = QSize(520, 600),
                              int decodePermits = 2, lorvex::testing::StoreOptions options = {})
      : ResultsWidgetHarness(std::move(library), decodePermits, std::move(options)) {
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    grid = new ResultsGridListView(resultsGridListModels(*store), loader, echoLocalization(), &window);
    grid->setShowQuickLook([this](const std::string& url) { shownURLs.push_back(url); });
    grid->setStartDrag([this](std::unique_ptr<QMimeData> data) { drags.push_back(std::move(data)); });
    layout->addWidget(grid);
    window.resize(size);
  }

  ~ResultsGridFixture() {
    window.hide();
    drain();
  }

  // Runs the first-page search and shows the window.
  void showWithSearch() {
    search();
    show();
  }
  void show() {
    window.show();
    QApplication::setActiveWindow(&window);
    drain();
  }

  int rowOf(int number) const {
    // Tiles are found by their identifier, as automation finds them.
    const QString identifier = QString::fromStdString(resultTileAccessibilityIdentifier(imagePath(number)));
    ResultsGridModel& model = grid->gridModel();
    for (int row = 0; row < model.rowCount(); ++row) {
      if (model.index(row).data(ResultsGridModel::IdentifierRole).toString() == identifier) return row;
    }
    ADD_FAILURE() << "no tile for image " << number;
    return -1;
  }
  QPoint tileCentre(int number) const { return grid->tileRect(rowOf(number)).center().toPoint(); }

  void mouse(QEvent::Type type, QPoint point, Qt::MouseButton button = Qt::LeftButton,
             Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* viewport = grid->viewport();
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, point, viewport->mapToGlobal(point), button, buttons, modifiers);
    QApplication::sendEvent(viewport, &event);
  }
  void click(int number, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    mouse(QEvent::MouseButtonPress, tileCentre(number), Qt::LeftButton, modifiers);
    mouse(QEvent::MouseButtonRelease, tileCentre(number), Qt::LeftButton, modifiers);
    drain();
  }
  void doubleClick(int number) {
    const QPoint point = tileCentre(number);
    mouse(QEvent::MouseButtonPress, point);
    mouse(QEvent::MouseButtonRelease, point);
    mouse(QEvent::MouseButtonDblClick, point);
    mouse(QEvent::MouseButtonRelease, point);
    drain();
  }
  void rightClick(int number) {
    const QPoint point = tileCentre(number);
    mouse(QEvent::MouseButtonPress, point, Qt::RightButton);
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, grid->viewport()->mapToGlobal(point));
    QApplication::sendEvent(grid->viewport(), &event);
    mouse(QEvent::MouseButtonRelease, point, Qt::RightButton);
    drain();
  }
  void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(grid, &event);
    drain();
  }

  std::optional<std::string> focus() const { return store->results().selection().primaryPath(); }
  PathSet selected() const { return store->results().selection().effectiveSelectedPaths(); }
  int scroll() const { return grid->verticalScrollBar()->value(); }

  KeyRecordingWindow window;
  ResultsGridListView* grid = nullptr;
  std::vector<std::string> shownURLs;
  std::vector<std::unique_ptr<QMimeData>> drags;
};

inline PathSet pathsOf(const std::vector<int>& numbers) {
  PathSet paths;
  for (int number : numbers) paths.insert(imagePath(number));
  return paths;
}

}  // namespace lorvex::ui::testing
