// A search of the library in the caller's terms: what the store asks for (tags as text, aspect
// filters, a model source text, folders, review flags, sort and paging). The library database
// compiles it into an ImageSearchQueryV3 before running it.
//
// Thread safety: plain values and constant tables; a value may be copied to and read on any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/enum_cases.h"
#include "model/image_aspect.h"
#include "model/image_search_query_v3.h"
#include "model/raw_value.h"

namespace lorvex {

enum class ImageSearchSort {
  modificationDateDescending,
  modificationDateAscending,
  fileNameAscending,
  fileNameDescending
};

template <>
struct RawValueTable<ImageSearchSort> {
  using Raw = std::string_view;
  using S = ImageSearchSort;
  static constexpr std::array<std::pair<S, Raw>, 4> entries{{
      {S::modificationDateDescending, "modificationDateDescending"},
      {S::modificationDateAscending, "modificationDateAscending"},
      {S::fileNameAscending, "fileNameAscending"},
      {S::fileNameDescending, "fileNameDescending"},
  }};
};

// The compiled order of a caller's sort (the cases correspond one to one).
ImageSearchSortV3 compiledSort(ImageSearchSort sort);
// The database's sort table holds a row per compiled order: a caller's sort added without its
// compiled order does not build.
static_assert(enumCaseCount<ImageSearchSort>() == enumCaseCount<ImageSearchSortV3>(),
              "every caller's sort must have its compiled order");

struct ImageSearchQuery {
  std::string text;
  std::vector<std::string> promptTags;
  std::vector<std::string> filterTags;
  std::vector<std::int64_t> filterConceptIDs;
  std::vector<ImageAspectFilter> aspectFilters;
  std::optional<std::string> characterText;
  std::optional<std::string> source;  // a model source text
  std::optional<std::int64_t> seed;
  std::optional<bool> favorite;
  std::optional<bool> deleteCandidate;
  std::vector<std::string> rootPaths;
  std::optional<bool> missing;
  bool includeMissing = false;  // whether missing files may appear when `missing` is absent
  ImageSearchSort sort = ImageSearchSort::modificationDateDescending;
  std::int64_t limit = 0;
  std::int64_t offset = 0;

  friend bool operator==(const ImageSearchQuery&, const ImageSearchQuery&) = default;
};

}  // namespace lorvex
