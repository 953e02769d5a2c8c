// Reading a library file in WAL mode makes SQLite create its "-wal" and "-shm" files when they are
// missing, even on a read-only connection, and leave them. A file that is only looked at (checked
// for damage, or read back after it was set aside) should stay as it was found: this guard, made
// before the connection opens and destroyed after it closed, takes away such files again when
// they are new and the log is empty.
//
// Thread safety: for one thread; nothing else may have the file open meanwhile.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace lorvex {

class LogFilesAsFound {
 public:
  explicit LogFilesAsFound(const std::filesystem::path& databaseFile)
      : log_(databaseFile.string() + "-wal"),
        logIndex_(databaseFile.string() + "-shm"),
        hadLog_(exists(log_)),
        hadLogIndex_(exists(logIndex_)) {}
  ~LogFilesAsFound() {
    std::error_code error;
    if (hadLog_ || std::filesystem::file_size(log_, error) != 0 || error) return;
    std::filesystem::remove(log_, error);
    if (!hadLogIndex_) std::filesystem::remove(logIndex_, error);
  }
  LogFilesAsFound(const LogFilesAsFound&) = delete;
  LogFilesAsFound& operator=(const LogFilesAsFound&) = delete;

 private:
  static bool exists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found;
  }

  std::filesystem::path log_;
  std::filesystem::path logIndex_;
  bool hadLog_;
  bool hadLogIndex_;
};

}  // namespace lorvex
