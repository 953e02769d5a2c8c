#include "model/thumbnail_job.h"

#include <algorithm>

namespace lorvex {

double thumbnailRetryDelay(std::int64_t retryCount) {
  // Clamp before adding so that a corrupt, huge retry count cannot overflow.
  const std::int64_t attempts = std::clamp<std::int64_t>(retryCount, 0, 5) + 1;
  const double delay = 60.0 * static_cast<double>(std::int64_t{1} << (attempts - 1));
  return std::min(delay, 3600.0);
}

const ThumbnailJobRunSummary& ThumbnailJobRunSummary::empty() {
  static const ThumbnailJobRunSummary summary;
  return summary;
}

const ThumbnailCacheSweepSummary& ThumbnailCacheSweepSummary::empty() {
  static const ThumbnailCacheSweepSummary summary;
  return summary;
}

}  // namespace lorvex
