// What the results model asks of the library state the store still holds: the folders a query is
// limited to.
#include <string>
#include <vector>

#include "store/image_library_store.h"

namespace lorvex {

std::vector<std::string> ImageLibraryStore::ResultsDependentsOfStore::searchRootPaths() const {
  return store_.searchRootPaths();
}

}  // namespace lorvex
