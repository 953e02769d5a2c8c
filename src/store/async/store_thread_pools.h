// The two thread pools the store runs blocking library calls on. User-initiated work (searches,
// page loads, registration and sync scans) and utility work (suggestion lists, background passes)
// use separate pools, so a long background scan never delays a search. A scan holds its thread for
// minutes, so neither pool is one thread wide, and no job ever waits for another job of a pool.
//
// The pools live for the whole process and are never destroyed: a job still running at exit (a
// scan ends only between two files) must not make quitting wait.
//
// Thread safety: both functions may be called from any thread.
#pragma once

#include <QThreadPool>

namespace lorvex {

// max(4, ideal thread count) threads at normal priority.
QThreadPool& userInitiatedPool();
// 4 threads at low priority.
QThreadPool& utilityPool();

}  // namespace lorvex
