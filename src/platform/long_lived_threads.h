// Threads that live as long as the program: worker pools and writers made on first use and never
// destroyed. Left running while the process exits, they race its end: LeakSanitizer's exit check
// stops every thread to read its stack and crashes on one that ends meanwhile (an idle pool thread
// whose expiry comes then), failing a run whose every test passed. So each such owner registers
// how to end its threads when it makes them, and the end of a program (and of a test program)
// ends them all before main returns.
//
// An owner stays usable once its threads have ended: it starts new ones when next given work.
//
// Thread safety: registration from any thread. endLongLivedThreads from the thread that ends the
// program, once no more work is being handed to the owners.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace lorvex::platform {

// Ends one owner's threads: waits for their work until the deadline and joins them; false when work
// was still running then (its threads are left running).
using LongLivedThreadsEnd = std::function<bool(std::chrono::steady_clock::time_point deadline)>;

// Workers are ended first (their last jobs may still hand work to a writer), writers after them.
enum class LongLivedThreadsRole { workers, writer };

void registerLongLivedThreads(std::string owner, LongLivedThreadsRole role, LongLivedThreadsEnd end);

// Ends every registered owner's threads: the workers (the last registered first), then the
// writers. False, naming in the log each owner whose work still ran at `deadline`, when one did.
bool endLongLivedThreads(std::chrono::steady_clock::time_point deadline);

}  // namespace lorvex::platform
