#include "ui/common/local_image_view.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QRegion>
#include <QTemporaryDir>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/log.h"
#include "support/png_image.h"
#include "ui/common/local_image_decode_limiter.h"
#include "ui/common/local_image_decoding.h"
#include "ui/common/local_image_loader.h"
#include "ui/common/local_image_memory_cache.h"
#include "ui/common/local_image_scaler.h"
#include "ui/common/scripted_decodes.h"
#include "ui/results/echo_localization.h"
#include "ui/support/drawing_bands_recorder.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui {
namespace {

using testing::drainUiEvents;
using testing::echoLocalization;
using Mode = LocalImageView::ContentMode;

QImage solid(int width, int height, const QColor& color) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(color);
  return image;
}

bool near(const QColor& a, const QColor& b) {
  return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 &&
         std::abs(a.blue() - b.blue()) < 12;
}

class LocalImageViewTest : public testing::WidgetTest {
 protected:
  // A shown view on its own loader, so held decodes never touch another test's cache.
  std::unique_ptr<LocalImageView> makeView(bool preserves = false) {
    auto view = std::make_unique<LocalImageView>(nullptr, preserves, loader, &localization);
    view->resize(100, 100);
    return view;
  }

  bool drain() { return drainUiEvents(loader); }

  ::lorvex::testing::ScriptedDecodes decodes;
  LocalImageMemoryCache cache{64, 64 * 1024 * 1024};
  LocalImageDecodeLimiter limiter{2};
  LocalImageLoader loader{cache, limiter, decodes.function()};
  AppLocalization localization = echoLocalization();
};

TEST(LocalImageTargetRect, ScalesKeepingProportionsAndPlacesByAlignment) {
  struct Case {
    QSizeF image;
    Mode mode;
    Qt::Alignment alignment;
    QRectF expected;
  };
  const QRectF bounds(0, 0, 100, 50);
  const Case cases[] = {
      {{200, 200}, Mode::fit, Qt::AlignCenter, {25, 0, 50, 50}},
      {{200, 200}, Mode::fill, Qt::AlignCenter, {0, -25, 100, 100}},
      {{10, 10}, Mode::fit, Qt::AlignCenter, {25, 0, 50, 50}},  // enlarged, as the views show small files
      {{200, 200}, Mode::fit, Qt::AlignLeft | Qt::AlignVCenter, {0, 0, 50, 50}},
      {{200, 200}, Mode::fit, Qt::AlignRight | Qt::AlignVCenter, {50, 0, 50, 50}},
      {{400, 100}, Mode::fit, Qt::AlignTop | Qt::AlignHCenter, {0, 0, 100, 25}},
      {{400, 100}, Mode::fit, Qt::AlignBottom | Qt::AlignHCenter, {0, 25, 100, 25}},
      {{400, 100}, Mode::fill, Qt::AlignLeft | Qt::AlignVCenter, {0, 0, 200, 50}},
      {{0, 100}, Mode::fit, Qt::AlignCenter, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(localImageTargetRect(c.image, bounds, c.mode, c.alignment), c.expected)
        << c.image.width() << "x" << c.image.height() << " mode " << static_cast<int>(c.mode);
  }
  EXPECT_EQ(localImageTargetRect({10, 10}, QRectF(), Mode::fit, Qt::AlignCenter), QRectF());
}

TEST_F(LocalImageViewTest, ShowsEachStateWithItsSymbolAndAccessibilityText) {
  decodes.answer("/pictures/failed.png", {QImage(), "Unable to open file"});
  decodes.answer("/pictures/empty.png", {QImage(), std::nullopt});  // not an image: no error, no image
  struct Case {
    std::optional<std::string> path;
    bool hold;
    LocalImagePlaceholder placeholder;
    bool hasImage;
    std::string name;
    std::string description;
  };
  const Case cases[] = {
      {std::nullopt, false, LocalImagePlaceholder::warning, false, "image.accessibility.label",
       "image.accessibility.empty"},
      {"/pictures/a.png", true, LocalImagePlaceholder::photo, false, "a.png", "image.accessibility.loading"},
      {"/pictures/a.png", false, LocalImagePlaceholder::none, true, "a.png", "image.accessibility.loaded"},
      {"/pictures/failed.png", false, LocalImagePlaceholder::warning, false, "failed.png",
       "image.accessibility.failed"},
      {"/pictures/empty.png", false, LocalImagePlaceholder::warning, false, "empty.png",
       "image.accessibility.failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.value_or("(none)") + (c.hold ? " held" : ""));
    if (c.hold) decodes.hold();
    auto view = makeView();
    view->setSource(c.path);
    view->show();
    if (!c.hold) {
      ASSERT_TRUE(drain());
    }
    EXPECT_EQ(view->placeholder(), c.placeholder);
    EXPECT_EQ(!view->displayedImage().isNull(), c.hasImage);
    EXPECT_EQ(view->accessibleName().toStdString(), c.name);
    EXPECT_EQ(view->accessibleDescription().toStdString(), c.description);
    view.reset();
    decodes.release();
    ASSERT_TRUE(drain());
  }
}

TEST_F(LocalImageViewTest, LoadsOnlyWhileShown) {
  auto view = makeView();
  view->setSource("/pictures/a.png");
  ASSERT_TRUE(drain());
  EXPECT_TRUE(decodes.calls().empty());  // never shown: nothing decoded

  decodes.hold();
  view->show();
  decodes.waitForCalls(1);
  EXPECT_EQ(view->accessibilityState(), LocalImageAccessibilityState::loading);
  view->hide();  // leaving the screen drops the load; its late end changes nothing
  decodes.release();
  ASSERT_TRUE(drain());
  EXPECT_EQ(view->displayedPath(), std::nullopt);
  EXPECT_FALSE(view->loadState().displayState().pendingPath.has_value());

  view->show();  // the same request starts again; the first decode filled the cache
  ASSERT_TRUE(drain());
  EXPECT_EQ(view->displayedPath(), "/pictures/a.png");
  EXPECT_EQ(view->accessibilityState(), LocalImageAccessibilityState::loaded);
  EXPECT_EQ(decodes.calls().size(), 1u);
}

TEST_F(LocalImageViewTest, ToldTheDisplayedPathOnShowAndOnEachChange) {
  std::vector<std::optional<std::string>> told;
  auto view = makeView();
  view->setOnDisplayedPathChange([&](const std::optional<std::string>& path) { told.push_back(path); });
  view->setSource("/pictures/a.png");
  view->show();
  ASSERT_TRUE(drain());
  view->setSource("/pictures/a.png");  // the same request: nothing happens
  ASSERT_TRUE(drain());
  view->setSource("/pictures/b.png");
  ASSERT_TRUE(drain());
  view->setSource(std::nullopt);
  ASSERT_TRUE(drain());
  const std::vector<std::optional<std::string>> expected = {std::nullopt, "/pictures/a.png", std::nullopt,
                                                            "/pictures/b.png", std::nullopt};
  EXPECT_EQ(told, expected);
  EXPECT_EQ(decodes.calls(), (std::vector<std::string>{"/pictures/a.png", "/pictures/b.png"}));
}

TEST_F(LocalImageViewTest, KeepsThePreviousImageWhileLoadingOnlyWhenAsked) {
  for (const bool preserves : {false, true}) {
    SCOPED_TRACE(preserves ? "preserves" : "replaces");
    const std::string first = preserves ? "/pictures/a1.png" : "/pictures/a2.png";
    const std::string second = preserves ? "/pictures/b1.png" : "/pictures/b2.png";
    auto view = makeView(preserves);
    view->setSource(first);
    view->show();
    ASSERT_TRUE(drain());
    decodes.hold();
    view->setSource(second);
    EXPECT_EQ(view->displayedPath(), preserves ? std::optional<std::string>(first) : std::nullopt);
    EXPECT_EQ(view->displayedImage().isNull(), !preserves);
    EXPECT_EQ(view->accessibilityState(), LocalImageAccessibilityState::loading);
    decodes.release();
    ASSERT_TRUE(drain());
    EXPECT_EQ(view->displayedPath(), second);
  }
}

TEST_F(LocalImageViewTest, PaintsTheImageFittedOrFilledOnItsBackground) {
  const QColor red(220, 30, 30);
  const QColor blue(20, 40, 200);
  struct Case {
    Mode mode;
    QColor top;     // at (50, 5)
    QColor middle;  // at (50, 50)
  };
  const Case cases[] = {{Mode::fit, blue, red}, {Mode::fill, red, red}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    const std::string path = c.mode == Mode::fit ? "/pictures/wide-fit.png" : "/pictures/wide-fill.png";
    decodes.answer(path, {solid(200, 100, red), std::nullopt});
    auto view = makeView();
    view->setContentMode(c.mode);
    view->setBackgroundColor(blue);
    view->setSource(path);
    view->show();
    ASSERT_TRUE(drain());
    const QImage shot = view->grab().toImage();
    EXPECT_TRUE(near(shot.pixelColor(50, 5), c.top)) << shot.pixelColor(50, 5).name().toStdString();
    EXPECT_TRUE(near(shot.pixelColor(50, 50), c.middle)) << shot.pixelColor(50, 50).name().toStdString();
  }
}

// A view whose background is opaque covers all it stands on: a change of its image repaints the
// view alone, not the window under it (under the preview, the whole window).
TEST_F(LocalImageViewTest, AnOpaqueBackgroundSparesWhatLiesUnderIt) {
  class CountingWidget : public QWidget {
   public:
    using QWidget::QWidget;
    int paints = 0;

   protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
  };
  const struct {
    QColor background;
    bool underneathRepainted;
  } cases[] = {{Qt::transparent, true}, {QColor(0, 0, 0, 128), true}, {Qt::black, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.background.name(QColor::HexArgb).toStdString());
    QWidget window;
    window.resize(100, 100);
    auto* underneath = new CountingWidget(&window);
    underneath->setGeometry(0, 0, 100, 100);
    auto* view = new LocalImageView(&window, false, loader, &localization);
    view->setGeometry(10, 10, 80, 80);
    view->setBackgroundColor(c.background);
    window.show();
    ASSERT_TRUE(drain());
    underneath->paints = 0;
    view->repaint();
    EXPECT_EQ(underneath->paints > 0, c.underneathRepainted);
  }
}

// A paint engine that records the rectangles filled and where images are copied.
class FillRecordingEngine : public QPaintEngine {
 public:
  FillRecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
  bool begin(QPaintDevice*) override { return true; }
  bool end() override { return true; }
  void updateState(const QPaintEngineState&) override {}
  void drawRects(const QRectF* rects, int count) override {
    for (int i = 0; i < count; ++i) filled += rects[i].toAlignedRect();
  }
  void drawPixmap(const QRectF& target, const QPixmap&, const QRectF&) override {
    copied += target.toAlignedRect();
  }
  void drawImage(const QRectF& target, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {
    copied += target.toAlignedRect();
  }
  void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
  Type type() const override { return QPaintEngine::User; }
  QRegion filled;
  QRegion copied;
};
using FillRecordingDevice = testing::RecordingPaintDevice<FillRecordingEngine>;

// An opaque image covers what it is drawn over: the background is filled only in the margin around
// it (its edge pixels included), not under it first. An image with transparency, or none, is drawn
// over the filled background as before.
TEST_F(LocalImageViewTest, TheBackgroundIsFilledOnlyAroundAnOpaqueImage) {
  const struct {
    std::string name;
    std::optional<QImage> image;  // none: the file fails and the warning symbol shows
    bool filledUnderTheImage;
  } cases[] = {
      {"opaque", solid(100, 100, Qt::red).convertToFormat(QImage::Format_RGB32), false},
      {"with transparency", solid(100, 100, QColor(255, 0, 0, 128)), true},
      {"no image", std::nullopt, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = "/pictures/" + c.name + ".png";
    decodes.answer(path,
                   {c.image.value_or(QImage()), c.image ? std::nullopt : std::optional<std::string>("gone")});
    LocalImageView view(nullptr, false, loader, &localization);
    view.setBackgroundColor(Qt::black);
    view.resize(200, 100);
    view.setSource(path);
    view.show();
    ASSERT_TRUE(drain());
    FillRecordingDevice device(view.size());
    view.render(&device);
    const QRegion& filled = device.engine.filled;
    // The image fitted in the middle: x 50 to 150.
    const QRect inside(52, 2, 96, 96);
    EXPECT_EQ(filled.intersects(inside), c.filledUnderTheImage);
    // Every pixel of the view is filled or covered by the image.
    EXPECT_EQ(filled + device.engine.copied, QRegion(view.rect()));
  }
}

// A large image is never scaled in the paint: a paint at a new size asks the scaler and draws the
// image meanwhile from what it has (sampled, or the last scale stretched); the smooth scale of that
// size then takes its place.
TEST_F(LocalImageViewTest, LargeImagesAreScaledOffThePaint) {
  const QColor red(220, 30, 30);
  const QColor blue(20, 40, 200);
  decodes.answer("/pictures/large.png", {solid(1600, 1200, red), std::nullopt});
  LocalImageScaler scaler;
  LocalImageView view(nullptr, false, loader, &localization, scaler);
  view.setBackgroundColor(blue);
  view.resize(400, 400);
  view.setSource("/pictures/large.png");
  view.show();
  ASSERT_TRUE(drain());
  const auto scalesDone = [&scaler] {
    // However long a loaded machine takes: a scale that never ends hangs the test.
    while (scaler.scalesInFlightForTest() > 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();
    return scaler.scalesInFlightForTest() == 0;
  };
  ASSERT_TRUE(scalesDone());

  for (const QSize size : {QSize(640, 480), QSize(200, 500), QSize(800, 800)}) {
    SCOPED_TRACE(size.width());
    view.resize(size);
    view.repaint();
    EXPECT_FALSE(view.paintedAtScaleForTest());
    EXPECT_EQ(scaler.scalesInFlightForTest(), 1u);
    // Already the image, in its place.
    const QRectF target =
        localImageTargetRect({1600, 1200}, QRectF(QPointF(0, 0), QSizeF(size)), Mode::fit, Qt::AlignCenter);
    const QImage before = view.grab().toImage();
    EXPECT_TRUE(near(before.pixelColor(target.center().toPoint()), red));
    EXPECT_TRUE(near(before.pixelColor(1, 1), target.contains(1, 1) ? red : blue));

    ASSERT_TRUE(scalesDone());
    view.repaint();
    EXPECT_TRUE(view.paintedAtScaleForTest());
    EXPECT_TRUE(near(view.grab().toImage().pixelColor(target.center().toPoint()), red));
  }
  // Hidden, the view wants no scale any more.
  view.resize(300, 300);
  view.repaint();
  view.hide();
  EXPECT_EQ(scaler.scalesInFlightForTest(), 0u);
}

// The view's paint stays on the painting thread: its background, its image at its scale, a scale
// it stretches meanwhile and an image it samples are each drawn in bands of at most 64 lines, so
// Qt's raster painter never hands them to its helper threads (a wait on them while the indexing
// keeps every core busy).
TEST_F(LocalImageViewTest, DrawsNothingTallerThanABandAtOnce) {
  const struct {
    const char* name;
    QSize image;
    QSize resizedTo;  // after the first scale was made (empty: not resized)
    int alpha;
  } cases[] = {
      {"an image scaled in the paint", QSize(300, 200), QSize(), 255},
      {"a translucent image scaled in the paint", QSize(240, 320), QSize(), 200},
      {"a large image at its scale", QSize(1600, 1200), QSize(), 255},
      {"a large image's scale stretched to a new size", QSize(1600, 1200), QSize(360, 460), 255},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = std::string("/pictures/") + c.name + ".png";
    decodes.answer(path,
                   {solid(c.image.width(), c.image.height(), QColor(220, 30, 30, c.alpha)), std::nullopt});
    LocalImageScaler scaler;
    LocalImageView view(nullptr, false, loader, &localization, scaler);
    view.setBackgroundColor(Qt::black);
    view.resize(300, 400);
    view.setSource(path);
    view.show();
    ASSERT_TRUE(drain());
    view.repaint();
    while (scaler.scalesInFlightForTest() > 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();
    if (!c.resizedTo.isEmpty()) view.resize(c.resizedTo);
    EXPECT_LE(testing::tallestDrawing(view), 64);
  }
}

// The whole road over a real file: the program's decoder on the loader's pool, into the view.
TEST_F(LocalImageViewTest, ShowsARealImageFile) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  ::lorvex::testing::PNGImageSpec spec;
  spec.width = 64;
  spec.height = 32;
  const std::string path = folder.filePath(QStringLiteral("real image.png")).toStdString();
  std::ofstream(path, std::ios::binary) << ::lorvex::testing::encodePNGImage(spec);

  LocalImageMemoryCache realCache(8, 1 << 24);
  LocalImageLoader realLoader(realCache, limiter, &decodeLocalImage);
  LocalImageView view(nullptr, false, realLoader, &localization);
  view.resize(64, 64);
  view.setSource(path, std::nullopt, std::nullopt, std::nullopt, 16);
  view.show();
  ASSERT_TRUE(drainUiEvents(realLoader));
  EXPECT_EQ(view.displayedPath(), path);
  EXPECT_EQ(view.displayedImage().size(), QSize(16, 8));  // downsampled to the asked pixel size
  EXPECT_TRUE(realCache
                  .image(path + "\x1f"
                                "maxPixelSize=16")
                  .has_value());
  EXPECT_EQ(view.accessibleName().toStdString(), "real image.png");
}

// With tracing on, each load that decodes is one "Load" interval telling its source and outcome,
// around one "Decode" interval telling its kind; a cached image loads without either.
TEST_F(LocalImageViewTest, LoadAndDecodeSignpostsTellSourceKindAndOutcome) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string path = folder.filePath(QStringLiteral("traced.png")).toStdString();
  std::ofstream(path, std::ios::binary) << ::lorvex::testing::encodePNGImage({});
  const std::string missing = folder.filePath(QStringLiteral("gone.png")).toStdString();

  // The records of each interval name in order, as "begin message" / "end message" (decodes run on
  // the loader's threads, so only each name's own order is fixed).
  std::mutex mutex;
  std::map<std::string, std::vector<std::string>> records;
  const auto previous = platform::setSignpostSink([&](const platform::SignpostRecord& record) {
    const std::lock_guard lock(mutex);
    const char* kind = record.kind == platform::SignpostRecord::Kind::begin ? "begin " : "end ";
    records[record.name].push_back(kind + record.message);
  });
  using Records = std::map<std::string, std::vector<std::string>>;
  const struct {
    const char* name;
    std::string path;
    std::optional<int> pixelSize;
    bool hideAtOnce;
    Records expected;
  } cases[] = {
      {"full",
       path,
       std::nullopt,
       false,
       {{"Load", {"begin source=persistent-thumbnail", "end completed"}},
        {"Decode", {"begin kind=full", "end "}}}},
      {"downsampled",
       path,
       8,
       false,
       {{"Load", {"begin source=fallback-original", "end completed"}},
        {"Decode", {"begin kind=downsample", "end "}}}},
      {"cached", path, 8, false, {}},
      {"unreadable",
       missing,
       std::nullopt,
       false,
       {{"Load", {"begin source=persistent-thumbnail", "end failed"}},
        {"Decode", {"begin kind=full", "end "}}}},
      {"left the screen",
       path,
       16,
       true,
       {{"Load", {"begin source=fallback-original", "end cancelled"}},
        {"Decode", {"begin kind=downsample", "end "}}}},
  };
  LocalImageMemoryCache realCache(8, 1 << 24);
  LocalImageLoader realLoader(realCache, limiter, &decodeLocalImage);
  for (const auto& c : cases) {
    {
      const std::lock_guard lock(mutex);
      records.clear();
    }
    LocalImageView view(nullptr, false, realLoader, &localization);
    view.resize(32, 32);
    view.setSource(c.path, std::nullopt, std::nullopt, std::nullopt, c.pixelSize);
    view.show();
    if (c.hideAtOnce) view.hide();  // before the decode's result can come back to this thread
    ASSERT_TRUE(drainUiEvents(realLoader)) << c.name;
    const std::lock_guard lock(mutex);
    EXPECT_EQ(records, c.expected) << c.name;
  }
  platform::setSignpostSink(previous);
}

}  // namespace
}  // namespace lorvex::ui
