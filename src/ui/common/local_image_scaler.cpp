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
  connect(this, &LocalImageScaler::scaleFinished, this, &LocalImageScaler::finishScale, Qt::QueuedConnection);
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
  const Ticket ticket = nextTicket_++;
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  waiting_.emplace(ticket, Waiting{std::move(done), cancelled});
  pool_.start([this, ticket, cancelled, image = std::move(image), size] {
    Q_EMIT scaleFinished(ticket, cancelled->load() ? QImage() : scaledForDisplay(image, size));
  });
  return ticket;
}

void LocalImageScaler::cancel(Ticket ticket) {
  const auto found = waiting_.find(ticket);
  if (found == waiting_.end()) return;
  found->second.cancelled->store(true);
  waiting_.erase(found);
}

void LocalImageScaler::finishScale(quint64 ticket, const QImage& scaled) {
  const auto found = waiting_.find(ticket);
  if (found == waiting_.end()) return;
  const Completion done = std::move(found->second.done);
  waiting_.erase(found);
  done(scaled);
}

}  // namespace lorvex::ui
