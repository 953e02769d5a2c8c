// What each result order means to the library database, in one table: the media_files column it
// compares, its direction, the kind of keyset cursor that marks a place in it and the column that
// cursor reads, and the indexes that hold the rows in that order. The query compiler and the search
// execution read every sort's SQL from here; the assertions below stop the build when a sort has no
// row or a row sits at another sort's place.
//
// Thread safety: constant values; any thread.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "model/enum_cases.h"
#include "model/image_search_query_v3.h"

namespace lorvex::search {

// The ImageSearchCursorV3 position that marks a place in a sort's order.
enum class SortCursorKind { modificationDate, fileName };

struct SortKey {
  ImageSearchSortV3 sort = ImageSearchSortV3::modificationDateDescending;
  // The compared expression of a media_files row, written after its table name and a dot. The id
  // breaks ties in the same direction.
  std::string_view column;
  // The stored column the expression reads: a cursor at a row takes its key from there.
  std::string_view cursorColumn;
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

namespace sort_key_detail {

inline constexpr std::string_view kDate = "modification_time";
inline constexpr std::string_view kNameColumn = "basename_normalized";
inline constexpr std::string_view kName = "basename_normalized COLLATE NOCASE";
inline constexpr std::string_view kDateIndex = "idx_media_files_default_browse";
inline constexpr std::string_view kNameIndex = "idx_media_files_visible_filename";
inline constexpr std::string_view kDateIDIndex = "idx_media_files_id_modification";
inline constexpr std::string_view kNameIDIndex = "idx_media_files_id_sort";

}  // namespace sort_key_detail

// One row per ImageSearchSortV3 case, in case order: a sort's row is the one at its value.
inline constexpr std::array<SortKey, 4> kSortKeys{{
    {ImageSearchSortV3::modificationDateDescending, sort_key_detail::kDate, sort_key_detail::kDate, true,
     SortCursorKind::modificationDate, sort_key_detail::kDateIndex, sort_key_detail::kDateIDIndex},
    {ImageSearchSortV3::modificationDateAscending, sort_key_detail::kDate, sort_key_detail::kDate, false,
     SortCursorKind::modificationDate, sort_key_detail::kDateIndex, sort_key_detail::kDateIDIndex},
    {ImageSearchSortV3::fileNameAscending, sort_key_detail::kName, sort_key_detail::kNameColumn, false,
     SortCursorKind::fileName, sort_key_detail::kNameIndex, sort_key_detail::kNameIDIndex},
    {ImageSearchSortV3::fileNameDescending, sort_key_detail::kName, sort_key_detail::kNameColumn, true,
     SortCursorKind::fileName, sort_key_detail::kNameIndex, sort_key_detail::kNameIDIndex},
}};

namespace sort_key_detail {

constexpr bool columnsReadTheirCursorColumn() {
  for (const SortKey& key : kSortKeys) {
    if (!key.column.starts_with(key.cursorColumn)) return false;
  }
  return true;
}

}  // namespace sort_key_detail

static_assert(holdsEveryCaseInOrder(kSortKeys, &SortKey::sort),
              "kSortKeys must hold one row per ImageSearchSortV3 case, at the sort's value");
static_assert(sort_key_detail::columnsReadTheirCursorColumn(),
              "a sort's compared expression must read the column its cursor takes its key from");

// The row of a sort. Only a cast makes a value outside the cases: it reads as the default order.
constexpr const SortKey& sortKey(ImageSearchSortV3 sort) {
  const auto index = static_cast<std::size_t>(sort);
  return index < kSortKeys.size() ? kSortKeys[index] : kSortKeys.front();
}

}  // namespace lorvex::search
