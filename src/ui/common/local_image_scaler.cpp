#include "ui/common/local_image_scaler.h"

#include <QThread>
#include <algorithm>
#include <utility>

namespace lorvex::ui {

QImage scaledForDisplay(const QImage& image, QSize size) {
  QImage scaled =
      image.size() == size ? image : image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const QImage::Format format =
      scaled.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
  if (scaled.format() != format) scaled = scaled.convertToFormat(format);
  return scaled;
}

LocalImageScaler::LocalImageScaler(QObject* parent) : QObject(parent) {
  // Two views at most scale at once (the inspector and the preview); more threads would only
  // compete with the decodes.
  pool_.setMaxThreadCount(std::clamp(QThread::idealThreadCount() / 4, 1, 2));
}

LocalImageScaler::~LocalImageScaler() {
  pool_.clear();
  pool_.waitForDone();
}

LocalImageScaler& LocalImageScaler::shared() {
  // Never destroyed: views may outlive any owner it could have.
  static LocalImageScaler* scaler = new LocalImageScaler();
  return *scaler;
}

LocalImageScaler::Ticket LocalImageScaler::scale(QImage image, QSize size, Completion done) {
  return scales_.start([image = std::move(image), size] { return scaledForDisplay(image, size); },
                       std::move(done));
}

void LocalImageScaler::cancel(Ticket ticket) {
  scales_.cancel(ticket);
}

}  // namespace lorvex::ui
