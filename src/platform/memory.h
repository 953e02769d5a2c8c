// Giving memory back to the system. The C library keeps what a program frees for its next
// allocations; after a burst that needed far more than the program holds at rest (a scan over
// files with texts of tens of megabytes), that would stay counted against the program until it
// ends. On glibc, elsewhere these do nothing:
//   - limitRetainedHeapMemory() fixes the heap's thresholds, once per process: blocks of 32 MiB and
//     more are mapped and unmapped on their own, and an arena gives back its free top beyond 8 MiB
//     as soon as it is freed. glibc otherwise raises both limits as large blocks are freed, and a
//     worker thread's arena then keeps tens of megabytes at rest that malloc_trim does not reach.
//   - releaseFreeHeapMemory() returns the free pages inside every arena (malloc_trim).
//
// Thread safety: callable from any thread; releaseFreeHeapMemory takes each arena's lock in turn,
// so it is meant for after such a burst, not for a hot path.
#pragma once

namespace lorvex::platform {

void limitRetainedHeapMemory();
void releaseFreeHeapMemory();

}  // namespace lorvex::platform
