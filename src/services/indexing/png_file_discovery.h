// Finding the PNG files under a folder for a scan, without ever stopping half-way.
//
// A candidate is an entry whose name ends in ".png" in any letter case and does not begin with
// "."; folders whose names begin with "." are not entered, and links to folders are not
// followed (a link to a file is reported under its target's path). Only the names are tested,
// never the content: a FIFO named x.png is reported and fails later, when it is opened
// non-blocking as a regular file.
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
#include <stop_token>
#include <string>
#include <string_view>

namespace lorvex {

// The file selection rule: ".png" in any letter case after a non-empty name that does not begin
// with ".". "a.Png" passes; ".cover.png", "a.png.bak" and "png" do not.
bool isPNGCandidateName(std::string_view name);

// True when a component of `path` below `root` (the last one included) begins with ".". Both are
// standardized absolute paths and `path` lies at or under `root`.
bool hasHiddenComponentBelow(std::string_view path, std::string_view root);

struct DiscoveryFailure {
  std::string path;  // what could not be read; ill-formed UTF-8 replaced by U+FFFD
  std::string message;

  friend bool operator==(const DiscoveryFailure&, const DiscoveryFailure&) = default;
};

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
  // read and the walk returns early.
  static std::size_t discover(const std::string& root, const FileHandler& onFile,
                              const FailureHandler& onFailure, std::stop_token stop = {});
};

}  // namespace lorvex
