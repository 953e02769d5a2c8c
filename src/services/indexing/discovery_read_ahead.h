// Walking a root and reading each found file's size and modification time on a thread of its own,
// a few thousand files ahead of the scan that queues them. On an unchanged rescan the walk and the
// file attributes were a sixth of the scan's time on its one thread, beside the queue's writes.
//
// The scan sees exactly what it would see walking the root itself: the same files and failures in
// the same order (PNGFileDiscovery's), each file with the attributes read when the walk reached it
// (or the error that reading them met), then the end of the walk, or what the walk threw (the root
// unreadable) after everything found before it.
//
// Stopping: once `stop` is requested, or the object is destroyed, the walk reads no further folder
// and the entries end early; the caller tells a cut walk from a complete one by its own token.
//
// Thread safety: one object per walk, read from one thread; the walk runs on a thread it owns and
// only reads the file system (or, when no thread can be started, in the constructor, whole).
// Destruction stops the walk and waits for it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "model/image_record.h"

namespace lorvex {

struct DiscoveredEntry {
  // A file the walk found, or (failure) a path it could not read, with `message`.
  bool failure = false;
  std::string path;
  std::string message;
  // A file's attributes, or what reading them threw.
  ImageFileInfo info;
  std::exception_ptr infoError;
  std::uint64_t infoNanoseconds = 0;
};

class DiscoveryReadAhead {
 public:
  using InfoReader = std::function<ImageFileInfo(const std::string& path)>;

  // Files read ahead of the caller, at most: in chunks, so that the two threads meet once a chunk.
  static constexpr std::size_t kChunkSize = 256;
  static constexpr std::size_t kChunksAhead = 8;

  // `scanRoots`: as PNGFileDiscovery::discover takes them.
  DiscoveryReadAhead(std::string root, InfoReader readInfo, std::stop_token stop,
                     std::vector<std::string> scanRoots = {});
  ~DiscoveryReadAhead();
  DiscoveryReadAhead(const DiscoveryReadAhead&) = delete;
  DiscoveryReadAhead& operator=(const DiscoveryReadAhead&) = delete;

  // The next entry in walk order; nothing once the walk has ended. Rethrows, once, what the walk
  // threw, after the entries found before it.
  std::optional<DiscoveredEntry> next();

 private:
  void walk(const std::string& root, const InfoReader& readInfo, const std::vector<std::string>& scanRoots);

  std::stop_source stopWalk_;
  std::stop_callback<std::function<void()>> forwardStop_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<std::vector<DiscoveredEntry>> chunks_;  // guarded by mutex_
  bool ended_ = false;                               // guarded by mutex_
  std::exception_ptr error_;                         // guarded by mutex_
  // Set when no thread could be started: the walk ran in the constructor, without a limit.
  bool inline_ = false;
  // The chunk being read by the caller (its thread only).
  std::vector<DiscoveredEntry> current_;
  std::size_t nextInCurrent_ = 0;
  std::thread thread_;
};

}  // namespace lorvex
