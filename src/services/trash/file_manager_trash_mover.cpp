#include "services/trash/file_manager_trash_mover.h"

#include <utility>

namespace lorvex {

FileManagerTrashMover::FileManagerTrashMover() : trash_(platform::defaultTrashEnvironment()) {}

namespace {

platform::TrashEnvironment recordingEnvironment(std::string pendingMovesDirectory) {
  platform::TrashEnvironment environment = platform::defaultTrashEnvironment();
  environment.pendingMovesDirectory = std::move(pendingMovesDirectory);
  return environment;
}

}  // namespace

FileManagerTrashMover::FileManagerTrashMover(std::string pendingMovesDirectory)
    : trash_(recordingEnvironment(std::move(pendingMovesDirectory))) {}

FileManagerTrashMover::FileManagerTrashMover(platform::TrashEnvironment environment)
    : trash_(std::move(environment)) {}

void FileManagerTrashMover::moveToTrash(const std::string& path) const {
  trash_.moveToTrash(path);
}

void FileManagerTrashMover::removeOrphanedInfoFiles() const {
  trash_.removeOrphanedInfoFiles();
}

}  // namespace lorvex
