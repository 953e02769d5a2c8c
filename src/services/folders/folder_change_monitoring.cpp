#include "services/folders/folder_change_monitoring.h"

#include <time.h>

#include <atomic>

namespace lorvex {
namespace {

const char* descriptionFor(FolderChangeMonitorError::Code code) {
  switch (code) {
    case FolderChangeMonitorError::Code::streamCreationFailed:
      return "フォルダ監視を開始できませんでした。";
    case FolderChangeMonitorError::Code::streamStartFailed:
      return "フォルダ監視ストリームを開始できませんでした。";
    case FolderChangeMonitorError::Code::watchLimitReached:
      return "フォルダ監視を開始できませんでした。監視できるフォルダ数の上限に達しています "
             "(sysctl fs.inotify.max_user_watches を増やしてください)。";
  }
  return "フォルダ監視を開始できませんでした。";
}

constexpr std::uint64_t kIDMask = (std::uint64_t{1} << 63) - 1;

}  // namespace

FolderChangeMonitorError::FolderChangeMonitorError(Code code)
    : LibraryError(Kind::folderMonitoring, descriptionFor(code)), code_(code) {}

std::uint64_t nextFolderEventID() {
  static std::atomic<std::uint64_t> last{0};
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const std::uint64_t clock =
      (static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(now.tv_nsec)) &
      kIDMask;
  std::uint64_t previous = last.load(std::memory_order_relaxed);
  std::uint64_t next = 0;
  do {
    next = clock > previous ? clock : previous + 1;
  } while (!last.compare_exchange_weak(previous, next, std::memory_order_relaxed));
  return next;
}

}  // namespace lorvex
