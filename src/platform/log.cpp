#include "platform/log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

namespace lorvex::platform {
namespace {

struct LogState {
  std::mutex mutex;
  LogSink logSink;            // empty: default stderr sink
  SignpostSink signpostSink;  // empty: stderr when tracing is on
  bool debugFromEnvironment = std::getenv("LORVEX_DEBUG") != nullptr;
  bool traceFromEnvironment = std::getenv("LORVEX_TRACE") != nullptr;
  std::atomic<bool> signpostsOn{false};
  std::atomic<std::uint64_t> nextIntervalID{1};

  LogState() { signpostsOn.store(traceFromEnvironment, std::memory_order_relaxed); }
};

LogState& state() {
  static LogState* const instance = new LogState();  // never destroyed: usable during exit
  return *instance;
}

const char* levelName(LogLevel level) {
  switch (level) {
    case LogLevel::debug:
      return "debug";
    case LogLevel::info:
      return "info";
    case LogLevel::error:
      return "error";
  }
  return "info";
}

const char* kindName(SignpostRecord::Kind kind) {
  switch (kind) {
    case SignpostRecord::Kind::event:
      return "event";
    case SignpostRecord::Kind::begin:
      return "begin";
    case SignpostRecord::Kind::end:
      return "end";
  }
  return "event";
}

void emit(SignpostRecord record) {
  auto& s = state();
  SignpostSink sink;
  {
    std::lock_guard lock(s.mutex);
    sink = s.signpostSink;
  }
  if (sink) {
    sink(record);
    return;
  }
  std::string line = std::string(kSignpostSubsystem) + " " + kindName(record.kind) + " " + record.name;
  if (record.intervalID != 0) line += " #" + std::to_string(record.intervalID);
  if (!record.message.empty()) line += " " + record.message;
  line += "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

void log(LogLevel level, std::string_view category, std::string_view message) {
  auto& s = state();
  LogSink sink;
  {
    std::lock_guard lock(s.mutex);
    sink = s.logSink;
  }
  if (sink) {
    sink(level, category, message);
    return;
  }
  if (level == LogLevel::debug && !s.debugFromEnvironment) return;
  std::string line;
  line.reserve(kLogSubsystem.size() + category.size() + message.size() + 16);
  line.append(kLogSubsystem).append(" [").append(category).append("] ").append(levelName(level));
  line.append(": ").append(message).append("\n");
  std::fwrite(line.data(), 1, line.size(), stderr);
}

LogSink setLogSink(LogSink sink) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  std::swap(s.logSink, sink);
  return sink;
}

bool signpostsEnabled() {
  return state().signpostsOn.load(std::memory_order_relaxed);
}

SignpostSink setSignpostSink(SignpostSink sink) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  std::swap(s.signpostSink, sink);
  s.signpostsOn.store(s.signpostSink != nullptr || s.traceFromEnvironment, std::memory_order_relaxed);
  return sink;
}

void signpostEvent(std::string_view name, std::string_view message) {
  if (!signpostsEnabled()) return;
  emit({SignpostRecord::Kind::event, std::string(name), 0, std::string(message)});
}

SignpostInterval::SignpostInterval(std::string_view name, std::string_view message) {
  if (!signpostsEnabled()) return;
  name_ = name;
  id_ = state().nextIntervalID.fetch_add(1, std::memory_order_relaxed);
  emit({SignpostRecord::Kind::begin, name_, id_, std::string(message)});
}

SignpostInterval::~SignpostInterval() {
  end();
}

void SignpostInterval::end(std::string_view message) {
  if (id_ == 0) return;
  emit({SignpostRecord::Kind::end, name_, id_, std::string(message)});
  id_ = 0;
}

}  // namespace lorvex::platform
