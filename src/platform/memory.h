// Giving memory back to the system. The C library keeps what a program frees for its next
// allocations; after a burst that needed far more than the program holds at rest (a scan over
// files with texts of tens of megabytes), that would stay counted against the program until it
// ends. releaseFreeHeapMemory() returns the free pages of every heap arena (glibc's malloc_trim);
// elsewhere it does nothing.
//
// Thread safety: callable from any thread; it takes each arena's lock in turn, so it is meant for
// after such a burst, not for a hot path.
#pragma once

namespace lorvex::platform {

void releaseFreeHeapMemory();

}  // namespace lorvex::platform
