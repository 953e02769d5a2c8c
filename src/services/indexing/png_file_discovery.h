// Finding the PNG files under a folder for a scan, without ever stopping half-way.
//
// A candidate is an entry whose name ends in ".png" in any letter case and does not begin with
// "."; folders whose names begin with "." are not entered, and links to folders are not
// followed. Only the names are tested, never the content: a FIFO named x.png is reported and
// fails later, when it is opened non-blocking as a regular file.
//
// A link to a file is reported under its target's path, as every path the library stores is
// resolved, and only when that target lies in the folders being scanned (at or under one of the
// scan's roots, and not in a hidden folder below it); a link to a file anywhere else is skipped.
// The library shows a file under the registered folder it lies in, so a row for a target outside
// them would be one nobody sees, and that no later scan of the folders would ever mark missing.
// Indexing such a link under its own path instead would list a target inside the folders twice
// and make a move to the Trash take the link, not the file the person reviewed. The changed-path
// scans follow the same rule: they resolve each changed path and keep those in the roots.
//
// The walk reads folders itself with openat/readdir instead of a library iterator because a scan
// must get past what it cannot read: a folder that cannot be opened, a mount loop, a link that
// cannot be resolved or a name that is not UTF-8 (the library stores paths as text) is reported to
// the failure handler and the walk goes on. A stopped walk would make the scan mark every file it
// did not reach as missing. Entries that vanish while the folder is walked (generators write a
// temporary file and rename it) are skipped without a report. Only the caller can stop a walk,
// through its stop token; a caller that does must not take the walk for a complete one.
//
// Thread safety: pure functions over the file system; any thread.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex {

// The file selection rule: ".png" in any letter case after a non-empty name that does not begin
// with ".". "a.Png" passes; ".cover.png", "a.png.bak" and "png" do not.
bool isPNGCandidateName(std::string_view name);

// True when a component of `path` below `root` (the last one included) begins with ".". Both are
// standardized absolute paths and `path` lies at or under `root`.
bool hasHiddenComponentBelow(std::string_view path, std::string_view root);

// The first of `roots` that `path` lies at or under ("/photos/a" holds "/photos/a/x.png", not
// "/photos/ab"); null when none does.
const std::string* owningRoot(std::string_view path, const std::vector<std::string>& roots);

// Whether a resolved link target is one the scan of `roots` reports: at or under one of them,
// not in a hidden folder below it.
bool isInScanScope(std::string_view path, const std::vector<std::string>& roots);

struct DiscoveryFailure {
  std::string path;  // what could not be read; ill-formed UTF-8 replaced by U+FFFD
  std::string message;

  friend bool operator==(const DiscoveryFailure&, const DiscoveryFailure&) = default;
};

// The failure the walk reports for `folder` when it cannot open it ("Unable to read folder:
// Permission denied (EACCES)"); nothing when it opens or is gone.
std::optional<DiscoveryFailure> folderReadFailure(const std::string& folder);

inline constexpr std::string_view kInvalidFileNameMessage = "The file name is not valid UTF-8";

class PNGFileDiscovery {
 public:
  // Receives the path of each candidate (links resolved). An exception it throws ends the walk
  // and propagates.
  using FileHandler = std::function<void(const std::string& path)>;
  using FailureHandler = std::function<void(DiscoveryFailure failure)>;

  // `root` (absolute, links resolved) is a folder: its candidates, each folder's files in name
  // order before its subfolders in name order. `root` is a file: itself when it passes the
  // selection rule. Returns the number of paths handed to `onFile`. Throws platform::FileError
  // when the root's own attributes cannot be read. Once `stop` is requested no further folder is
  // read and the walk returns early. `scanRoots` are the roots (absolute, links resolved) a link's
  // target must lie in; without them, the folder walked (for a file root, its folder).
  static std::size_t discover(const std::string& root, const FileHandler& onFile,
                              const FailureHandler& onFailure, std::stop_token stop = {},
                              const std::vector<std::string>& scanRoots = {});
};

}  // namespace lorvex
