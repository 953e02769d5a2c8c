#include "services/indexing/png_file_discovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "model/text/unicode.h"
#include "platform/file_attributes.h"
#include "platform/log.h"
#include "platform/regular_file.h"

namespace lorvex {
namespace {

// As a scan failure's message is written (scan_error_message.h): the system's text, then its name.
std::string systemMessage(std::string_view action, int errorNumber) {
  return std::string(action) + ": " + platform::errorNumberReason(errorNumber);
}

std::string joined(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path.append(name);
  return path;
}

std::string_view lastComponent(std::string_view path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

enum class EntryKind { folder, link, other };

struct Entry {
  std::string name;
  EntryKind kind;
};

class Walker {
 public:
  Walker(const PNGFileDiscovery::FileHandler& onFile, const PNGFileDiscovery::FailureHandler& onFailure,
         std::stop_token stop, std::vector<std::string> scanRoots)
      : onFile_(onFile), onFailure_(onFailure), stop_(std::move(stop)), scanRoots_(std::move(scanRoots)) {}

  std::size_t walk(const std::string& root) {
    std::vector<std::string> pending{root};
    while (!pending.empty() && !stop_.stop_requested()) {
      const std::string folder = std::move(pending.back());
      pending.pop_back();
      std::vector<Entry> entries;
      if (!readFolder(folder, folder == root, entries)) continue;
      std::vector<std::string> subfolders;
      for (const Entry& entry : entries) {
        if (entry.kind == EntryKind::folder) {
          subfolders.push_back(joined(folder, entry.name));
        } else if (isPNGCandidateName(entry.name)) {
          candidate(joined(folder, entry.name), entry.kind == EntryKind::link);
        }
      }
      // Last pushed is walked first: subfolders in name order.
      pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()),
                     std::make_move_iterator(subfolders.rend()));
    }
    return count_;
  }

  void candidate(const std::string& path, bool isLink) {
    std::string resolved = path;
    if (isLink) {
      std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr), &std::free);
      if (!target) {
        const int error = errno;
        if (error == ENOENT) {
          platform::logDebug("IndexingPerformance", "Skipped a link whose target is gone: " + path);
          return;
        }
        fail(path, systemMessage("Unable to resolve symbolic link", error));
        return;
      }
      resolved = target.get();
      if (!isInScanScope(resolved, scanRoots_)) {
        platform::logDebug("IndexingPerformance",
                           "Skipped a link to a file outside the scanned folders: " + path);
        return;
      }
    }
    if (!text::isValidUTF8(resolved)) {
      fail(resolved, std::string(kInvalidFileNameMessage));
      return;
    }
    ++count_;
    onFile_(resolved);
  }

  std::size_t count() const { return count_; }

 private:
  // The visible entries of `folder` in name order; false when it cannot be read (reported unless
  // it vanished).
  bool readFolder(const std::string& folder, bool isRoot, std::vector<Entry>& entries) {
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (isRoot ? 0 : O_NOFOLLOW);
    const int fd = ::open(folder.c_str(), flags);
    if (fd < 0) {
      if (errno != ENOENT) fail(folder, systemMessage("Unable to read folder", errno));
      return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
      fail(folder, systemMessage("Unable to read folder", errno));
      ::close(fd);
      return false;
    }
    // Links to folders are never followed, so the only way back into a visited folder is a
    // mount that repeats its parent: walking it again would never end.
    if (!visited_.emplace(info.st_dev, info.st_ino).second) {
      fail(folder, systemMessage("Unable to read folder", ELOOP));
      ::close(fd);
      return false;
    }
    DIR* listing = ::fdopendir(fd);
    if (listing == nullptr) {
      fail(folder, systemMessage("Unable to read folder", errno));
      ::close(fd);
      return false;
    }
    errno = 0;
    while (const dirent* item = ::readdir(listing)) {
      if (item->d_name[0] == '.') {
        errno = 0;
        continue;
      }
      unsigned char type = item->d_type;
      if (type == DT_UNKNOWN) {
        struct stat entryInfo {};
        if (::fstatat(::dirfd(listing), item->d_name, &entryInfo, AT_SYMLINK_NOFOLLOW) != 0) {
          errno = 0;
          continue;  // vanished since it was listed
        }
        type = S_ISDIR(entryInfo.st_mode) ? DT_DIR : S_ISLNK(entryInfo.st_mode) ? DT_LNK : DT_REG;
      }
      entries.push_back({item->d_name, type == DT_DIR   ? EntryKind::folder
                                       : type == DT_LNK ? EntryKind::link
                                                        : EntryKind::other});
      errno = 0;
    }
    const int readError = errno;
    ::closedir(listing);
    if (readError != 0) {
      // What was listed before the error is still walked.
      fail(folder, systemMessage("Unable to read folder", readError));
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return true;
  }

  void fail(const std::string& path, std::string message) {
    onFailure_({text::repairedUTF8(path), std::move(message)});
  }

  const PNGFileDiscovery::FileHandler& onFile_;
  const PNGFileDiscovery::FailureHandler& onFailure_;
  const std::stop_token stop_;
  const std::vector<std::string> scanRoots_;
  std::set<std::pair<dev_t, ino_t>> visited_;
  std::size_t count_ = 0;
};

}  // namespace

bool isPNGCandidateName(std::string_view name) {
  if (name.size() < 5 || name.front() == '.') return false;
  const std::string_view extension = name.substr(name.size() - 4);
  return extension[0] == '.' && (extension[1] | 0x20) == 'p' && (extension[2] | 0x20) == 'n' &&
         (extension[3] | 0x20) == 'g';
}

bool hasHiddenComponentBelow(std::string_view path, std::string_view root) {
  if (!path.starts_with(root)) return false;
  std::string_view rest = path.substr(root.size());
  if (!root.ends_with('/') && !rest.empty() && rest.front() != '/') return false;  // "/a" is not above "/ab"
  while (!rest.empty()) {
    if (rest.front() == '/') {
      rest.remove_prefix(1);
      continue;
    }
    if (rest.front() == '.') return true;
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash);
  }
  return false;
}

const std::string* owningRoot(std::string_view path, const std::vector<std::string>& roots) {
  for (const auto& root : roots) {
    if (path == root) return &root;
    const bool below = root.ends_with('/')
                           ? path.starts_with(root)
                           : path.size() > root.size() && path.starts_with(root) && path[root.size()] == '/';
    if (below) return &root;
  }
  return nullptr;
}

bool isInScanScope(std::string_view path, const std::vector<std::string>& roots) {
  const std::string* root = owningRoot(path, roots);
  return root != nullptr && !hasHiddenComponentBelow(path, *root);
}

std::optional<DiscoveryFailure> folderReadFailure(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return std::nullopt;
  }
  const int error = errno;
  if (error == ENOENT) return std::nullopt;
  return DiscoveryFailure{text::repairedUTF8(folder), systemMessage("Unable to read folder", error)};
}

std::size_t PNGFileDiscovery::discover(const std::string& root, const FileHandler& onFile,
                                       const FailureHandler& onFailure, std::stop_token stop,
                                       const std::vector<std::string>& scanRoots) {
  const platform::FileAttributes attributes = platform::fileAttributes(root);
  const bool isFolder = attributes.kind == platform::FileKind::directory;
  std::vector<std::string> scope = scanRoots;
  if (scope.empty()) {
    const auto slash = root.find_last_of('/');
    scope.push_back(isFolder || slash == std::string::npos ? root
                                                           : root.substr(0, std::max<std::size_t>(slash, 1)));
  }
  Walker walker(onFile, onFailure, std::move(stop), std::move(scope));
  if (isFolder) return walker.walk(root);
  if (!isPNGCandidateName(lastComponent(root))) return 0;
  // A file root stands for itself; it may be a link, which is reported under its target.
  const auto own = platform::readFileAttributes(root, platform::LinkHandling::noFollow);
  walker.candidate(root, own && own->kind == platform::FileKind::symbolicLink);
  return walker.count();
}

}  // namespace lorvex
