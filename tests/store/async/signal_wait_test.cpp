// A wait for a signal resumes after the emission has finished (never inside it), ends with false on
// a stop from any thread, does not suspend when already stopped, and never resumes a frame whose
// scope is gone.
#include "store/async/signal_wait.h"

#include <gtest/gtest.h>

#include <QObject>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "store/async/coroutine_scope.h"
#include "store/async/store_task.h"
#include "store/event_loop.h"

namespace lorvex {
namespace {

class Emitter : public QObject {
  Q_OBJECT

 public:
  // Emits, and notes that the emission is over: a waiter resumed inside it would come first.
  void fire(std::vector<std::string>& log) {
    Q_EMIT fired();
    log.push_back("emission over");
  }
  int firedReceivers() const { return receivers(SIGNAL(fired())); }

 Q_SIGNALS:
  void fired();
  void other();
};

QCoro::Task<void> waiter(CoroutineScope& scope, Emitter& emitter, std::stop_token stop,
                         std::vector<std::string>& log) {
  auto frame = co_await scope.enter();
  Emitter* sender = &emitter;
  const auto signal = &Emitter::fired;
  const bool signalled = co_await nextEmission(sender, signal, stop);
  log.push_back(signalled ? "signalled" : "stopped");
}

TEST(SignalWait, ResumesAfterTheEmissionOrOnAStop) {
  struct Case {
    std::string name;
    bool stopBefore;
    bool stopFromAnotherThread;
    bool emitOther;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"emission", false, false, false, {"emission over", "signalled"}},
      {"another signal does not wake it", false, false, true, {"emission over", "signalled"}},
      {"stop from another thread", false, true, false, {"stopped"}},
      {"stopped before it waits", true, false, false, {"stopped"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::application();
    CoroutineScope scope;
    Emitter emitter;
    std::stop_source stop;
    std::vector<std::string> log;
    if (c.stopBefore) stop.request_stop();
    auto run = [&](std::stop_token) { return waiter(scope, emitter, stop.get_token(), log); };
    const StoreTask<void> task = startStoreTask(scope, run);
    if (c.emitOther) {
      Q_EMIT emitter.other();
      testing::drainEvents();
      EXPECT_TRUE(log.empty());
    }
    if (c.stopFromAnotherThread) {
      std::thread([stopper = stop]() mutable { stopper.request_stop(); }).join();
    } else if (!c.stopBefore) {
      emitter.fire(log);
    }
    testing::runEventsUntil([&] { return task.isFinished(); });
    EXPECT_EQ(log, c.expected);
    // A later emission reaches nobody.
    emitter.fire(log);
    testing::drainEvents();
    EXPECT_EQ(log.size(), c.expected.size() + 1);
  }
}

TEST(SignalWait, AWaiterWhoseScopeIsGoneIsNeverResumed) {
  testing::application();
  Emitter emitter;
  std::vector<std::string> log;
  {
    CoroutineScope scope;
    std::stop_source stop;
    auto run = [&](std::stop_token) { return waiter(scope, emitter, stop.get_token(), log); };
    const StoreTask<void> task = startStoreTask(scope, run);
    EXPECT_FALSE(task.isFinished());
  }
  emitter.fire(log);
  testing::drainEvents();
  EXPECT_EQ(log, std::vector<std::string>{"emission over"});
  EXPECT_EQ(emitter.firedReceivers(), 0);
}

}  // namespace
}  // namespace lorvex

#include "signal_wait_test.moc"
