// FileTrashMoving through our freedesktop.org Trash: the home trash, or the trash at the top of
// the item's file system; always a rename, never a copy and delete.
//
// Thread safety: no mutable state; any thread.
#pragma once

#include "platform/trash.h"
#include "services/trash/file_trash_moving.h"

namespace lorvex {

class FileManagerTrashMover final : public FileTrashMoving {
 public:
  // The user's trash as the environment names it (platform::defaultTrashEnvironment).
  FileManagerTrashMover();
  explicit FileManagerTrashMover(platform::TrashEnvironment environment);

  // Throws platform::FileError.
  void moveToTrash(const std::string& path) const override;

 private:
  platform::FreedesktopTrash trash_;
};

}  // namespace lorvex
