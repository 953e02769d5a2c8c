// The preview overlay over a window, offscreen over a store on the scripted service: its keys
// (a focused control never takes Space), the fading controls timed on the store's fake clock,
// pointer rest and activity, the image's menu and drag only once the previewed file is shown and
// focused, and the grid taking the focus back when the preview closes.
#include "ui/results/quick_look_preview_overlay.h"

#include <gtest/gtest.h>

#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>
#include <QWindow>

#include "results_grid_fixture.h"
#include "ui/common/floating_toolbar.h"
#include "ui/results/results_grid_list_view.h"
#include "ui/results/results_grid_view.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui::testing {
namespace {

struct PreviewFixture : ResultsWidgetHarness {
  PreviewFixture() : ResultsWidgetHarness(libraryImages(0, 6)) {
    search();
    window.resize(900, 640);
    window.show();
    QApplication::setActiveWindow(&window);
    drain();
  }
  ~PreviewFixture() {
    overlay.reset();
    drain();
  }

  void open(int number) {
    store->results().selection().selectSingle(imagePath(number));
    overlay = std::make_unique<QuickLookPreviewOverlay>(
        store->results(), store->review(), store->concepts(), store->context(), "file://" + imagePath(number),
        QuickLookPreviewActions{[this] { calls.push_back("previous"); }, [this] { calls.push_back("next"); },
                                [this] { calls.push_back("slideshow"); },
                                [this] { calls.push_back("dismiss"); }},
        &window, echoLocalization(), loader);
    overlay->show();
    drain();
  }
  void key(QWidget* widget, int key) {
    const QPointer<QWidget> target(widget);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Space ? " " : QString());
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, key == Qt::Key_Space ? " " : QString());
    if (target != nullptr) QApplication::sendEvent(target, &release);
    drain();
  }
  void advance(double seconds) {
    harness.clock.advance(static_cast<std::int64_t>(seconds * 1e9));
    drain();
  }
  void pointerMove(QPoint local) {
    const QPoint global = overlay->mapToGlobal(local);
    QMouseEvent move(QEvent::MouseMove, overlay->mapTo(&window, local), global, Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(window.windowHandle(), &move);
    drain();
  }
  QWidget* named(const char* name) { return findByName<QWidget>(*overlay, name); }
  double controlsOpacity() {
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(named("quickLook.controls")->graphicsEffect());
    return effect != nullptr ? effect->opacity() : -1;
  }

  QWidget window;
  std::unique_ptr<QuickLookPreviewOverlay> overlay;
  std::vector<std::string> calls;
};

// As the window composes the preview: a layer over the window's content holds the overlay. Under
// it, a widget that counts its paints covers the left half.
struct LayeredPreviewFixture : ResultsWidgetHarness {
  class Underneath : public QWidget {
   public:
    using QWidget::QWidget;
    int paints = 0;
    QColor color{200, 40, 30};

   protected:
    void paintEvent(QPaintEvent*) override {
      ++paints;
      QPainter(this).fillRect(rect(), color);
    }
  };

  LayeredPreviewFixture() : ResultsWidgetHarness(libraryImages(0, 6)) {
    search();
    window.resize(400, 300);
    underneath = new Underneath(&window);
    underneath->setGeometry(0, 0, 200, 300);
    layer = new QWidget(&window);
    layer->setGeometry(window.rect());
    store->results().selection().selectSingle(imagePath(1));
    overlay =
        new QuickLookPreviewOverlay(store->results(), store->review(), store->concepts(), store->context(),
                                    "file://" + imagePath(1), {}, layer, echoLocalization(), loader);
    window.show();
    drain();
  }

  QWidget window;
  Underneath* underneath = nullptr;
  QWidget* layer = nullptr;
  QuickLookPreviewOverlay* overlay = nullptr;
};

// The window's content under the shown preview is hidden by it: what changes there, or a new
// image over it, repaints nothing of it until the preview closes.
TEST(QuickLookPreviewOverlay, TheWindowUnderTheShownPreviewIsNotRepainted) {
  const struct {
    std::string name;
    std::function<void(LayeredPreviewFixture&)> act;
    bool underneathRepainted;
  } cases[] = {
      {"a change under it", [](LayeredPreviewFixture& f) { f.underneath->update(); }, false},
      {"the next image", [](LayeredPreviewFixture& f) { f.overlay->setFileURL("file://" + imagePath(2)); },
       false},
      {"closing it", [](LayeredPreviewFixture& f) { f.layer->hide(); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LayeredPreviewFixture f;
    f.underneath->paints = 0;
    c.act(f);
    f.drain();
    EXPECT_EQ(f.underneath->paints > 0, c.underneathRepainted);
  }
}

// Around the image the backdrop shows the window under it as black at 0.92 opacity over it did.
// Its picture of that window is taken again 0.4 s after the preview opened or showed another file,
// on the store's clock: a change under it shows then.
TEST(QuickLookPreviewOverlay, TheBackdropDarkensTheWindowUnderItAndCatchesUpOnceThePreviewRests) {
  const auto shaded = [](QColor under) {
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(under);
    QPainter(&pixel).fillRect(0, 0, 1, 1, QColor(0, 0, 0, 235));  // 0.92 of 255
    return pixel.pixelColor(0, 0).name().toStdString();
  };
  const auto advance = [](LayeredPreviewFixture& f, double seconds) {
    f.harness.clock.advance(static_cast<std::int64_t>(seconds * 1e9));
    f.drain();
  };
  const QColor changed(20, 60, 220);
  const struct {
    std::string name;
    std::function<void(LayeredPreviewFixture&)> afterTheChange;
    bool changeShown;
  } cases[] = {
      {"at once", [](LayeredPreviewFixture&) {}, false},
      {"0.39 s after opening", [&](LayeredPreviewFixture& f) { advance(f, 0.39); }, false},
      {"0.4 s after opening", [&](LayeredPreviewFixture& f) { advance(f, 0.4); }, true},
      {"0.4 s after opening, another file at 0.3 s",
       [&](LayeredPreviewFixture& f) {
         advance(f, 0.3);
         f.overlay->setFileURL("file://" + imagePath(2));
         advance(f, 0.1);
       },
       false},
      {"0.4 s after another file",
       [&](LayeredPreviewFixture& f) {
         advance(f, 0.3);
         f.overlay->setFileURL("file://" + imagePath(2));
         advance(f, 0.4);
       },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LayeredPreviewFixture f;
    const QColor original = f.underneath->color;
    f.underneath->color = changed;
    f.underneath->update();
    f.drain();
    c.afterTheChange(f);
    const QImage shown = f.window.grab().toImage();
    const std::string under = shaded(c.changeShown ? changed : original);
    for (const QPoint point : {QPoint(5, 5), QPoint(190, 295)})
      EXPECT_EQ(shown.pixelColor(point).name().toStdString(), under);
    const std::string background = shaded(f.window.palette().color(QPalette::Window));
    for (const QPoint point : {QPoint(395, 5), QPoint(390, 150)})
      EXPECT_EQ(shown.pixelColor(point).name().toStdString(), background);
  }
}

TEST(QuickLookPreviewOverlay, KeysStepStartOrCloseAndAFocusedControlNeverTakesSpace) {
  const struct {
    std::string name;
    const char* focused;  // nullptr: the overlay itself
    int key;
    std::vector<std::string> calls;
  } cases[] = {
      {"left", nullptr, Qt::Key_Left, {"previous"}},
      {"right", nullptr, Qt::Key_Right, {"next"}},
      {"up and down do nothing", nullptr, Qt::Key_Up, {}},
      {"escape closes", nullptr, Qt::Key_Escape, {"dismiss"}},
      {"space without a focused control closes", nullptr, Qt::Key_Space, {"dismiss"}},
      {"space on the slideshow control starts it", "quickLook.startSlideshow", Qt::Key_Space, {"slideshow"}},
      {"space on the close control closes", "quickLook.close", Qt::Key_Space, {"dismiss"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PreviewFixture f;
    f.open(2);
    EXPECT_EQ(f.window.focusWidget(), f.overlay.get());
    QWidget* target = f.overlay.get();
    if (c.focused != nullptr) {
      target = f.named(c.focused);
      target->setFocus();
      f.drain();
    }
    f.key(target, c.key);
    EXPECT_EQ(f.calls, c.calls);
  }
}

TEST(QuickLookPreviewOverlay, ControlsFadeInAndHideAfterTwoSecondsOfRestOnTheStoresClock) {
  PreviewFixture f;
  f.open(1);
  EXPECT_TRUE(f.overlay->controlsVisible());
  EXPECT_EQ(f.controlsOpacity(), 1.0);
  EXPECT_FALSE(f.named("quickLook.controls")->testAttribute(Qt::WA_TransparentForMouseEvents));
  f.advance(1.9);
  EXPECT_TRUE(f.overlay->controlsVisible());
  f.advance(0.1);
  EXPECT_FALSE(f.overlay->controlsVisible());
  EXPECT_EQ(f.controlsOpacity(), 0.0);
  EXPECT_TRUE(f.named("quickLook.controls")->testAttribute(Qt::WA_TransparentForMouseEvents));  // clicks pass

  // Pointer activity shows them again and restarts the countdown each time.
  f.pointerMove(QPoint(300, 300));
  EXPECT_TRUE(f.overlay->controlsVisible());
  f.advance(1.5);
  f.pointerMove(QPoint(310, 300));
  f.advance(1.5);
  EXPECT_TRUE(f.overlay->controlsVisible());
  f.advance(0.5);
  EXPECT_FALSE(f.overlay->controlsVisible());

  // Stepping reveals them too.
  f.key(f.overlay.get(), Qt::Key_Right);
  EXPECT_TRUE(f.overlay->controlsVisible());
}

TEST(QuickLookPreviewOverlay, ThePointerOnTheControlsOrAFocusedControlKeepsThemShown) {
  PreviewFixture f;
  f.open(1);
  QWidget* controls = f.named("quickLook.controls");
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(controls, &enter);
  f.advance(5);
  EXPECT_TRUE(f.overlay->controlsVisible());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(controls, &leave);
  f.advance(1.9);
  EXPECT_TRUE(f.overlay->controlsVisible());
  f.advance(0.2);
  EXPECT_FALSE(f.overlay->controlsVisible());

  f.named("quickLook.close")->setFocus();
  f.drain();
  EXPECT_EQ(f.overlay->focusedControl(), QuickLookPreviewControlFocus::close);
  EXPECT_TRUE(f.overlay->controlsVisible());
  f.advance(5);
  EXPECT_TRUE(f.overlay->controlsVisible());
  f.overlay->setFocus();  // the control loses the focus: the countdown starts again
  f.drain();
  EXPECT_FALSE(f.overlay->focusedControl().has_value());
  f.advance(2);
  EXPECT_FALSE(f.overlay->controlsVisible());
}

TEST(QuickLookPreviewOverlay, MenuAndDragOnlyForTheShownFocusedFile) {
  PreviewFixture f;
  f.harness.service->setAnswer("imageDragPayload", [](const lorvex::testing::ServiceCall& call) -> std::any {
    return std::optional<ImageDragPayload>(ImageDragPayload{call.paths.front()});
  });
  f.open(3);
  const auto menuAt = [&]() -> QMenu* {
    const QPoint point(200, 200);
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, f.overlay->mapToGlobal(point));
    QApplication::sendEvent(f.overlay.get(), &event);
    f.drain();
    return f.overlay->contextMenu();
  };
  QMenu* menu = menuAt();
  ASSERT_NE(menu, nullptr);
  std::vector<std::string> texts;
  for (QAction* action : menu->actions())
    texts.push_back(action->isSeparator() ? "---" : action->text().toStdString());
  EXPECT_EQ(texts, (std::vector<std::string>{"common.openInFinder", "---", "review.favorite.add",
                                             "review.deleteCandidate.mark"}));
  menu->close();
  f.drain();
  auto data = f.overlay->dragData();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(imagePath(3)))});

  // The focus moves to another record: the preview still shows its file, without menu or drag.
  f.store->results().selection().selectSingle(imagePath(4));
  f.drain();
  EXPECT_EQ(menuAt(), nullptr);
  EXPECT_EQ(f.overlay->dragData(), nullptr);
}

TEST(QuickLookPreviewOverlay, TheGridTakesTheFocusBackWhenThePreviewCloses) {
  PreviewFixture f;
  auto* layout = new QVBoxLayout(&f.window);
  // The creator removes the overlay with deleteLater: its actions run inside its own event handling.
  QPointer<QuickLookPreviewOverlay> preview;
  ResultsGridView* results = nullptr;
  results = new ResultsGridView(
      resultsGridListModels(*f.store), f.store->filters(),
      ResultsGridViewActions{{},
                             {},
                             {},
                             [&](const std::string& url) {
                               preview = new QuickLookPreviewOverlay(
                                   f.store->results(), f.store->review(), f.store->concepts(),
                                   f.store->context(), url,
                                   QuickLookPreviewActions{{},
                                                           {},
                                                           {},
                                                           [&] {
                                                             preview->deleteLater();
                                                             results->setQuickLookPresented(false);
                                                           }},
                                   &f.window, echoLocalization(), f.loader);
                               results->setQuickLookPresented(true);
                               preview->show();
                             }},
      echoLocalization(), f.loader, &f.window);
  layout->addWidget(results);
  f.drain();
  ResultsGridListView& grid = results->grid();
  grid.setFocus();
  f.store->results().selection().selectSingle(imagePath(2));
  f.drain();
  f.key(&grid, Qt::Key_Space);
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(preview->path(), imagePath(2));
  EXPECT_EQ(f.window.focusWidget(), preview.data());
  f.key(&grid, Qt::Key_Down);  // the grid is gated behind the preview
  EXPECT_EQ(f.store->results().selection().primaryPath(), imagePath(2));
  f.key(preview, Qt::Key_Escape);
  EXPECT_EQ(preview, nullptr);
  EXPECT_EQ(f.window.focusWidget(), &grid);
}

}  // namespace
}  // namespace lorvex::ui::testing
