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
  // The same, each move keeping its record in `pendingMovesDirectory` while it runs, so that the
  // info file of a move that was killed is removed later (platform::FreedesktopTrash).
  explicit FileManagerTrashMover(std::string pendingMovesDirectory);
  explicit FileManagerTrashMover(platform::TrashEnvironment environment);

  // Throws platform::FileError.
  void moveToTrash(const std::string& path) const override;
  // Removes what moves killed in earlier runs left behind; never throws.
  void removeOrphanedInfoFiles() const;

 private:
  platform::FreedesktopTrash trash_;
};

}  // namespace lorvex
