// Runs an update at most once per turn of the event loop however many store signals ask for it:
// the results widgets rebuild from the store's signals this way, so a store operation that
// changes several fields costs one rebuild, made after the store has finished changing them.
//
// Thread safety: the owner's thread only.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace lorvex::ui {

class OncePerTurn {
 public:
  // `run` is called from the event loop, never from schedule(); not after `owner` is gone.
  OncePerTurn(QObject* owner, std::function<void()> run) : owner_(owner), run_(std::move(run)) {}

  void schedule() {
    if (scheduled_) return;
    scheduled_ = true;
    QTimer::singleShot(0, owner_, [this] {
      scheduled_ = false;
      run_();
    });
  }

 private:
  QObject* owner_;
  std::function<void()> run_;
  bool scheduled_ = false;
};

}  // namespace lorvex::ui
