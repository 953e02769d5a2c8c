// Running a search page and reading records by path: the repository's entries to the query
// compiler and record hydration.
#include <algorithm>
#include <string>
#include <utility>

#include "database/internal/library_search.h"
#include "database/internal/record_hydration.h"
#include "database/internal/row_mappers.h"
#include "database/internal/search_query_compiler.h"
#include "database/internal/search_sort_key.h"
#include "model/text/paths.h"

namespace lorvex {

namespace {

// The cursor of `key`'s kind at a row, from the value its first column holds (the key's
// cursorColumn); nothing for a kind this switch does not know, and the page is then read by its
// offset.
std::optional<ImageSearchCursorV3> cursorAt(const search::SortKey& key, SQLiteRows& row, std::int64_t id) {
  switch (key.cursor) {
    case search::SortCursorKind::modificationDate:
      return ImageSearchCursorV3::modificationDate(row.real(0), id);
    case search::SortCursorKind::fileName:
      return ImageSearchCursorV3::fileName(row.text(0), id);
  }
  return std::nullopt;
}

}  // namespace

std::pair<std::int64_t, std::int64_t> LibrarySearch::readerLibraryVersion() {
  // A read of the file first, so that data_version tells of the snapshot this search reads.
  reader_.query("SELECT 1 FROM media_files LIMIT 1", {}, rows::firstInt64OrZero);
  return {reader_.query("PRAGMA data_version", {}, rows::firstInt64OrZero), reader_.totalChanges()};
}

std::vector<ImageRecord> LibrarySearch::searchImages(const ImageSearchQuery& query, std::stop_token stop) {
  return reader_.performCancellableSearch(stop, [&]() -> std::vector<ImageRecord> {
    const auto version = readerLibraryVersion();
    search::SearchQueryCompiler compiler(reader_, stop);
    std::optional<ImageSearchQueryV3> compiled = compiler.compile(query);
    ImageSearchQuery key = query;
    key.offset = 0;
    const std::int64_t offset = std::max<std::int64_t>(query.offset, 0);
    std::optional<PreviousPage> previous = std::exchange(previousPage_, std::nullopt);
    if (!compiled) return {};

    std::vector<std::int64_t> ids;
    bool continued = false;
    if (previous && previous->query == key && previous->libraryVersion == version && compiled->limit > 0 &&
        offset > previous->offset &&
        offset - previous->offset <= static_cast<std::int64_t>(previous->ids.size())) {
      // The row just before this page, and its sort key as stored.
      const std::int64_t anchor = previous->ids[static_cast<std::size_t>(offset - previous->offset - 1)];
      const search::SortKey& key = search::sortKey(compiled->sort);
      const auto cursor =
          reader_.query("SELECT " + std::string(key.cursorColumn) + " FROM media_files WHERE id = ?",
                        {anchor}, [&](SQLiteRows& rows) -> std::optional<ImageSearchCursorV3> {
                          if (!rows.next()) return std::nullopt;
                          return cursorAt(key, rows, anchor);
                        });
      if (cursor) {
        ImageSearchQueryV3 continuation = *compiled;
        continuation.cursor = cursor;
        continuation.offset = 0;
        ids = compiler.pageIDs(continuation);
        continued = true;
      }
    }
    if (!continued) ids = compiler.pageIDs(*compiled);
    std::vector<ImageRecord> records = search::recordsForIDs(reader_, ids, stop);
    // Kept only once the whole page is read: a cancelled search leaves nothing to continue from.
    previousPage_ = PreviousPage{std::move(key), readerLibraryVersion(), offset, std::move(ids)};
    return records;
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
