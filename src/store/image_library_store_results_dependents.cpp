// What the results model asks of the library state the store still holds: whether the live service
// is still to be prepared, and the folders a query is limited to.
#include <string>
#include <vector>

#include "store/image_library_store.h"

namespace lorvex {

bool ImageLibraryStore::ResultsDependentsOfStore::needsLiveServicePreparation() const {
  return store_.needsLiveServicePreparation_;
}

std::vector<std::string> ImageLibraryStore::ResultsDependentsOfStore::searchRootPaths() const {
  return store_.searchRootPaths();
}

}  // namespace lorvex
