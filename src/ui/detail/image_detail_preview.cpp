#include "ui/detail/image_detail_preview.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainterPath>
#include <QRegion>

#include "store/context/store_context.h"
#include "ui/common/image_context_menu_widget.h"
#include "ui/common/image_drag.h"
#include "ui/common/reveal_in_file_manager.h"
#include "ui/common/ui_roles.h"
#include "ui/detail/image_detail_panel_rules.h"

namespace lorvex::ui {

std::optional<ImageDragPayload> imageDetailDragPayload(const StoreContext& context,
                                                       const ImageRecord& record) {
  // The service in place when the drag begins: before the library is prepared it is the
  // placeholder, which has no payload.
  const std::shared_ptr<ImageLibraryServicing> service = context.service();
  if (!service) return std::nullopt;
  return service->imageDragPayload(record);
}

ImageDetailPreview::ImageDetailPreview(ImageContextMenuModels models, const AppLocalization* localization,
                                       QWidget* parent)
    : LocalImageView(parent, false, LocalImageLoader::shared(), localization),
      models_(models),
      localization_(localization ? *localization : AppLocalization::live()) {
  setObjectName("detail.preview");
  setMinimumHeight(kMinimumHeight);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setContentMode(ContentMode::fit);
  setImageAlignment(Qt::AlignCenter);
  setBackgroundColor(roleColor(ColorRole::windowBackground, palette()));
}

void ImageDetailPreview::setRecord(RecordRef record) {
  record_ = std::move(record);
  if (!record_) {
    setSource(std::nullopt);
    return;
  }
  setSource(record_->file.path, record_->thumbnailPath, imageDetailPreviewCacheKey(*record_),
            record_->thumbnailPath, kImageDetailPreviewMaxPixelSize);
}

void ImageDetailPreview::resizeEvent(QResizeEvent* event) {
  LocalImageView::resizeEvent(event);
  QPainterPath path;
  path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
  setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void ImageDetailPreview::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  pressPosition_ = event->position().toPoint();
  LocalImageView::mousePressEvent(event);
}

void ImageDetailPreview::mouseMoveEvent(QMouseEvent* event) {
  LocalImageView::mouseMoveEvent(event);
  if (!pressed_ || !(event->buttons() & Qt::LeftButton) || !record_) return;
  if ((event->position().toPoint() - pressPosition_).manhattanLength() < QApplication::startDragDistance())
    return;
  pressed_ = false;
  const std::optional<ImageDragPayload> payload = imageDetailDragPayload(models_.context, *record_);
  if (!payload) return;
  const QImage shown = displayedImage();
  const QPixmap preview =
      shown.isNull()
          ? QPixmap()
          : QPixmap::fromImage(shown.scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  startImageDrag(*this, payload, preview);
}

void ImageDetailPreview::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  if (!record_) return;
  // The shown record alone, never the grid's selection.
  QMenu* menu = makeImageContextMenuWidget(
      makeImageContextMenu(models_, ImageContextMenuTarget::single(record_), localization_,
                           [](const std::string& path) { revealInFileManager(path); }),
      this);
  menu->setObjectName("detail.preview.menu");
  menu->popup(event->globalPos());
}

}  // namespace lorvex::ui
