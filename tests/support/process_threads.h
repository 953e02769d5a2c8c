// The threads of this process other than the calling one, by name (/proc/self/task): what a
// program would leave running if it exited now.
#pragma once

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace lorvex::testing {

inline std::vector<std::string> otherThreadsOfThisProcess() {
  std::vector<std::string> names;
  const std::string self = std::to_string(::gettid());
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
    if (task.path().filename() == self) continue;
    std::string name;
    std::getline(std::ifstream(task.path() / "comm"), name);
    names.push_back(name + " (" + task.path().filename().string() + ")");
  }
  return names;
}

// Qt's threads are detached: QThread::wait() returns once a thread's work is done, a moment before
// the system thread is gone. The threads still there after giving ended ones up to `limit` to go.
inline std::vector<std::string> otherThreadsAfterEndedOnesLeave(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::vector<std::string> left = otherThreadsOfThisProcess();
  while (!left.empty() && std::chrono::steady_clock::now() < deadline) {
    ::usleep(1000);
    left = otherThreadsOfThisProcess();
  }
  return left;
}

}  // namespace lorvex::testing
