// What ResultsModel::cancelResultLoading stopped, so that the caller can start it again once
// its own change is in place. A review mark or an undo has to stop the loads in flight (a page
// requested before the change would overwrite the window it updates in place), but a first-page
// search or a background refresh that is stopped and never rerun leaves the window behind the
// library: the images a sync has just indexed never show, or the records of the old filter stay
// under the new one. A page load is not recorded: the next scroll asks for it again.
//
// Thread safety: a plain value.
#pragma once

#include <optional>

#include "store/results/background_result_refresh_mode.h"

namespace lorvex {

struct StoppedResultLoading {
  // The first-page search that was running, as it was asked for.
  struct FirstPageRefresh {
    int limit = 0;
    bool resetScroll = false;
    friend bool operator==(const FirstPageRefresh&, const FirstPageRefresh&) = default;
  };

  std::optional<FirstPageRefresh> firstPageRefresh;
  // The mode of the background refresh that was running.
  std::optional<BackgroundResultRefreshMode> backgroundRefresh;

  friend bool operator==(const StoppedResultLoading&, const StoppedResultLoading&) = default;
};

}  // namespace lorvex
