// The folders every library query is limited to.
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "store/image_library_store.h"

namespace lorvex {

std::vector<std::string> ImageLibraryStore::searchRootPaths() const {
  creatingThread_.check();
  const bool onlyAvailable = library_->hasLoadedRegisteredFolderSummaries();
  std::vector<std::string> roots;
  std::unordered_set<std::string_view> seen;
  auto add = [&](const std::string& path) {
    if (seen.insert(path).second) roots.push_back(path);
  };
  for (const auto& summary : library_->registeredFolderSummaries()) {
    if (!onlyAvailable || summary.state == RegisteredFolderAccessState::available) add(summary.path);
  }
  for (const auto& path : library_->activeFolderRegistrationRootPaths()) add(path);
  if (roots.empty()) roots.emplace_back(kNoRegisteredFolderRootPath);
  return roots;
}

}  // namespace lorvex
