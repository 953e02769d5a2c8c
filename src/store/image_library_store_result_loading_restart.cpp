// Stopping the result loads in flight around a change made to the loaded records in place (a review
// mark, an undo, a move to the Trash), and starting again what was stopped once the change is in.
#include "store/image_library_store.h"

namespace lorvex {

StoppedResultLoading ImageLibraryStore::cancelResultLoading() {
  creatingThread_.check();
  StoppedResultLoading stopped;
  if (refreshSearchTask_) stopped.firstPageRefresh = runningFirstPageRefresh_;
  if (backgroundResultRefreshTask_) stopped.backgroundRefresh = activeBackgroundResultRefreshMode_;
  resultWindow_->invalidateLoads();
  cancelRefreshSearchTask();
  cancelLoadMoreTask();
  cancelBackgroundResultRefresh();
  setIsLoading(false);
  setIsLoadingNextPage(false);
  return stopped;
}

void ImageLibraryStore::restartResultLoading(const StoppedResultLoading& stopped) {
  creatingThread_.check();
  if (stopped.firstPageRefresh.has_value()) {
    // A first-page search started meanwhile reads the current filters too; it stands.
    if (refreshSearchTask_) return;
    const int limit = stopped.firstPageRefresh->limit;
    const bool resetScroll = stopped.firstPageRefresh->resetScroll;
    startDetached([this, limit, resetScroll] { return refreshResults(limit, resetScroll); });
    return;
  }
  // Refused while another refresh runs, which reads the library as it is now as well.
  if (stopped.backgroundRefresh.has_value()) scheduleBackgroundResultRefresh(*stopped.backgroundRefresh);
}

}  // namespace lorvex
