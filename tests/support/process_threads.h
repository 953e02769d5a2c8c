// The threads of this process other than the calling one, by name and id (/proc/self/task): what a
// program would leave running if it exited now. Qt's threads are detached (QThread::wait() returns
// a moment before the system thread is gone), so ended ones are given up to `limit` to leave.
#pragma once

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace lorvex::testing {

inline std::vector<std::string> otherThreadsOfThisProcess(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
      if (task.path().filename() == std::to_string(::gettid())) continue;
      std::string name;
      std::getline(std::ifstream(task.path() / "comm"), name);
      names.push_back(name + " (" + task.path().filename().string() + ")");
    }
    if (names.empty() || std::chrono::steady_clock::now() >= deadline) return names;
    ::usleep(1000);
  }
}

}  // namespace lorvex::testing
