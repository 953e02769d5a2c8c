// A call queued for the end of the turn runs once; a cancelled one runs neither from its posted
// call nor from runTurnEndWork until it is queued again.
#include "store/async/turn_end_call.h"

#include <gtest/gtest.h>

#include <QObject>
#include <functional>
#include <string>

#include "store/event_loop.h"

namespace lorvex {
namespace {

TEST(TurnEndCall, ACancelledCallRunsOnlyOnceQueuedAgain) {
  const struct {
    const char* name;
    std::function<void(TurnEndCall&)> afterSchedule;
    int runs;
  } cases[] = {
      {"left queued", [](TurnEndCall&) {}, 1},
      {"cancelled", [](TurnEndCall& call) { call.cancel(); }, 0},
      {"cancelled and queued again",
       [](TurnEndCall& call) {
         call.cancel();
         call.schedule();
       },
       1},
  };
  for (const auto& c : cases) {
    for (const bool beforePaint : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (beforePaint ? ", the turn's work run before a paint" : ""));
      testing::application();
      QObject owner;
      int runs = 0;
      TurnEndCall call(&owner, [&] { ++runs; });
      call.schedule();
      c.afterSchedule(call);
      if (beforePaint) {
        EXPECT_EQ(runTurnEndWork(), c.runs > 0);
      }
      testing::drainEvents();
      EXPECT_EQ(runs, c.runs);
    }
  }
}

}  // namespace
}  // namespace lorvex
