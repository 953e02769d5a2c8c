#include "ui/common/image_drag.h"

#include <QDrag>
#include <QUrl>
#include <QWidget>

#include "ui/common/plain_text.h"

namespace lorvex::ui {

std::unique_ptr<QMimeData> makeImageDragMimeData(const std::optional<ImageDragPayload>& payload) {
  if (!payload || payload->fileURL.empty()) return nullptr;
  auto data = std::make_unique<QMimeData>();
  const QString path = qtText(payload->fileURL);
  data->setUrls({QUrl::fromLocalFile(path)});
  data->setText(path);
  return data;
}

bool startImageDrag(QWidget& source, const std::optional<ImageDragPayload>& payload, const QPixmap& preview) {
  std::unique_ptr<QMimeData> data = makeImageDragMimeData(payload);
  if (!data) return false;
  auto* drag = new QDrag(&source);
  drag->setMimeData(data.release());
  if (!preview.isNull()) {
    drag->setPixmap(preview);
    drag->setHotSpot(QPoint(preview.width() / 2, preview.height() / 2) / preview.devicePixelRatio());
  }
  drag->exec(Qt::CopyAction, Qt::CopyAction);
  return true;
}

}  // namespace lorvex::ui
