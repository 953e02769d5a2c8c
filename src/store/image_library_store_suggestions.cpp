// The folders a search is limited to, and the tag suggestions of the filter sidebar.
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "store/image_library_store.h"

namespace lorvex {

std::vector<std::string> ImageLibraryStore::searchRootPaths() const {
  creatingThread_.check();
  const bool onlyAvailable = hasLoadedRegisteredFolderSummaries_;
  std::vector<std::string> roots;
  std::unordered_set<std::string_view> seen;
  auto add = [&](const std::string& path) {
    if (seen.insert(path).second) roots.push_back(path);
  };
  for (const auto& summary : registeredFolderSummaries_) {
    if (!onlyAvailable || summary.state == RegisteredFolderAccessState::available) add(summary.path);
  }
  for (const auto& path : activeFolderRegistrationRootPaths_) add(path);
  if (roots.empty()) roots.emplace_back(kNoRegisteredFolderRootPath);
  return roots;
}

}  // namespace lorvex
