// Searching the library: a search page (the query compiled by SearchQueryCompiler, its page of ids
// selected, the records hydrated in chunks of at most 400 ids), records read by path or by a WHERE
// text, and the tag and model suggestions of the filter panels, ranked by the image counts the
// projection keeps (never counted here).
//
// Connections: searchImages and the suggestions read on the reader connection, each in one read
// transaction, so a scan's write transactions neither wait for them nor change what they see
// halfway. imageRecord and selectRecords read on the writer: the library's own writes call them
// inside their transactions and must see what they wrote.
//
// Deep pages. A search that differs from the previous one only by a larger offset, within the
// previous page or just after it, over the same library (the reader's data_version and its own
// change count unchanged: nothing was committed or written since), continues from the sort key of
// the row before its offset instead of skipping `offset` rows: the same rows in the same order, as
// the order is total (sort key, then id), at the cost of a first page.
//
// Thread safety: searchImages waits for the reader's lock in short attempts and ends in
// SearchCancelledError, never with a partial page, once `stop` is requested; every other
// operation takes its connection's lock for its whole run.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "database/internal/sqlite_connection.h"
#include "model/image_record.h"
#include "model/image_search_query.h"
#include "model/image_search_query_v3.h"
#include "model/tag_suggestion.h"

namespace lorvex {

class LibrarySearch {
 public:
  LibrarySearch(SQLiteConnection& connection, SQLiteConnection& reader)
      : connection_(connection), reader_(reader) {}

  // search_execution.cpp
  std::vector<ImageRecord> searchImages(const ImageSearchQuery& query, std::stop_token stop);
  std::optional<ImageRecord> imageRecord(std::string_view path);
  std::vector<ImageRecord> selectRecords(std::string_view join, std::string_view where,
                                         const SQLiteV3Bindings& bindings, ImageSearchSortV3 sort,
                                         std::int64_t limit, std::int64_t offset);
  // suggestions.cpp
  std::vector<TagSuggestion> tagSuggestions(const std::optional<std::string>& text, std::int64_t limit);
  std::vector<ModelSuggestion> modelSuggestions(const std::optional<std::string>& text, std::int64_t limit);

 private:
  // The last page searched on the reader, guarded by the reader's lock.
  struct PreviousPage {
    ImageSearchQuery query;  // with offset 0
    std::pair<std::int64_t, std::int64_t> libraryVersion;
    std::int64_t offset = 0;
    std::vector<std::int64_t> ids;
  };
  // The reader's data_version and change count, inside the search's read transaction.
  std::pair<std::int64_t, std::int64_t> readerLibraryVersion();

  SQLiteConnection& connection_;
  SQLiteConnection& reader_;
  std::optional<PreviousPage> previousPage_;
};

}  // namespace lorvex
