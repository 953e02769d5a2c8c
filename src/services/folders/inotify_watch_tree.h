// The inotify watches of the monitored folder trees: which watch descriptor stands for which
// folder path, kept right as folders are created, moved and deleted.
//
// Thread safety: none; owned and used by one monitor thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lorvex {

class InotifyWatchTree {
 public:
  // Events every watched folder reports.
  static const std::uint32_t kWatchMask;

  explicit InotifyWatchTree(int inotifyFd) : inotifyFd_(inotifyFd) {}

  enum class ArmResult {
    armed,        // the folder and every readable folder below it are watched
    unavailable,  // the folder itself is absent, not a folder, or not readable
    watchLimit,   // the kernel's per-user watch limit was reached (some folders may be watched)
    stopped,      // `shouldStop` asked to give up
  };

  // Watches `folder` and, depth first, every folder below it whose name does not begin with "."
  // (symbolic links are not followed; `folder` itself is watched whatever its name).
  // Subfolders that vanish or cannot be read while this runs are skipped. A folder already
  // watched (reached again through a bind mount, or below a nested root) is not walked again.
  // `shouldStop` is asked between folders.
  ArmResult armRecursively(const std::string& folder, const std::function<bool()>& shouldStop = {});

  // The folder a watch stands for, or nullptr when the descriptor is unknown.
  const std::string* pathFor(int wd) const;

  // After a folder moved from `from` to `to` within the monitored trees: every watch at or below
  // `from` now stands for the same place below `to`.
  void remap(const std::string& from, const std::string& to);

  // Removes the watches at or below `folder` (inotify_rm_watch), e.g. after it moved out of the
  // monitored trees.
  void unwatch(const std::string& folder);

  // Forgets a descriptor the kernel has dropped (IN_IGNORED), without calling the kernel.
  void forget(int wd);

  std::size_t size() const { return pathByWatch_.size(); }

 private:
  // False when the descriptor was already known (its path is kept).
  bool insert(int wd, const std::string& path);

  int inotifyFd_;
  std::unordered_map<int, std::string> pathByWatch_;
  std::map<std::string, int> watchByPath_;
};

}  // namespace lorvex
