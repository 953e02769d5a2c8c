#include "ui/common/pending_image_work.h"

#include <QMetaObject>
#include <QObject>
#include <QThreadPool>
#include <utility>

namespace lorvex::ui {

PendingImageWork::Ticket PendingImageWork::start(Work work, Done done) {
  const Ticket ticket = nextTicket_++;
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  pending_.emplace(ticket, Pending{std::move(done), cancelled});
  pool_.start([this, ticket, cancelled, work = std::move(work)] {
    QImage made;
    if (!cancelled->load()) made = work();
    QMetaObject::invokeMethod(
        &owner_, [this, ticket, made = std::move(made)] { finish(ticket, made); }, Qt::QueuedConnection);
  });
  return ticket;
}

void PendingImageWork::cancel(Ticket ticket) {
  const auto found = pending_.find(ticket);
  if (found == pending_.end()) return;
  found->second.cancelled->store(true);
  pending_.erase(found);
}

void PendingImageWork::finish(Ticket ticket, const QImage& image) {
  const auto found = pending_.find(ticket);
  if (found == pending_.end()) return;
  const Done done = std::move(found->second.done);
  pending_.erase(found);
  done(image);
}

}  // namespace lorvex::ui
