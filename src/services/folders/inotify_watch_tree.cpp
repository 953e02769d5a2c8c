#include "services/folders/inotify_watch_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

namespace lorvex {

const std::uint32_t InotifyWatchTree::kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                                   IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF |
                                                   IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

namespace {

std::string childPath(const std::string& folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

}  // namespace

InotifyWatchTree::ArmResult InotifyWatchTree::armRecursively(const std::string& folder,
                                                             const std::function<bool()>& shouldStop) {
  std::vector<std::string> pending{folder};
  bool isTop = true;
  while (!pending.empty()) {
    if (shouldStop && shouldStop()) return ArmResult::stopped;
    const std::string path = std::move(pending.back());
    pending.pop_back();
    // Watch before listing: a child created meanwhile shows up in the listing or as an event.
    const std::uint32_t mask = kWatchMask | (isTop ? 0u : static_cast<std::uint32_t>(IN_DONT_FOLLOW));
    const int wd = ::inotify_add_watch(inotifyFd_, path.c_str(), mask);
    if (wd < 0) {
      if (errno == ENOSPC) return ArmResult::watchLimit;
      if (isTop) return ArmResult::unavailable;
      continue;  // vanished, a symbolic link, or unreadable: nothing to watch there
    }
    isTop = false;
    // The same folder reached again: its subtree is watched already, and walking it again would
    // never end in a bind mount that repeats one of its own parents.
    if (!insert(wd, path)) continue;
    std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(path.c_str()), ::closedir);
    if (!directory) continue;
    const int directoryFd = ::dirfd(directory.get());
    while (const dirent* entry = ::readdir(directory.get())) {
      const std::string_view name = entry->d_name;
      // Covers "." and ".." too: nothing in a hidden folder is indexed, so it costs no watch.
      if (name.front() == '.') continue;
      bool isFolder = entry->d_type == DT_DIR;
      if (entry->d_type == DT_UNKNOWN) {
        struct stat info {};
        isFolder =
            ::fstatat(directoryFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
      }
      if (isFolder) pending.push_back(childPath(path, name));
    }
  }
  return ArmResult::armed;
}

const std::string* InotifyWatchTree::pathFor(int wd) const {
  const auto found = pathByWatch_.find(wd);
  return found == pathByWatch_.end() ? nullptr : &found->second;
}

void InotifyWatchTree::remap(const std::string& from, const std::string& to) {
  std::vector<std::pair<std::string, int>> moved;
  if (const auto self = watchByPath_.find(from); self != watchByPath_.end()) moved.emplace_back(*self);
  for (auto it = watchByPath_.lower_bound(from + '/'); it != watchByPath_.end(); ++it) {
    if (it->first.compare(0, from.size() + 1, from + '/') != 0) break;
    moved.emplace_back(*it);
  }
  for (const auto& [path, wd] : moved) watchByPath_.erase(path);
  for (const auto& [path, wd] : moved) {
    std::string newPath = to + path.substr(from.size());
    pathByWatch_[wd] = newPath;
    watchByPath_[std::move(newPath)] = wd;
  }
}

void InotifyWatchTree::unwatch(const std::string& folder) {
  std::vector<int> removed;
  if (const auto self = watchByPath_.find(folder); self != watchByPath_.end()) {
    removed.push_back(self->second);
    watchByPath_.erase(self);
  }
  auto it = watchByPath_.lower_bound(folder + '/');
  while (it != watchByPath_.end() && it->first.compare(0, folder.size() + 1, folder + '/') == 0) {
    removed.push_back(it->second);
    it = watchByPath_.erase(it);
  }
  for (const int wd : removed) {
    pathByWatch_.erase(wd);
    ::inotify_rm_watch(inotifyFd_, wd);
  }
}

void InotifyWatchTree::forget(int wd) {
  const auto found = pathByWatch_.find(wd);
  if (found == pathByWatch_.end()) return;
  if (const auto byPath = watchByPath_.find(found->second);
      byPath != watchByPath_.end() && byPath->second == wd) {
    watchByPath_.erase(byPath);
  }
  pathByWatch_.erase(found);
}

bool InotifyWatchTree::insert(int wd, const std::string& path) {
  if (const auto known = pathByWatch_.find(wd); known != pathByWatch_.end()) {
    return false;  // the same folder reached twice (nested roots, bind mounts): keep its first path
  }
  if (const auto stale = watchByPath_.find(path); stale != watchByPath_.end()) {
    pathByWatch_.erase(stale->second);  // a folder re-created before its old watch was dropped
  }
  pathByWatch_[wd] = path;
  watchByPath_[path] = wd;
  return true;
}

}  // namespace lorvex
