// Logging and performance signposts: the one place where the program writes diagnostics.
//
// Messages carry a category ("FolderAccess", "IndexingPerformance", …) under the subsystem
// "app.lorvex.Lorvex". Signposts are interval and event records under
// "app.lorvex.Lorvex.performance"; they cost one relaxed atomic load when tracing is off, and are
// on only when the environment variable LORVEX_TRACE is set (or a test installs a sink).
//
// Thread safety: every function here may be called from any thread at any time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace lorvex::platform {

inline constexpr std::string_view kLogSubsystem = "app.lorvex.Lorvex";
inline constexpr std::string_view kSignpostSubsystem = "app.lorvex.Lorvex.performance";

enum class LogLevel { debug, info, error };

// Receives every message at or above the active level. The default sink writes one line to stderr;
// debug messages are dropped unless LORVEX_DEBUG is set.
using LogSink = std::function<void(LogLevel, std::string_view category, std::string_view message)>;

void log(LogLevel level, std::string_view category, std::string_view message);
inline void logDebug(std::string_view category, std::string_view message) {
  log(LogLevel::debug, category, message);
}
inline void logInfo(std::string_view category, std::string_view message) {
  log(LogLevel::info, category, message);
}
inline void logError(std::string_view category, std::string_view message) {
  log(LogLevel::error, category, message);
}

// Replaces the sink (and lets debug messages through to it); an empty function restores the
// default. Returns the previous sink. Meant for tests and for the application's start-up.
LogSink setLogSink(LogSink sink);

// One signpost record: an event, or the begin or end of an interval. Interval ids pair a begin
// with its end.
struct SignpostRecord {
  enum class Kind { event, begin, end };
  Kind kind;
  std::string name;  // "Query", "Enqueue", "Generate", "Load", "Decode", "LockWait", …
  std::uint64_t intervalID = 0;
  std::string message;
};
using SignpostSink = std::function<void(const SignpostRecord&)>;

bool signpostsEnabled();
// Installs a sink that receives every record (and turns signposts on); an empty function restores
// the default (stderr when LORVEX_TRACE is set, else off). Returns the previous sink.
SignpostSink setSignpostSink(SignpostSink sink);

void signpostEvent(std::string_view name, std::string_view message = {});

// An interval that ends when the object goes out of scope (or at end()).
class SignpostInterval {
 public:
  explicit SignpostInterval(std::string_view name, std::string_view message = {});
  ~SignpostInterval();
  SignpostInterval(const SignpostInterval&) = delete;
  SignpostInterval& operator=(const SignpostInterval&) = delete;

  void end(std::string_view message = {});

 private:
  std::string name_;
  std::uint64_t id_ = 0;  // 0 when signposts were off at the start
};

}  // namespace lorvex::platform
