// Running a search page and reading records by path: the repository's entries to the query
// compiler and record hydration.
#include <string>

#include "database/internal/library_search.h"
#include "database/internal/record_hydration.h"
#include "database/internal/search_query_compiler.h"
#include "model/text/paths.h"

namespace lorvex {

std::vector<ImageRecord> LibrarySearch::searchImages(const ImageSearchQuery& query, std::stop_token stop) {
  return reader_.performCancellableSearch(stop, [&]() -> std::vector<ImageRecord> {
    search::SearchQueryCompiler compiler(reader_, stop);
    const std::optional<ImageSearchQueryV3> compiled = compiler.compile(query);
    if (!compiled) return {};
    const std::vector<std::int64_t> ids = compiler.pageIDs(*compiled);
    return search::recordsForIDs(reader_, ids, stop);
  });
}

std::optional<ImageRecord> LibrarySearch::imageRecord(std::string_view path) {
  auto guard = connection_.lock();
  auto records =
      search::selectRecords(connection_, "", "media_files.absolute_path = ?", {text::standardizedPath(path)},
                            ImageSearchSortV3::modificationDateDescending, 1, 0);
  if (records.empty()) return std::nullopt;
  return std::move(records.front());
}

std::vector<ImageRecord> LibrarySearch::selectRecords(std::string_view join, std::string_view where,
                                                      const SQLiteV3Bindings& bindings,
                                                      ImageSearchSortV3 sort, std::int64_t limit,
                                                      std::int64_t offset) {
  auto guard = connection_.lock();
  return search::selectRecords(connection_, join, where, bindings, sort, limit, offset);
}

}  // namespace lorvex
