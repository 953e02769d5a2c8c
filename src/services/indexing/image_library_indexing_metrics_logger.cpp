#include "services/indexing/image_library_indexing_metrics_logger.h"

#include "platform/log.h"

namespace lorvex {

void ImageLibraryIndexingMetricsLogger::record(const ImageLibraryIndexingMetricsSnapshot& snapshot) {
  platform::logInfo(kIndexingPerformanceLogCategory, snapshot.logLine());
}

}  // namespace lorvex
