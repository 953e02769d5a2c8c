// What each result order means to the library database, in one table: the media_files column it
// compares, its direction, the kind of keyset cursor that marks a place in it, and the indexes that
// hold the rows in that order. The query compiler and the search execution read every sort's SQL
// from here, so a new ImageSearchSortV3 case does not compile until it has its row (the switch
// below has no default, and an unhandled case is an error).
//
// Thread safety: constant values; any thread.
#pragma once

#include <string_view>

#include "model/image_search_query_v3.h"

namespace lorvex::search {

// The ImageSearchCursorV3 position that marks a place in a sort's order.
enum class SortCursorKind { modificationDate, fileName };

struct SortKey {
  // The compared expression of a media_files row, written after its table name and a dot. The id
  // breaks ties in the same direction.
  std::string_view column;
  bool descending = false;
  SortCursorKind cursor = SortCursorKind::modificationDate;
  // Walked when the missing flag is fixed: (missing, sort key, id), read forwards or backwards.
  std::string_view orderIndex;
  // A narrow index by id that holds the sort key: candidates are sorted from it without reading
  // their rows. Date orders take the one without the names, which has fewer pages to touch.
  std::string_view idIndex;

  constexpr std::string_view keyword() const { return descending ? "DESC" : "ASC"; }
  // The comparison a later row's key makes with an earlier one, strictly and with ties.
  constexpr std::string_view after() const { return descending ? " < " : " > "; }
  constexpr std::string_view atOrAfter() const { return descending ? " <= " : " >= "; }
};

constexpr SortKey sortKey(ImageSearchSortV3 sort) {
  constexpr std::string_view date = "modification_time";
  constexpr std::string_view name = "basename_normalized COLLATE NOCASE";
  constexpr std::string_view dateIndex = "idx_media_files_default_browse";
  constexpr std::string_view nameIndex = "idx_media_files_visible_filename";
  constexpr std::string_view dateIDIndex = "idx_media_files_id_modification";
  constexpr std::string_view nameIDIndex = "idx_media_files_id_sort";
  switch (sort) {
    case ImageSearchSortV3::modificationDateDescending:
      return {date, true, SortCursorKind::modificationDate, dateIndex, dateIDIndex};
    case ImageSearchSortV3::modificationDateAscending:
      return {date, false, SortCursorKind::modificationDate, dateIndex, dateIDIndex};
    case ImageSearchSortV3::fileNameAscending:
      return {name, false, SortCursorKind::fileName, nameIndex, nameIDIndex};
    case ImageSearchSortV3::fileNameDescending:
      return {name, true, SortCursorKind::fileName, nameIndex, nameIDIndex};
  }
  // Only a cast makes a value outside the cases: it reads as the default order.
  return sortKey(ImageSearchSortV3::modificationDateDescending);
}

}  // namespace lorvex::search
