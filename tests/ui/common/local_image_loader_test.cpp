#include "ui/common/local_image_loader.h"

#include <gtest/gtest.h>

#include <QThread>
#include <vector>

#include "store/event_loop.h"
#include "ui/common/scripted_decodes.h"

namespace lorvex::ui {
namespace {

using testing::runEventsUntil;

struct Outcome {
  int calls = 0;
  LocalImageDecodeResult result;
};

LocalImageLoader::Completion recordInto(Outcome& outcome) {
  return [&outcome](const LocalImageDecodeResult& result) {
    ++outcome.calls;
    outcome.result = result;
  };
}

TEST(LocalImageLoaderTest, OneDecodePerKeyInFlightAndTheCacheAnswersAfterwards) {
  testing::application();
  testing::ScriptedDecodes decoder;
  LocalImageMemoryCache cache(10, 1'000'000);
  LocalImageDecodeLimiter limiter(4);
  LocalImageLoader loader(cache, limiter, decoder.function());
  decoder.hold();
  Outcome first, second, otherSize, noKey;
  loader.load("/a.png", std::string("A"), std::nullopt, recordInto(first));
  loader.load("/a.png", std::string("A"), std::nullopt, recordInto(second));
  loader.load("/a.png", std::string("A\x1FmaxPixelSize=32"), 32, recordInto(otherSize));
  loader.load("/a.png", std::nullopt, std::nullopt, recordInto(noKey));
  EXPECT_EQ(loader.decodesInFlightForTest(), 3u);
  decoder.waitForCalls(3);
  decoder.release();
  ASSERT_TRUE(runEventsUntil([&] { return loader.decodesInFlightForTest() == 0; }));

  EXPECT_EQ(decoder.calls().size(), 3u);
  for (const Outcome* outcome : {&first, &second, &noKey}) {
    EXPECT_EQ(outcome->calls, 1);
    EXPECT_EQ(outcome->result.image.size(), QSize(64, 64));
  }
  EXPECT_EQ(otherSize.result.image.size(), QSize(32, 32));
  EXPECT_EQ(cache.count(), 2u);  // keyless loads are not cached

  Outcome cached;
  EXPECT_EQ(loader.load("/a.png", std::string("A"), std::nullopt, recordInto(cached)), 0u);
  EXPECT_EQ(cached.calls, 1);  // answered before load returned
  EXPECT_EQ(cached.result.image.size(), QSize(64, 64));
  EXPECT_EQ(decoder.calls().size(), 3u);
}

TEST(LocalImageLoaderTest, DecodesRunOffTheGuiThreadAndFailuresAreNeverCached) {
  testing::application();
  testing::ScriptedDecodes decoder;
  LocalImageMemoryCache cache(10, 1'000'000);
  LocalImageDecodeLimiter limiter(2);
  LocalImageLoader loader(cache, limiter, decoder.function());
  Outcome good, bad;
  loader.load("/a.png", std::string("A"), std::nullopt, recordInto(good));
  loader.load("/missing.png", std::string("M"), std::nullopt, recordInto(bad));
  ASSERT_TRUE(runEventsUntil([&] { return good.calls == 1 && bad.calls == 1; }));
  EXPECT_FALSE(decoder.threads().count(QThread::currentThread()));
  EXPECT_FALSE(decoder.threads().empty());
  EXPECT_TRUE(bad.result.error);
  EXPECT_TRUE(cache.contains("A"));
  EXPECT_FALSE(cache.contains("M"));
  EXPECT_EQ(limiter.activeCount(), 0);
}

TEST(LocalImageLoaderTest, CancelledQueuedDecodesLeaveTheQueueAndRunningOnesStillFillTheCache) {
  testing::application();
  testing::ScriptedDecodes decoder;
  LocalImageMemoryCache cache(10, 1'000'000);
  LocalImageDecodeLimiter limiter(1);
  LocalImageLoader loader(cache, limiter, decoder.function());
  decoder.hold();
  Outcome running, queued, shared, sharedToo;
  const auto runningTicket = loader.load("/run.png", std::string("R"), std::nullopt, recordInto(running));
  const auto queuedTicket = loader.load("/queued.png", std::string("Q"), std::nullopt, recordInto(queued));
  const auto sharedTicket = loader.load("/shared.png", std::string("S"), std::nullopt, recordInto(shared));
  loader.load("/shared.png", std::string("S"), std::nullopt, recordInto(sharedToo));
  decoder.waitForCalls(1);
  EXPECT_EQ(limiter.waiterCount(), 2);

  loader.cancel(runningTicket);
  loader.cancel(queuedTicket);
  loader.cancel(sharedTicket);  // another caller still waits for this one
  EXPECT_EQ(limiter.waiterCount(), 1);
  decoder.release();
  ASSERT_TRUE(runEventsUntil([&] { return loader.decodesInFlightForTest() == 0; }));

  EXPECT_EQ(decoder.calls(), (std::vector<std::string>{"/run.png", "/shared.png"}));
  EXPECT_EQ(running.calls + queued.calls + shared.calls, 0);
  EXPECT_EQ(sharedToo.calls, 1);
  EXPECT_TRUE(cache.contains("R"));
  EXPECT_EQ(limiter.activeCount(), 0);
}

TEST(LocalImageLoaderTest, ALoaderGoneWithDecodesQueuedGivesEveryPermitBack) {
  testing::application();
  testing::ScriptedDecodes decoder;
  LocalImageMemoryCache cache(10, 1'000'000);
  LocalImageDecodeLimiter limiter(1);
  {
    LocalImageLoader loader(cache, limiter, decoder.function());
    Outcome a, b;
    loader.load("/a.png", std::string("A"), std::nullopt, recordInto(a));
    loader.load("/b.png", std::string("B"), std::nullopt, recordInto(b));
    decoder.waitForCalls(1);
  }
  EXPECT_EQ(limiter.activeCount(), 0);
  EXPECT_EQ(limiter.waiterCount(), 0);
  testing::drainEvents();
}

// Pixel work on a decoded image runs on the loader's pool and counts as work in flight until its
// result is delivered on the GUI thread, so whoever waits for a view's images waits for it too;
// a cancelled preparation is never delivered and stops counting at once.
TEST(LocalImageLoaderTest, PreparationsRunOffTheGuiThreadAndCountUntilDelivered) {
  testing::application();
  testing::ScriptedDecodes decoder;
  LocalImageMemoryCache cache(10, 1'000'000);
  LocalImageDecodeLimiter limiter(2);
  LocalImageLoader loader(cache, limiter, decoder.function());
  for (const bool cancelled : {false, true}) {
    SCOPED_TRACE(cancelled ? "cancelled" : "delivered");
    QThread* ranOn = nullptr;
    int deliveries = 0;
    QImage delivered;
    const auto ticket = loader.prepare(
        [&ranOn] {
          ranOn = QThread::currentThread();
          QImage made(8, 8, QImage::Format_ARGB32_Premultiplied);
          made.fill(Qt::red);
          return made;
        },
        [&](const QImage& image) {
          ++deliveries;
          delivered = image;
        });
    EXPECT_EQ(loader.decodesInFlightForTest(), 1u);
    if (cancelled) {
      loader.cancelPreparation(ticket);
      EXPECT_EQ(loader.decodesInFlightForTest(), 0u);
    }
    ASSERT_TRUE(runEventsUntil(
        [&] { return loader.decodesInFlightForTest() == 0 && (cancelled || deliveries > 0); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(deliveries, cancelled ? 0 : 1);
    if (!cancelled) {
      EXPECT_NE(ranOn, nullptr);
      EXPECT_NE(ranOn, QThread::currentThread());
      EXPECT_EQ(delivered.pixelColor(4, 4), QColor(Qt::red));
    }
  }
}

}  // namespace
}  // namespace lorvex::ui
