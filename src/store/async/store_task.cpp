#include "store/async/store_task.h"

namespace lorvex::detail {

std::uint64_t nextStoreTaskID() {
  // Starts at 1 so that 0 can mean "no task".
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace lorvex::detail
