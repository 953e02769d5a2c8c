// Running a search page and reading records by path: the repository's entries to the query
// compiler and record hydration.
#include <string>

#include "database/record_hydration.h"
#include "database/search_query_compiler.h"
#include "database/sqlite_image_repository.h"
#include "model/text/paths.h"

namespace lorvex {

std::vector<ImageRecord> SQLiteImageRepositoryV3::searchImages(const ImageSearchQuery& query,
                                                               std::stop_token stop) {
  return connection_.performCancellableSearch(stop, [&]() -> std::vector<ImageRecord> {
    search::SearchQueryCompiler compiler(connection_, stop);
    const std::optional<ImageSearchQueryV3> compiled = compiler.compile(query);
    if (!compiled) return {};
    const std::vector<std::int64_t> ids = compiler.pageIDs(*compiled);
    return search::recordsForIDs(connection_, ids, stop);
  });
}

std::optional<ImageRecord> SQLiteImageRepositoryV3::imageRecord(std::string_view path) {
  auto guard = connection_.lock();
  auto records =
      search::selectRecords(connection_, "", "media_files.absolute_path = ?", {text::standardizedPath(path)},
                            ImageSearchSortV3::modificationDateDescending, 1, 0);
  if (records.empty()) return std::nullopt;
  return std::move(records.front());
}

std::vector<ImageRecord> SQLiteImageRepositoryV3::selectRecords(std::string_view join, std::string_view where,
                                                                const SQLiteV3Bindings& bindings,
                                                                ImageSearchSortV3 sort, std::int64_t limit,
                                                                std::int64_t offset) {
  auto guard = connection_.lock();
  return search::selectRecords(connection_, join, where, bindings, sort, limit, offset);
}

}  // namespace lorvex
