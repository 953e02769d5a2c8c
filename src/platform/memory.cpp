#include "platform/memory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace lorvex::platform {

void releaseFreeHeapMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace lorvex::platform
