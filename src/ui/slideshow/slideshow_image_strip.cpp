#include "ui/slideshow/slideshow_image_strip.h"

#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QPalette>
#include <QUrl>

#include "ui/common/local_image_load_request.h"
#include "ui/common/local_image_view.h"

namespace lorvex::ui {

SlideshowImageStrip::SlideshowImageStrip(LocalImageLoader& loader, const AppLocalization& localization,
                                         QWidget* parent)
    : QWidget(parent), loader_(loader), localization_(localization) {
  setObjectName(QStringLiteral("slideshow.images"));
  setAutoFillBackground(true);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
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

void SlideshowImageStrip::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  relayout();
}

void SlideshowImageStrip::relayout() {
  layout_ = SlideshowAdaptiveGridLayout::make(records_, QSizeF(size()));
  while (views_.size() < layout_.cells.size()) {
    auto* view = new LocalImageView(this, /*preservesCurrentImageWhileLoading=*/true, loader_, &localization_);
    view->setObjectName(QStringLiteral("slideshow.image.%1").arg(views_.size()));
    view->setBackgroundColor(Qt::black);
    view->setContentMode(LocalImageView::ContentMode::fit);
    view->setImageAlignment(Qt::AlignCenter);
    // Presses and drags are the strip's.
    view->setAttribute(Qt::WA_TransparentForMouseEvents);
    views_.push_back(view);
  }
  for (std::size_t i = 0; i < views_.size(); ++i) {
    LocalImageView* view = views_[i];
    if (i >= layout_.cells.size()) {
      view->hide();
      continue;
    }
    const auto& cell = layout_.cells[i];
    const QRect frame = cell.frame.toAlignedRect().intersected(rect());
    const bool inRange = cell.index >= 0 && static_cast<std::size_t>(cell.index) < records_.size() &&
                         records_[static_cast<std::size_t>(cell.index)] != nullptr;
    if (!inRange) {
      // Nothing to show here: the strip's black.
      view->hide();
      continue;
    }
    const ImageRecord& record = *records_[static_cast<std::size_t>(cell.index)];
    view->setGeometry(frame);
    view->setSource(record.file.path, std::nullopt,
                    localImageFileCacheKey(record.file.path, record.file.fileSize, record.file.modificationDate));
    view->show();
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
  if ((event->position().toPoint() - *pressPosition_).manhattanLength() < QApplication::startDragDistance()) return;
  const std::size_t index = static_cast<std::size_t>(*pressedCell_);
  pressPosition_.reset();
  pressedCell_.reset();
  if (index >= records_.size() || records_[index] == nullptr || !dragPayload) return;
  const RecordRef record = records_[index];
  const std::optional<std::string> file = dragPayload(*record);
  if (!file) return;
  auto* mime = new QMimeData();
  mime->setUrls({QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(*file)))});
  auto* drag = new QDrag(this);
  drag->setMimeData(mime);
  drag->exec(Qt::CopyAction);
}

}  // namespace lorvex::ui
