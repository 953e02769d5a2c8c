#include "main_thread_busy_clock.h"

#include <time.h>

#include <QAbstractEventDispatcher>
#include <QEvent>
#include <QMetaEnum>
#include <QThread>

namespace lorvex::bench {

namespace {

std::string describe(QEvent::Type type, const QMetaObject& meta, const QString& name) {
  const char* typeName = QMetaEnum::fromType<QEvent::Type>().valueToKey(static_cast<int>(type));
  std::string text = typeName != nullptr ? typeName : "event " + std::to_string(static_cast<int>(type));
  text += std::string(" for ") + meta.className();
  if (!name.isEmpty()) text += " \"" + name.toStdString() + "\"";
  return text;
}

std::chrono::nanoseconds threadCPUTime() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace

MainThreadBusyClock::MainThreadBusyClock(int& argc, char** argv, std::chrono::milliseconds stallThreshold)
    : StallMonitoringApplication(argc, argv, stallThreshold) {
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread())) {
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
            [this] { blockedSince_ = Clock::now(); });
    connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] {
      if (blockedSince_) blocked_ += Clock::now() - *std::exchange(blockedSince_, std::nullopt);
    });
  }
}

bool MainThreadBusyClock::notify(QObject* receiver, QEvent* event) {
  if (receiver == nullptr || event == nullptr || depth_ > 0 || QThread::currentThread() != thread()) {
    return StallMonitoringApplication::notify(receiver, event);
  }
  // Read before delivery: the handler may delete the receiver.
  const QEvent::Type type = event->type();
  const QMetaObject* meta = receiver->metaObject();
  const QString name = receiver->objectName();
  const Clock::duration blockedBefore = blocked_;
  const std::chrono::nanoseconds cpuStart = threadCPUTime();
  const Clock::time_point start = Clock::now();
  ++depth_;
  bool handled = false;
  try {
    handled = StallMonitoringApplication::notify(receiver, event);
  } catch (...) {
    --depth_;
    throw;
  }
  --depth_;
  const Clock::duration handling = Clock::now() - start - (blocked_ - blockedBefore);
  window_.busy += handling;
  window_.cpu += std::chrono::duration_cast<Clock::duration>(threadCPUTime() - cpuStart);
  ++window_.events;
  if (handling > window_.longest) {
    window_.longest = handling;
    window_.longestEvent = describe(type, *meta, name);
  }
  return handled;
}

}  // namespace lorvex::bench
