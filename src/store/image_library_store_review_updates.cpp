// Review marks: favourite and delete-candidate marks on one image or a selection, written to the
// library and then applied to the loaded results in place, without a new search.
#include <optional>

#include "store/image_library_store.h"

namespace lorvex {

StoppedResultLoading ImageLibraryStore::cancelResultLoading() {
  creatingThread_.check();
  StoppedResultLoading stopped;
  if (refreshSearchTask_) stopped.firstPageRefresh = runningFirstPageRefresh_;
  if (backgroundResultRefreshTask_) stopped.backgroundRefresh = activeBackgroundResultRefreshMode_;
  resultWindow_->invalidateLoads();
  if (refreshSearchTask_) {
    refreshSearchTask_.cancel();
    setRefreshSearchTask({});
  }
  if (loadMoreTask_) {
    loadMoreTask_.cancel();
    setLoadMoreTask({});
  }
  setActiveLoadMoreTaskID(std::nullopt);
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
