// Image work run on a thread pool under tickets, each delivered on the owner's thread.
//
// `start` runs `work` on the pool and calls `done` later, on the owner's thread, with the image it
// made, unless the ticket is cancelled first: then `done` is never called and a run still queued
// is skipped. Tickets start at 1, so 0 can stand for "none". The owner waits for the pool before
// this object goes (a delivery posted to a destroyed owner is dropped with it).
//
// Thread safety: call from the owner's thread only; `work` runs on a pool thread.
#pragma once

#include <QImage>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

class QObject;
class QThreadPool;

namespace lorvex::ui {

class PendingImageWork {
 public:
  using Ticket = std::uint64_t;
  using Work = std::function<QImage()>;
  using Done = std::function<void(const QImage&)>;

  PendingImageWork(QObject& owner, QThreadPool& pool) : owner_(owner), pool_(pool) {}
  PendingImageWork(const PendingImageWork&) = delete;
  PendingImageWork& operator=(const PendingImageWork&) = delete;

  Ticket start(Work work, Done done);
  // Unknown or delivered tickets are ignored.
  void cancel(Ticket ticket);
  // Started and neither delivered nor cancelled.
  std::size_t size() const { return pending_.size(); }

 private:
  void finish(Ticket ticket, const QImage& image);

  struct Pending {
    Done done;
    std::shared_ptr<std::atomic<bool>> cancelled;
  };

  QObject& owner_;
  QThreadPool& pool_;
  std::unordered_map<Ticket, Pending> pending_;
  Ticket nextTicket_ = 1;
};

}  // namespace lorvex::ui
