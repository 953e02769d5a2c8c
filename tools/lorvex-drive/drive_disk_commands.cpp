// lorvex-drive's commands that change the disk under a running store, the way another program or
// the person would while folder monitoring runs: writing a file's bytes over another, renaming
// one, and letting time pass so that monitoring and the background passes it starts can act.
#include <QEventLoop>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "drive_commands.h"
#include "model/raw_value.h"
#include "model/text/numbers.h"
#include "platform/trash.h"
#include "store/image_library_store.h"

namespace lorvex {

namespace {

// The longest wait a command may ask for: a typo must not hang a check for hours.
constexpr double kLongestWaitSeconds = 600;

bool writeFile(DriveContext&, const std::vector<std::string>& arguments) {
  if (arguments.size() != 2) {
    std::printf("error: write takes PATH and FROM\n");
    return false;
  }
  const std::string& path = arguments[0];
  const std::string& from = arguments[1];
  std::ifstream source(from, std::ios::binary);
  if (!source) {
    std::printf("error: cannot read %s: %s\n", from.c_str(), std::strerror(errno));
    return false;
  }
  // In place, as a copy over an existing file makes it: the same file, new bytes, a new time.
  std::ofstream target(path, std::ios::binary | std::ios::trunc);
  if (!target) {
    std::printf("error: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  target << source.rdbuf();
  target.close();
  if (!target) {
    std::printf("error: writing %s failed\n", path.c_str());
    return false;
  }
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  std::printf("wrote: %s (%lld bytes of %s)\n", path.c_str(), error ? -1LL : static_cast<long long>(size),
              from.c_str());
  return true;
}

bool moveFile(DriveContext&, const std::vector<std::string>& arguments) {
  if (arguments.size() != 2) {
    std::printf("error: move takes PATH and NEWPATH\n");
    return false;
  }
  // Never over an existing file: the check must not destroy what it did not mean to.
  const int error = platform::renameWithoutReplacing(arguments[0], arguments[1]);
  if (error != 0) {
    std::printf("error: cannot move %s to %s: %s\n", arguments[0].c_str(), arguments[1].c_str(),
                std::strerror(error));
    return false;
  }
  std::printf("moved: %s -> %s\n", arguments[0].c_str(), arguments[1].c_str());
  return true;
}

bool waitSeconds(DriveContext& context, const std::vector<std::string>& arguments) {
  const std::optional<double> seconds = arguments.size() == 1 ? text::parseReal(arguments[0]) : std::nullopt;
  if (!seconds || !(*seconds >= 0) || *seconds > kLongestWaitSeconds) {
    std::printf("error: wait takes a number of seconds from 0 to %.0f\n", kLongestWaitSeconds);
    return false;
  }
  // The event loop runs meanwhile: monitoring's batches arrive, the debounce ends and a pass runs.
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(*seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
  std::printf("waited: %s s\n", arguments[0].c_str());
  const auto& scan = context.store.library().lastScanDiagnosticContext();
  std::printf("last scan: %s\n", scan ? std::string(rawValue(scan->source)).c_str() : "none");
  context.printScanSummary();
  return true;
}

}  // namespace

void addDiskCommands(DriveCommands& commands) {
  commands.add("write", "write PATH FROM: writes FROM's bytes over PATH in place, with monitoring running",
               writeFile);
  commands.add("move", "move PATH NEWPATH: renames PATH to NEWPATH (never over an existing file)", moveFile);
  commands.add("wait",
               "wait SECONDS: lets the store run for SECONDS (monitoring, background passes), then prints "
               "the last scan",
               waitSeconds);
}

}  // namespace lorvex
