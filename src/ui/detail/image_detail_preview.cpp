#include "ui/detail/image_detail_preview.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainterPath>
#include <QRegion>
#include <QUrl>

#include "store/image_library_store.h"
#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"
#include "ui/detail/image_detail_panel_rules.h"

namespace lorvex::ui {

std::unique_ptr<QMimeData> makeImageDragMimeData(ImageLibraryStore& store, const ImageRecord& record) {
  // The service in place when the drag begins: before the library is prepared it is the
  // placeholder, which has no payload.
  const std::shared_ptr<ImageLibraryServicing> service = store.service();
  if (!service) return nullptr;
  const std::optional<ImageDragPayload> payload = service->imageDragPayload(record);
  if (!payload || payload->fileURL.empty()) return nullptr;
  auto data = std::make_unique<QMimeData>();
  const QString location = qtText(payload->fileURL);
  const QUrl url =
      location.startsWith(QStringLiteral("file:")) ? QUrl(location) : QUrl::fromLocalFile(location);
  data->setUrls({url});
  return data;
}

ImageDetailPreview::ImageDetailPreview(ImageLibraryStore& store, const AppLocalization* localization,
                                       QWidget* parent)
    : LocalImageView(parent, false, LocalImageLoader::shared(), localization),
      store_(store),
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
  std::unique_ptr<QMimeData> data = makeImageDragMimeData(store_, *record_);
  if (!data) return;
  auto* drag = new QDrag(this);
  drag->setMimeData(data.release());
  const QImage shown = displayedImage();
  if (!shown.isNull())
    drag->setPixmap(
        QPixmap::fromImage(shown.scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  drag->exec(Qt::CopyAction);
}

}  // namespace lorvex::ui
