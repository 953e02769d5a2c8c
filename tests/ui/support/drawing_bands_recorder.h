// How many lines each drawing of a paint covers. Qt's raster painter hands a fill, blend or scaled
// draw of about a hundred lines or more to its helper threads and waits for them; a paint that stays
// on the painting thread draws nothing taller than a band (paintInBands: 64 lines) within its clip.
//
// tallestDrawing(widget) renders the widget into a device whose engine follows the painter's
// transform and clip and notes, for every fill, path, polygon and image or pixmap copy, the device
// lines of it inside the clip, and for a line its length inside the clip: a translucent line is
// blended a pixel at a time, each pixel counting like a line of a fill. The painter may hand this
// engine a line as a line, as the path of its stroke or as a thin rectangle, so every drawing at
// most two device pixels across counts by its length (a thin fill too, which is stricter than Qt).
// Text is left out (glyphs are drawn a line of text at a time). Antialiased shapes are noted
// apart as well, by their device lines inside the clip: their edges' pixels are spans of their own,
// so they reach the helper threads at far fewer lines (kAntialiasedBandDeviceLines).
//
// Thread safety: GUI thread.
#pragma once

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>
#include <QTransform>
#include <QWidget>
#include <algorithm>
#include <optional>
#include <vector>

#include "ui/support/recording_paint_device.h"

namespace lorvex::ui::testing {

class DrawingBandsEngine : public QPaintEngine {
 public:
  DrawingBandsEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
  bool begin(QPaintDevice* device) override {
    bounds_ = QRect(0, 0, device->width(), device->height());
    clip_.reset();
    antialiased_ = false;
    return true;
  }
  bool end() override { return true; }
  Type type() const override { return QPaintEngine::User; }

  void updateState(const QPaintEngineState& state) override {
    if (state.state() & QPaintEngine::DirtyTransform) transform_ = state.transform();
    if (state.state() & QPaintEngine::DirtyHints) {
      antialiased_ = state.renderHints().testFlag(QPainter::Antialiasing);
    }
    if (state.state() & QPaintEngine::DirtyClipEnabled && !state.isClipEnabled()) clip_.reset();
    if (state.state() & QPaintEngine::DirtyClipRegion) clipTo(transform_.map(state.clipRegion()), state);
    if (state.state() & QPaintEngine::DirtyClipPath) {
      clipTo(QRegion(transform_.map(state.clipPath()).boundingRect().toAlignedRect()), state);
    }
  }

  void drawRects(const QRectF* rects, int count) override {
    for (int i = 0; i < count; ++i) note(rects[i]);
  }
  void drawLines(const QLineF* lines, int count) override {
    for (int i = 0; i < count; ++i)
      note(QRectF(lines[i].p1(), lines[i].p2()).normalized().adjusted(0, 0, 1, 1));
  }
  void drawPath(const QPainterPath& path) override { note(path.controlPointRect()); }
  void drawPolygon(const QPointF* points, int count, PolygonDrawMode) override {
    QPolygonF polygon;
    for (int i = 0; i < count; ++i) polygon << points[i];
    note(polygon.boundingRect());
  }
  void drawPixmap(const QRectF& target, const QPixmap&, const QRectF&) override { note(target, false); }
  void drawImage(const QRectF& target, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {
    note(target, false);
  }
  void drawTiledPixmap(const QRectF& target, const QPixmap&, const QPointF&) override { note(target, false); }
  void drawTextItem(const QPointF&, const QTextItem&) override {}

  // The device lines (for a line, its length) of each drawing inside the clip, in order; drawings
  // wholly clipped away are left out.
  std::vector<int> heights;
  // The device lines inside the clip of each antialiased shape.
  std::vector<int> antialiasedHeights;

 private:
  void clipTo(const QRegion& region, const QPaintEngineState& state) {
    switch (state.clipOperation()) {
      case Qt::NoClip:
        clip_.reset();
        break;
      case Qt::ReplaceClip:
        clip_ = region;
        break;
      case Qt::IntersectClip:
        clip_ = clip_ ? (*clip_ & region) : region;
        break;
    }
  }
  // `shape`: a fill, path, polygon or line, which the antialiasing hint rasterizes by coverage (a
  // copy is not).
  void note(const QRectF& logical, bool shape = true) {
    const QRectF device = transform_.mapRect(logical);
    const bool byLength = std::min(device.width(), device.height()) <= 2;
    QRegion drawn(device.toAlignedRect());
    drawn &= clip_ ? *clip_ & bounds_ : QRegion(bounds_);
    if (drawn.isEmpty()) return;
    int tallest = 0;
    int lines = 0;
    for (const QRect& rect : drawn) {
      tallest = std::max(tallest, byLength ? std::max(rect.width(), rect.height()) : rect.height());
      lines = std::max(lines, rect.height());
    }
    heights.push_back(tallest);
    if (antialiased_ && shape) antialiasedHeights.push_back(lines);
  }

  QRect bounds_;
  bool antialiased_ = false;
  QTransform transform_;
  std::optional<QRegion> clip_;  // none: the whole device
};

using DrawingBandsDevice = RecordingPaintDevice<DrawingBandsEngine>;

// The most device lines any one drawing of the widget's paint covers within its clip (0 when it
// draws nothing).
inline int tallestDrawing(QWidget& widget) {
  DrawingBandsDevice device(widget.size());
  widget.render(&device, QPoint(), QRegion(), QWidget::RenderFlags());
  const std::vector<int>& heights = device.engine.heights;
  return heights.empty() ? 0 : *std::max_element(heights.begin(), heights.end());
}

// The most device lines any one antialiased shape of the widget's paint covers within its clip (0
// when it draws none).
inline int tallestAntialiasedDrawing(QWidget& widget) {
  DrawingBandsDevice device(widget.size());
  widget.render(&device, QPoint(), QRegion(), QWidget::RenderFlags());
  const std::vector<int>& heights = device.engine.antialiasedHeights;
  return heights.empty() ? 0 : *std::max_element(heights.begin(), heights.end());
}

}  // namespace lorvex::ui::testing
