// A decode function for loader tests that records what it decoded and on which thread, and lets
// the test decide when each decode ends and what it gives, so tests control which decodes run.
#pragma once

#include <QThread>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ui/common/local_image_loader.h"

namespace lorvex::testing {

class ScriptedDecodes {
 public:
  // A decode ends with the oldest answer queued for its path; without one it waits while held,
  // else gives a green square of the pixel size (64 for a full decode), or an error for a path
  // that contains "missing".
  ui::LocalImageLoader::DecodeFunction function() {
    return [this](const std::string& path, std::optional<int> maxPixelSize) {
      std::unique_lock lock(mutex_);
      calls_.push_back(path);
      threads_.insert(QThread::currentThread());
      changed_.notify_all();
      changed_.wait(lock, [&] { return !holding_ || !answers_[path].empty(); });
      if (!answers_[path].empty()) {
        auto answer = std::move(answers_[path].front());
        answers_[path].pop_front();
        return answer;
      }
      if (path.find("missing") != std::string::npos)
        return ui::LocalImageDecodeResult{QImage(), "Unable to open file"};
      const int side = maxPixelSize.value_or(64);
      QImage image(side, side, QImage::Format_ARGB32);
      image.fill(Qt::green);
      return ui::LocalImageDecodeResult{image, std::nullopt};
    };
  }
  void hold() { setHolding(true); }
  void release() { setHolding(false); }
  void answer(const std::string& path, ui::LocalImageDecodeResult result) {
    const std::lock_guard lock(mutex_);
    answers_[path].push_back(std::move(result));
    changed_.notify_all();
  }
  // Blocks the calling thread: only for decodes that start without the event loop's help.
  void waitForCalls(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return calls_.size() >= count; });
  }
  std::vector<std::string> calls() {
    const std::lock_guard lock(mutex_);
    return calls_;
  }
  std::set<QThread*> threads() {
    const std::lock_guard lock(mutex_);
    return threads_;
  }

 private:
  void setHolding(bool holding) {
    const std::lock_guard lock(mutex_);
    holding_ = holding;
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool holding_ = false;
  std::map<std::string, std::deque<ui::LocalImageDecodeResult>> answers_;
  std::vector<std::string> calls_;
  std::set<QThread*> threads_;
};

}  // namespace lorvex::testing
