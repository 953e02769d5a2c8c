// The live metrics sink: one line per scan under the log category "IndexingPerformance".
//
// Thread safety: stateless; any thread.
#pragma once

#include <string_view>

#include "services/indexing/image_library_indexing_metrics.h"

namespace lorvex {

inline constexpr std::string_view kIndexingPerformanceLogCategory = "IndexingPerformance";

class ImageLibraryIndexingMetricsLogger final : public ImageLibraryIndexingMetricsSink {
 public:
  // Writes snapshot.logLine() at the default (info) level.
  void record(const ImageLibraryIndexingMetricsSnapshot& snapshot) override;
};

}  // namespace lorvex
