// The step a store coroutine took last on this thread: the type of the blocking call whose result
// it was resumed with (a lambda's type names the function it was written in). Diagnostics read it:
// the main-thread stall monitor names the step that ran inside a slow event. Nothing depends on it.
//
// Thread safety: one value per thread.
#pragma once

#include <typeinfo>

namespace lorvex {

inline thread_local const std::type_info* lastResumedCoroutineStep = nullptr;

}  // namespace lorvex
