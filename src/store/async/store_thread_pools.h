// The two thread pools the store runs blocking library calls on. User-initiated work (searches,
// page loads, registration and sync scans) and utility work (suggestion lists, background passes)
// use separate pools, so a long background scan never delays a search. A scan holds its thread for
// minutes, so neither pool is one thread wide, and no job ever waits for another job of a pool.
//
// The pools live for the whole process and are never destroyed: a job still running at exit (a
// scan ends only between two files) must not make quitting wait. The program's end joins their
// threads through platform::endLongLivedThreads, giving running jobs until its deadline.
//
// Thread safety: every function here may be called from any thread.
#pragma once

#include <QThreadPool>
#include <chrono>
#include <string>

namespace lorvex {

// max(4, ideal thread count) threads at normal priority.
QThreadPool& userInitiatedPool();
// 4 threads at low priority.
QThreadPool& utilityPool();

// Waits until `deadline` for the pool's jobs; once they are done its idle threads are joined too.
// False when a job still ran at the deadline.
bool waitForPoolUntil(QThreadPool& pool, std::chrono::steady_clock::time_point deadline);

// For a pool that lives as long as the program: its end waits for the pool's jobs until the exit
// deadline and joins its threads (a job still running then is left to the caller's grace).
void registerPoolAtProgramEnd(QThreadPool& pool, std::string name);

}  // namespace lorvex
