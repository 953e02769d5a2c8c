#include "ui/results/image_drag.h"

#include <QDrag>
#include <QFile>
#include <QUrl>
#include <QWidget>

#include "services/image_library_servicing.h"

namespace lorvex::ui {

std::unique_ptr<QMimeData> makeImageDragMimeData(ImageLibraryServicing& service, const ImageRecord& record) {
  const std::optional<ImageDragPayload> payload = service.imageDragPayload(record);
  if (!payload) return nullptr;
  auto data = std::make_unique<QMimeData>();
  // The payload holds the path as bytes; the URL names the same file whatever their encoding.
  data->setUrls({QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(payload->fileURL)))});
  return data;
}

void startImageDrag(QWidget& source, std::unique_ptr<QMimeData> data) {
  auto* drag = new QDrag(&source);
  drag->setMimeData(data.release());
  drag->exec(Qt::CopyAction);
}

}  // namespace lorvex::ui
