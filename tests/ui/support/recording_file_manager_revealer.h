// A file manager that only records what it was asked to reveal, installed for one scope, so a
// test sees which path a "Show in Files" action chose and nothing opens on the desktop.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/common/reveal_in_file_manager.h"

namespace lorvex::ui::testing {

class RecordingFileManagerRevealer final : public FileManagerRevealing {
 public:
  void reveal(const std::string& path) override { revealedPaths.push_back(path); }
  std::vector<std::string> revealedPaths;
};

class ScopedFileManagerRevealer {
 public:
  ScopedFileManagerRevealer() : previous_(setFileManagerRevealer(recorder_)) {}
  ~ScopedFileManagerRevealer() { setFileManagerRevealer(previous_); }
  ScopedFileManagerRevealer(const ScopedFileManagerRevealer&) = delete;
  ScopedFileManagerRevealer& operator=(const ScopedFileManagerRevealer&) = delete;

  const std::vector<std::string>& revealedPaths() const { return recorder_->revealedPaths; }

 private:
  std::shared_ptr<RecordingFileManagerRevealer> recorder_ = std::make_shared<RecordingFileManagerRevealer>();
  std::shared_ptr<FileManagerRevealing> previous_;
};

}  // namespace lorvex::ui::testing
