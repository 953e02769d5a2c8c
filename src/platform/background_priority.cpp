#include "platform/background_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace lorvex::platform {
namespace {

// On Linux PRIO_PROCESS with a thread id names that one thread.
id_t currentThreadId() {
  return static_cast<id_t>(syscall(SYS_gettid));
}

}  // namespace

int currentThreadNice() {
  errno = 0;
  const int value = getpriority(PRIO_PROCESS, currentThreadId());
  return errno == 0 ? value : 0;
}

bool lowerCurrentThreadToBackgroundPriority() {
  if (currentThreadNice() >= kBackgroundNice) return true;
  return setpriority(PRIO_PROCESS, currentThreadId(), kBackgroundNice) == 0;
}

}  // namespace lorvex::platform
