// Moving a reviewed delete candidate to the desktop Trash — the only way Lorvex changes a
// person's files.
//
// Thread safety: implementations may be called from any thread.
#pragma once

#include <string>

namespace lorvex {

class FileTrashMoving {
 public:
  virtual ~FileTrashMoving() = default;
  // Moves the item at `path` to the Trash. Throws an error whose message says why it could not
  // be moved; the item is then where it was.
  virtual void moveToTrash(const std::string& path) const = 0;
};

}  // namespace lorvex
