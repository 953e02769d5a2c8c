// Whether an ImageLibraryStore has finished everything it started, for callers that drive a store
// without a view (a command-line tool, a screenshot run) and must know when its state has settled.
//
// A store is idle when
//   - every flow handle it keeps (searches, page loads, background refreshes, thumbnail runs, the
//     launch, syncs, the trash review, feedback dismissal, the undo's restore) is empty or finished,
//   - every busy flag (loading, paging, background refresh, indexing, syncing, preparing the
//     library, loading folders or suggestions, trashing, changing tag concepts) is false,
//   - no job runs on either of its pools (which is also how a detached flow, one whose handle
//     nobody keeps, is seen while it waits for a library call), and
//   - no event is left for its thread to deliver (the results that jobs and flows posted back).
// A store waiting for a timer (a debounce, a retry, a feedback dismissal) holds that flow's handle
// and is not idle until the timer has fired and the flow has ended.
//
// Thread safety: the store's thread only; waitUntilStoreIdle needs a QCoreApplication.
#pragma once

#include <chrono>

namespace lorvex {

class ImageLibraryStore;

// No unfinished flow handle and no busy flag; says nothing about pools and pending events.
bool isStoreSettled(const ImageLibraryStore& store);

// Runs the event loop until the store is idle (see above) and stays so for two turns in a row
// (a job may post its result and end between one look at the events and the next); gives true
// then, false when `timeout` passes first. Events go on being delivered while it waits.
bool waitUntilStoreIdle(ImageLibraryStore& store, std::chrono::milliseconds timeout);

}  // namespace lorvex
