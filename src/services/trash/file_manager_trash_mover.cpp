#include "services/trash/file_manager_trash_mover.h"

namespace lorvex {

FileManagerTrashMover::FileManagerTrashMover() : trash_(platform::defaultTrashEnvironment()) {}

FileManagerTrashMover::FileManagerTrashMover(platform::TrashEnvironment environment)
    : trash_(std::move(environment)) {}

void FileManagerTrashMover::moveToTrash(const std::string& path) const {
  trash_.moveToTrash(path);
}

}  // namespace lorvex
