#include "platform/memory.h"

#include <cstdlib>  // defines __GLIBC__ when the C library is glibc
#include <mutex>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace lorvex::platform {

namespace {

#if defined(__GLIBC__)
// The largest threshold glibc would raise itself to: blocks below it keep coming from the arenas
// (a thumbnail's decode buffer is reused, not mapped afresh each time).
constexpr int kMapThresholdBytes = 32 * 1024 * 1024;
// Small enough that an arena's top stays a few blocks at most, large enough that a block freed
// and taken again at the top (one per thumbnail) does not give its pages back each time.
constexpr int kTrimThresholdBytes = 8 * 1024 * 1024;
#endif

}  // namespace

void limitRetainedHeapMemory() {
#if defined(__GLIBC__)
  static std::once_flag once;
  std::call_once(once, [] {
    mallopt(M_MMAP_THRESHOLD, kMapThresholdBytes);
    mallopt(M_TRIM_THRESHOLD, kTrimThresholdBytes);
  });
#endif
}

void releaseFreeHeapMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace lorvex::platform
