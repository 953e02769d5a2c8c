#include "app/main_thread_stall_monitor.h"

#include <cxxabi.h>

#include <QAbstractEventDispatcher>
#include <QEvent>
#include <QMetaEnum>
#include <QPointer>
#include <QThread>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>

#include "platform/log.h"
#include "store/async/coroutine_step.h"

namespace lorvex::app {

namespace {

constexpr std::string_view kCategory = "MainThreadStall";
constexpr std::chrono::milliseconds kLargestThreshold = std::chrono::hours(24);

std::string eventTypeName(QEvent::Type type) {
  const char* name = QMetaEnum::fromType<QEvent::Type>().valueToKey(static_cast<int>(type));
  return name != nullptr ? std::string(name) : "event " + std::to_string(static_cast<int>(type));
}

std::string objectText(const QMetaObject& meta, const QString& name) {
  std::string text = meta.className();
  if (!name.isEmpty()) text += " \"" + name.toStdString() + "\"";
  return text;
}

std::string demangled(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

}  // namespace

std::optional<std::chrono::milliseconds> parseStallThreshold(std::string_view value) {
  long long milliseconds = 0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data(), end, milliseconds);
  if (value.empty() || error != std::errc() || stop != end || value.front() == '-' ||
      milliseconds > kLargestThreshold.count()) {
    return std::nullopt;
  }
  return std::chrono::milliseconds(milliseconds);
}

StallMonitoringApplication::StallMonitoringApplication(int& argc, char** argv,
                                                       std::chrono::milliseconds threshold)
    : QApplication(argc, argv), threshold_(threshold) {
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread())) {
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
            [this] { blockedSince_ = Clock::now(); });
    connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] {
      if (blockedSince_) blocked_ += Clock::now() - *std::exchange(blockedSince_, std::nullopt);
    });
  }
  platform::logInfo(kCategory, "logging main-thread events handled in more than " +
                                   std::to_string(threshold_.count()) + " ms");
}

StallMonitoringApplication::~StallMonitoringApplication() = default;

bool StallMonitoringApplication::notify(QObject* receiver, QEvent* event) {
  if (receiver == nullptr || event == nullptr || QThread::currentThread() != thread()) {
    return QApplication::notify(receiver, event);
  }
  // Read before delivery: the handler may delete the receiver (a deferred delete always does).
  const QMetaObject* meta = receiver->metaObject();
  const QString name = receiver->objectName();
  const QEvent::Type type = event->type();
  const QPointer<QObject> alive(receiver);
  const std::type_info* outerStep = std::exchange(lastResumedCoroutineStep, nullptr);
  const Clock::duration blockedBefore = blocked_;
  const Clock::time_point start = Clock::now();

  ++depth_;
  bool handled = false;
  try {
    handled = QApplication::notify(receiver, event);
  } catch (...) {
    --depth_;
    lastResumedCoroutineStep = outerStep;
    throw;
  }
  --depth_;

  const Clock::duration handling = Clock::now() - start - (blocked_ - blockedBefore);
  const std::type_info* step = lastResumedCoroutineStep;
  // An outer event ran whatever step an inner one resumed.
  lastResumedCoroutineStep = step != nullptr ? step : outerStep;
  if (handling <= threshold_) return handled;

  std::string message =
      "main thread busy " +
      std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(handling).count()) +
      " ms handling " + eventTypeName(type) + " for " + objectText(*meta, name);
  if (name.isEmpty() && alive) {
    for (QObject* ancestor = alive->parent(); ancestor != nullptr; ancestor = ancestor->parent()) {
      if (ancestor->objectName().isEmpty()) continue;
      message += " in " + objectText(*ancestor->metaObject(), ancestor->objectName());
      break;
    }
  }
  if (step != nullptr) message += "; coroutine step after " + demangled(*step);
  if (depth_ > 0) message += "; nested at depth " + std::to_string(depth_);
  platform::logInfo(kCategory, message);
  return handled;
}

std::unique_ptr<QApplication> makeLorvexQApplication(int& argc, char** argv) {
  const char* value = std::getenv(kStallThresholdVariable);
  if (value == nullptr) return std::make_unique<QApplication>(argc, argv);
  const std::optional<std::chrono::milliseconds> threshold = parseStallThreshold(value);
  if (!threshold) {
    platform::logError(kCategory, std::string(kStallThresholdVariable) +
                                      " is not a whole number of milliseconds; the stall monitor stays off");
    return std::make_unique<QApplication>(argc, argv);
  }
  return std::make_unique<StallMonitoringApplication>(argc, argv, *threshold);
}

}  // namespace lorvex::app
