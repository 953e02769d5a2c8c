// Record hydration: turning stored rows back into ImageRecord values. A record carries what the
// media file, its image properties, its review state and its primary generation record hold, its
// positive and negative character captions with their centers, and its prompt tags (display names
// of the tags that came from the prompt, in case-insensitive name order). Stored prompt segments
// other than captions, parameter rows, model usage rows and raw payloads are not read back: the
// prompt segments, generation parameters and the primary model usage are derived again from the
// record's columns.
//
// Every id list is read in chunks of at most 400 ids per statement.
//
// Thread safety: the caller holds the connection's lock. Reads check `stop` before every row and
// after the last one and end in SearchCancelledError once stop is requested; a default token never
// stops. Statement failures throw SQLiteImageRepositoryV3Error.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string_view>
#include <vector>

#include "database/internal/sqlite_connection.h"
#include "database/sqlite_binding.h"
#include "model/image_record.h"
#include "model/image_search_query_v3.h"

namespace lorvex::search {

// The records of these ids in the given order; an id without a media file row is left out, and an
// id given twice gets its record twice.
std::vector<ImageRecord> recordsForIDs(SQLiteConnection& connection, const std::vector<std::int64_t>& ids,
                                       const std::stop_token& stop = {});

// The records that the WHERE text selects (over media_files and the shared record joins, plus
// `join`, which may be empty), in the order of `sort`, paged by limit and offset (negative values
// bind 0).
std::vector<ImageRecord> selectRecords(SQLiteConnection& connection, std::string_view join,
                                       std::string_view where, const SQLiteV3Bindings& bindings,
                                       ImageSearchSortV3 sort, std::int64_t limit, std::int64_t offset,
                                       const std::stop_token& stop = {});

}  // namespace lorvex::search
