#include "ui/slideshow/slideshow_image_strip.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

#include "ui/common/clip_rect_painting.h"
#include "ui/common/image_drag.h"
#include "ui/common/local_image_load_request.h"
#include "ui/common/local_image_view.h"
#include "ui/slideshow/slideshow_image_decoding.h"

namespace lorvex::ui {

namespace {

// A recorded side beyond this is not a real image's: the frame's own shape is used instead.
constexpr std::int64_t kMaximumRecordedSide = 1 << 20;

}  // namespace

SlideshowImageStrip::SlideshowImageStrip(LocalImageLoader& loader, const AppLocalization& localization,
                                         QWidget* parent)
    : QWidget(parent), loader_(loader), localization_(localization) {
  setObjectName(QStringLiteral("slideshow.images"));
  // Black painted by hand: a black palette would reach the image views' placeholders too.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

SlideshowImageStrip::~SlideshowImageStrip() {
  // The views go after this object's own members: their last signals must not reach it.
  for (LocalImageView* view : views_) disconnect(view, nullptr, this, nullptr);
}

void SlideshowImageStrip::setRecords(std::vector<RecordRef> records) {
  if (sameRecords(records, records_)) return;
  records_ = std::move(records);
  relayout();
}

std::vector<LocalImageView*> SlideshowImageStrip::imageViews() const {
  std::vector<LocalImageView*> shown;
  for (std::size_t i = 0; i < layout_.cells.size() && i < views_.size(); ++i) shown.push_back(views_[i]);
  return shown;
}

void SlideshowImageStrip::paintEvent(QPaintEvent*) {
  // Only where no image view lies (they are opaque), in bands that stay on this thread.
  QPainter painter(this);
  paintInBands(painter, rect(), [&] { painter.fillRect(rect(), Qt::black); });
}

void SlideshowImageStrip::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  relayout();
}

void SlideshowImageStrip::relayout() {
  layout_ = SlideshowAdaptiveGridLayout::make(records_, QSizeF(size()));
  while (views_.size() < layout_.cells.size()) {
    auto* view =
        new LocalImageView(this, /*preservesCurrentImageWhileLoading=*/true, loader_, &localization_);
    view->setObjectName(QStringLiteral("slideshow.image.%1").arg(views_.size()));
    // Each view paints its own letterbox black around the image and is opaque, so the strip is
    // never painted under it.
    view->setBackgroundColor(Qt::black);
    view->setContentMode(LocalImageView::ContentMode::fit);
    view->setImageAlignment(Qt::AlignCenter);
    // Presses and drags are the strip's.
    view->setAttribute(Qt::WA_TransparentForMouseEvents);
    const std::size_t slot = views_.size();
    connect(view, &LocalImageView::displayStateChanged, this, [this, slot] { displayStateChanged(slot); });
    views_.push_back(view);
    targets_.emplace_back();
  }
  for (std::size_t i = 0; i < views_.size(); ++i) {
    LocalImageView* view = views_[i];
    if (i >= layout_.cells.size()) {
      view->hide();
      continue;
    }
    const auto& cell = layout_.cells[i];
    const bool inRange = cell.index >= 0 && static_cast<std::size_t>(cell.index) < records_.size() &&
                         records_[static_cast<std::size_t>(cell.index)] != nullptr;
    if (!inRange) {
      // Nothing to show here: the strip's black.
      view->hide();
      continue;
    }
    const ImageRecord& record = *records_[static_cast<std::size_t>(cell.index)];
    std::optional<QSize> pixelSize;
    if (record.metadata.width && record.metadata.height && *record.metadata.width >= 1 &&
        *record.metadata.height >= 1 && *record.metadata.width <= kMaximumRecordedSide &&
        *record.metadata.height <= kMaximumRecordedSide) {
      pixelSize = QSize(static_cast<int>(*record.metadata.width), static_cast<int>(*record.metadata.height));
    }
    const SlideshowImagePlacement placement =
        slideshowImagePlacement(cell.frame, pixelSize, devicePixelRatioF());
    targets_[i] = placement.rect;
    view->setSource(
        record.file.path, std::nullopt,
        localImageFileCacheKey(record.file.path, record.file.fileSize, record.file.modificationDate),
        std::nullopt, placement.maxPixelSize);
    // The image shown now stays where it is until the next one is ready: moving it to the next
    // image's rectangle would stretch it there and scale it on this thread.
    const bool showsOlderImage = view->isVisible() && !view->displayedImage().isNull() &&
                                 view->displayedPath() != record.file.path &&
                                 view->loadState().displayState().pendingPath.has_value();
    if (!showsOlderImage) view->setGeometry(placement.rect);
    view->show();
  }
}

void SlideshowImageStrip::displayStateChanged(std::size_t slot) {
  LocalImageView& view = *views_[slot];
  // The load ended (with the image or without): the view takes its own rectangle.
  if (!view.loadState().displayState().pendingPath && view.geometry() != targets_[slot]) {
    view.setGeometry(targets_[slot]);
  }
}

std::optional<int> SlideshowImageStrip::cellAt(QPoint position) const {
  for (const auto& cell : layout_.cells) {
    if (cell.frame.contains(QPointF(position))) return cell.index;
  }
  return std::nullopt;
}

void SlideshowImageStrip::mousePressEvent(QMouseEvent* event) {
  const auto pressed = onPressed;
  if (pressed) pressed();
  if (event->button() == Qt::LeftButton) {
    pressPosition_ = event->position().toPoint();
    pressedCell_ = cellAt(*pressPosition_);
  }
  QWidget::mousePressEvent(event);
}

void SlideshowImageStrip::mouseMoveEvent(QMouseEvent* event) {
  QWidget::mouseMoveEvent(event);
  if (!(event->buttons() & Qt::LeftButton) || !pressPosition_ || !pressedCell_) return;
  if ((event->position().toPoint() - *pressPosition_).manhattanLength() < QApplication::startDragDistance())
    return;
  const std::size_t index = static_cast<std::size_t>(*pressedCell_);
  pressPosition_.reset();
  pressedCell_.reset();
  if (index >= records_.size() || records_[index] == nullptr || !dragPayload) return;
  const RecordRef record = records_[index];
  QPixmap preview;
  if (index < views_.size() && !views_[index]->displayedImage().isNull()) {
    preview = QPixmap::fromImage(
        views_[index]->displayedImage().scaled(160, 160, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  }
  startImageDrag(*this, dragPayload(*record), preview);
}

}  // namespace lorvex::ui
