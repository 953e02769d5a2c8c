#include "model/image_search_query.h"

namespace lorvex {

ImageSearchSortV3 compiledSort(ImageSearchSort sort) {
  switch (sort) {
    case ImageSearchSort::modificationDateDescending:
      return ImageSearchSortV3::modificationDateDescending;
    case ImageSearchSort::modificationDateAscending:
      return ImageSearchSortV3::modificationDateAscending;
    case ImageSearchSort::fileNameAscending:
      return ImageSearchSortV3::fileNameAscending;
    case ImageSearchSort::fileNameDescending:
      return ImageSearchSortV3::fileNameDescending;
  }
  return ImageSearchSortV3::modificationDateDescending;
}

}  // namespace lorvex
