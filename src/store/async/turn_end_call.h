// Work queued for the end of the event-loop turn: a value derived from several store fields, a
// view rebuilt from several signals. However often one turn asks for it, it runs once, after the
// handler that asked has returned: from a call posted to the event loop, or earlier, when
// runTurnEndWork() runs every call still queued. The windows do that just before they paint, so
// what one turn changed reaches the screen in one paint, whichever order Qt queued the paint and
// the posted calls in. An owner that does the work at once instead cancel()s the queued call.
//
// Thread safety: the thread that created the owner only (the main thread).
#pragma once

#include <QObject>
#include <functional>

namespace lorvex {

class TurnEndCall {
 public:
  // `run` is called from the event loop or from runTurnEndWork(), never from schedule(); never
  // after this object is gone (a member of `owner`, it goes before `owner` does).
  TurnEndCall(QObject* owner, std::function<void()> run);
  ~TurnEndCall();
  TurnEndCall(const TurnEndCall&) = delete;
  TurnEndCall& operator=(const TurnEndCall&) = delete;

  // Queues the call unless it is queued.
  void schedule();
  // Takes the call off the queue, when it is queued: it runs only when scheduled again.
  void cancel();

 private:
  friend bool runTurnEndWork();
  // Takes the call off the queue and runs it, when it is queued.
  void runIfScheduled();

  QObject* owner_;
  std::function<void()> run_;
  bool isScheduled_ = false;
  bool isPosted_ = false;
};

// Runs every call queued on this thread in the order they were queued, and those they queue
// meanwhile, until none is left; false when none was queued.
bool runTurnEndWork();

}  // namespace lorvex
