#include "services/indexing/discovery_read_ahead.h"

#include <chrono>
#include <system_error>
#include <utility>

#include "services/indexing/png_file_discovery.h"

namespace lorvex {

namespace {

// Thrown on the walk's thread to leave the walk once the caller wants no more entries.
struct WalkStopped {};

}  // namespace

DiscoveryReadAhead::DiscoveryReadAhead(std::string root, InfoReader readInfo, std::stop_token stop,
                                       std::vector<std::string> scanRoots)
    : forwardStop_(std::move(stop), [this] { stopWalk_.request_stop(); }) {
  try {
    thread_ = std::thread([this, root, readInfo, scanRoots] { walk(root, readInfo, scanRoots); });
  } catch (const std::system_error&) {
    // No thread to be had: the walk runs here, to its end, before its first entry is handed over.
    inline_ = true;
    walk(root, readInfo, scanRoots);
  }
}

DiscoveryReadAhead::~DiscoveryReadAhead() {
  stopWalk_.request_stop();
  if (thread_.joinable()) thread_.join();
}

void DiscoveryReadAhead::walk(const std::string& root, const InfoReader& readInfo,
                              const std::vector<std::string>& scanRoots) {
  const std::stop_token stop = stopWalk_.get_token();
  std::vector<DiscoveredEntry> chunk;
  const auto hand = [&] {
    std::unique_lock lock(mutex_);
    if (!changed_.wait(lock, stop, [&] { return inline_ || chunks_.size() < kChunksAhead; }))
      throw WalkStopped();
    chunks_.push_back(std::exchange(chunk, {}));
    changed_.notify_all();
  };
  const auto add = [&](DiscoveredEntry entry) {
    // A folder of many files is not read to its end for nothing.
    if (stop.stop_requested()) throw WalkStopped();
    chunk.push_back(std::move(entry));
    if (chunk.size() >= kChunkSize) hand();
  };
  std::exception_ptr error;
  try {
    PNGFileDiscovery::discover(
        root,
        [&](const std::string& path) {
          DiscoveredEntry entry;
          entry.path = path;
          const auto start = std::chrono::steady_clock::now();
          try {
            entry.info = readInfo(path);
          } catch (...) {
            entry.infoError = std::current_exception();
          }
          entry.infoNanoseconds = static_cast<std::uint64_t>(
              std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
                  .count());
          add(std::move(entry));
        },
        [&](DiscoveryFailure failure) {
          DiscoveredEntry entry;
          entry.failure = true;
          entry.path = std::move(failure.path);
          entry.message = std::move(failure.message);
          add(std::move(entry));
        },
        stop, scanRoots);
    if (!chunk.empty()) hand();
  } catch (const WalkStopped&) {
  } catch (...) {
    error = std::current_exception();
  }
  std::lock_guard lock(mutex_);
  error_ = error;
  ended_ = true;
  changed_.notify_all();
}

std::optional<DiscoveredEntry> DiscoveryReadAhead::next() {
  if (nextInCurrent_ == current_.size()) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !chunks_.empty() || ended_; });
    if (chunks_.empty()) {
      if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
      return std::nullopt;
    }
    current_ = std::move(chunks_.front());
    chunks_.pop_front();
    nextInCurrent_ = 0;
    changed_.notify_all();
  }
  return std::move(current_[nextInCurrent_++]);
}

}  // namespace lorvex
