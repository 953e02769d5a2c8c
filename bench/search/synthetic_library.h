// The synthetic library the search benchmarks run on, written straight into the tables the
// projection fills: files in 50 folders under "/library/folder<k>", aspect classes, review flags,
// 20 models, a seed each, and prompt tags with a skewed frequency ("1girl" on 80% of images, then a
// long tail). The same seed gives the same library.
#pragma once

#include <cstdint>

#include "database/sqlite_image_repository.h"

namespace lorvex::bench {

void buildSyntheticLibrary(SQLiteImageRepositoryV3& repository, std::int64_t images);

}  // namespace lorvex::bench
