#include "store/async/turn_end_call.h"

#include <QMetaObject>
#include <algorithm>
#include <deque>
#include <utility>

namespace lorvex {
namespace {

// The calls queued on this thread and not yet run, oldest first.
std::deque<TurnEndCall*>& queuedCalls() {
  thread_local std::deque<TurnEndCall*> calls;
  return calls;
}

}  // namespace

TurnEndCall::TurnEndCall(QObject* owner, std::function<void()> run) : owner_(owner), run_(std::move(run)) {}

TurnEndCall::~TurnEndCall() {
  cancel();
}

void TurnEndCall::schedule() {
  if (isScheduled_) return;
  isScheduled_ = true;
  queuedCalls().push_back(this);
  // One posted call at a time: one that finds the work already run (by runTurnEndWork) and queued
  // again runs it then, as any later one would.
  if (isPosted_) return;
  isPosted_ = true;
  QMetaObject::invokeMethod(
      owner_,
      [this] {
        isPosted_ = false;
        runIfScheduled();
      },
      Qt::QueuedConnection);
}

void TurnEndCall::cancel() {
  if (!isScheduled_) return;
  isScheduled_ = false;
  auto& calls = queuedCalls();
  calls.erase(std::find(calls.begin(), calls.end(), this));
}

void TurnEndCall::runIfScheduled() {
  if (!isScheduled_) return;
  cancel();
  run_();
}

bool runTurnEndWork() {
  auto& calls = queuedCalls();
  if (calls.empty()) return false;
  // One at a time from the front: a call may queue others, or (in a nested event loop) run this
  // again.
  while (!calls.empty()) calls.front()->runIfScheduled();
  return true;
}

}  // namespace lorvex
