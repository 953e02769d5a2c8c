#include "services/folders/inotify_folder_change_monitor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <thread>
#include <unordered_set>

#include "platform/clock.h"
#include "platform/log.h"
#include "services/folders/inotify_watch_tree.h"

namespace lorvex {
namespace {

using platform::logError;
using platform::logInfo;
// A reading of the clock's monotonic time.
using Instant = std::chrono::nanoseconds;
constexpr std::string_view kLogCategory = "FolderMonitor";
// A move's two halves arrive together; a "moved from" still unpaired after this left the trees.
constexpr Instant kMovePairingWindow = std::chrono::milliseconds(50);

struct RootState {
  std::string path;
  bool available = false;
  dev_t device = 0;
  ino_t inode = 0;
};

bool statFolder(const std::string& path, dev_t& device, ino_t& inode) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  device = info.st_dev;
  inode = info.st_ino;
  return true;
}

// Names beginning with "." are never indexed (see PNGFileDiscovery), so nothing below them is watched.
bool isHiddenName(std::string_view name) {
  return !name.empty() && name.front() == '.';
}

std::string joinPath(const std::string& folder, std::string_view name) {
  if (name.empty()) return folder;
  std::string path = folder;
  if (path.back() != '/') path += '/';
  path += name;
  return path;
}

}  // namespace

class InotifyFolderChangeMonitor::Session : public std::enable_shared_from_this<Session> {
 public:
  Session(int inotifyFd, int wakeFd, const std::vector<std::string>& roots,
          std::optional<std::uint64_t> since, FolderChangeHandler onChange,
          FolderMonitoringFailureHandler onFailure, Options options)
      : inotifyFd_(inotifyFd),
        wakeFd_(wakeFd),
        since_(since),
        onChange_(std::move(onChange)),
        onFailure_(std::move(onFailure)),
        options_(std::move(options)),
        clock_(options_.clock != nullptr ? *options_.clock : platform::systemClock()),
        tree_(inotifyFd) {
    for (const auto& root : roots) roots_.push_back(RootState{root});
  }

  ~Session() {
    ::close(inotifyFd_);
    ::close(wakeFd_);
  }

  void launch() {
    thread_ = std::thread([self = shared_from_this()] { self->run(); });
  }

  // Ends the thread: joins it, or, when called from it (the handler), hands it back to be joined
  // once the handler has returned.
  std::thread requestStopAndJoin() {
    stopRequested_.store(true);
    wake();
    if (!thread_.joinable()) return {};
    if (thread_.get_id() == std::this_thread::get_id()) return std::move(thread_);
    thread_.join();
    return {};
  }

  void simulateOverflow() {
    overflowRequested_.store(true);
    wake();
  }

  bool waitUntilWatching(std::chrono::milliseconds timeout) {
    std::unique_lock lock(stateMutex_);
    settled_.wait_for(lock, timeout, [&] { return settledFlag_; });
    return watching_;
  }

  std::size_t watchedFolderCount() {
    std::lock_guard lock(stateMutex_);
    return watchedCount_;
  }

  bool catchUp(std::chrono::milliseconds timeout) {
    std::unique_lock lock(stateMutex_);
    if (ended_) return false;
    const std::uint64_t ticket = ++catchUpRequested_;
    wake();
    settled_.wait_for(lock, timeout, [&] { return catchUpAnswered_ >= ticket || ended_; });
    return catchUpAnswered_ >= ticket;
  }

 private:
  void wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
  }

  bool stopping() const { return stopRequested_.load(std::memory_order_relaxed); }

  Instant now() const { return Instant(clock_.monotonicNanoseconds()); }

  void publishState(bool watching) {
    std::lock_guard lock(stateMutex_);
    watching_ = watching;
    settledFlag_ = true;
    watchedCount_ = tree_.size();
    settled_.notify_all();
  }

  void run() {
    watch();
    std::lock_guard lock(stateMutex_);
    ended_ = true;
    settled_.notify_all();
  }

  void watch() {
    for (auto& root : roots_) {
      if (!armRoot(root)) return;
    }
    if (stopping()) return publishState(false);
    // Events after `since` happened before these watches existed and cannot be replayed.
    if (since_) requireFullRescan();
    publishState(true);
    Instant nextRecheck = now() + options_.rootRecheckInterval;

    while (!stopping()) {
      const Instant before = now();
      Instant wakeAt = nextRecheck;
      if (flushDeadline_ && *flushDeadline_ < wakeAt) wakeAt = *flushDeadline_;
      if (!pendingMoves_.empty()) wakeAt = std::min(wakeAt, before + kMovePairingWindow);
      const auto timeout = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - before).count();
      pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
      const int ready = ::poll(fds, 2, static_cast<int>(std::clamp<long long>(timeout, 0, 60'000)));
      if (ready < 0 && errno != EINTR) {
        logError(kLogCategory, "poll failed: " + std::to_string(errno));
        break;
      }
      if (ready > 0 && (fds[1].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto read = ::read(wakeFd_, &count, sizeof count);
        if (stopping()) break;
        if (overflowRequested_.exchange(false)) requireFullRescan();
      }
      // After the wake-up was consumed (a later request wakes the next poll) and before the
      // kernel's queue is read (every change made before the request is drained below).
      const std::uint64_t catchUpTicket = requestedCatchUp();
      if ((ready > 0 && (fds[0].revents & POLLIN) != 0) || catchUpTicket != 0) {
        if (!drainEvents()) return;
      }
      settleUnpairedMoves(now());
      if (now() >= nextRecheck) {
        if (!recheckRoots()) return;
        nextRecheck = now() + options_.rootRecheckInterval;
      }
      if (flushDeadline_ && now() >= *flushDeadline_) deliver();
      if (catchUpTicket != 0) answerCatchUp(catchUpTicket);
    }
  }

  // The newest catch-up ticket not yet answered, or 0.
  std::uint64_t requestedCatchUp() {
    std::lock_guard lock(stateMutex_);
    return catchUpRequested_ > catchUpAnswered_ ? catchUpRequested_ : 0;
  }

  void answerCatchUp(std::uint64_t ticket) {
    std::lock_guard lock(stateMutex_);
    catchUpAnswered_ = std::max(catchUpAnswered_, ticket);
    settled_.notify_all();
  }

  // Arms one root; false when the session must end (stop requested or the watch limit reached).
  bool armRoot(RootState& root) {
    if (!statFolder(root.path, root.device, root.inode)) {
      root.available = false;
      return true;
    }
    switch (tree_.armRecursively(root.path, [this] { return stopping(); })) {
      case InotifyWatchTree::ArmResult::armed:
        root.available = true;
        return true;
      case InotifyWatchTree::ArmResult::unavailable:
        root.available = false;
        return true;
      case InotifyWatchTree::ArmResult::watchLimit:
        fail(FolderChangeMonitorError::Code::watchLimitReached);
        return false;
      case InotifyWatchTree::ArmResult::stopped:
        publishState(false);
        return false;
    }
    return true;
  }

  // Reads every queued event; false when the session must end.
  bool drainEvents() {
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
      const ssize_t length = ::read(inotifyFd_, buffer, sizeof buffer);
      if (length < 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN) logError(kLogCategory, "inotify read failed: " + std::to_string(errno));
        return true;
      }
      if (length == 0) return true;
      for (ssize_t offset = 0; offset < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
        offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (!handle(*event)) return false;
      }
    }
  }

  RootState* rootAt(const std::string& path) {
    for (auto& root : roots_) {
      if (root.path == path) return &root;
    }
    return nullptr;
  }

  bool handle(const inotify_event& event) {
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
      requireFullRescan();
      return true;
    }
    const std::string* folder = tree_.pathFor(event.wd);
    if (folder == nullptr) return true;
    if ((event.mask & IN_IGNORED) != 0) {
      if (RootState* root = rootAt(*folder); root != nullptr && root->available) loseRoot(*root);
      tree_.forget(event.wd);
      return true;
    }
    if ((event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) != 0) {
      // For a folder below a root its parent reports the deletion or move.
      if (RootState* root = rootAt(*folder); root != nullptr && root->available) loseRoot(*root);
      return true;
    }
    const std::string_view name = event.len > 0 ? std::string_view(event.name) : std::string_view();
    // Nothing at a hidden name is indexed. A watched folder renamed to one finds no "moved to" and
    // is unwatched as having left; one renamed from one is armed as a new folder.
    if (isHiddenName(name)) return true;
    const std::string path = joinPath(*folder, name);
    const bool isFolder = (event.mask & IN_ISDIR) != 0;
    if ((event.mask & IN_MOVED_FROM) != 0) {
      pendingMoves_[event.cookie] = PendingMove{path, isFolder, now()};
    } else if ((event.mask & IN_MOVED_TO) != 0) {
      const auto source = pendingMoves_.find(event.cookie);
      if (source != pendingMoves_.end()) {
        if (source->second.isFolder) tree_.remap(source->second.path, path);
        pendingMoves_.erase(source);
      } else if (isFolder) {
        return armNewFolder(path);  // moved in from outside the monitored trees
      }
    } else if ((event.mask & IN_CREATE) != 0 && isFolder) {
      return armNewFolder(path);
    }
    addChangedPath(path);
    return true;
  }

  // Watches a folder that appeared below a root, then reports it: files written into it before its
  // watch existed raised no event, and scanning the reported folder finds them.
  bool armNewFolder(const std::string& path) {
    const auto result = tree_.armRecursively(path, [this] { return stopping(); });
    if (result == InotifyWatchTree::ArmResult::watchLimit) {
      fail(FolderChangeMonitorError::Code::watchLimitReached);
      return false;
    }
    addChangedPath(path);
    return true;
  }

  // A "moved from" that found no "moved to" in time: the folder left the monitored trees.
  void settleUnpairedMoves(Instant now) {
    for (auto it = pendingMoves_.begin(); it != pendingMoves_.end();) {
      if (now - it->second.at < kMovePairingWindow) {
        ++it;
        continue;
      }
      if (it->second.isFolder) tree_.unwatch(it->second.path);
      it = pendingMoves_.erase(it);
    }
  }

  void loseRoot(RootState& root) {
    logInfo(kLogCategory, "A monitored folder was removed or replaced; a full rescan follows");
    tree_.unwatch(root.path);
    root.available = false;
    requireFullRescan();
  }

  // Looks at every root: a watched root whose folder is gone or replaced (e.g. a parent folder
  // was renamed) is lost; an unavailable root that exists again is armed.
  bool recheckRoots() {
    for (auto& root : roots_) {
      dev_t device = 0;
      ino_t inode = 0;
      const bool exists = statFolder(root.path, device, inode);
      if (root.available) {
        if (!exists || device != root.device || inode != root.inode) loseRoot(root);
        continue;
      }
      if (!exists) continue;
      if (!armRoot(root)) return false;
      if (root.available) requireFullRescan();
    }
    std::lock_guard lock(stateMutex_);
    watchedCount_ = tree_.size();
    return true;
  }

  void scheduleFlush() {
    if (!flushDeadline_) flushDeadline_ = now() + options_.latency;
  }

  void requireFullRescan() {
    requiresFullRescan_ = true;
    changedPaths_.clear();
    seenPaths_.clear();
    scheduleFlush();
  }

  void addChangedPath(const std::string& path) {
    scheduleFlush();
    if (requiresFullRescan_) return;
    if (seenPaths_.insert(path).second) changedPaths_.push_back(path);
  }

  void deliver() {
    RegisteredFolderChangeBatch batch;
    batch.changedURLs = std::move(changedPaths_);
    batch.requiresFullRescan = requiresFullRescan_;
    batch.lastEventID = nextFolderEventID();
    changedPaths_.clear();
    seenPaths_.clear();
    requiresFullRescan_ = false;
    flushDeadline_.reset();
    {
      std::lock_guard lock(stateMutex_);
      watchedCount_ = tree_.size();
    }
    if (stopping()) return;
    try {
      onChange_(batch);
    } catch (const std::exception& error) {
      logError(kLogCategory, std::string("Folder change handler failed: ") + error.what());
    }
  }

  void fail(FolderChangeMonitorError::Code code) {
    const FolderChangeMonitorError error(code);
    logError(kLogCategory, error.what());
    publishState(false);
    if (onFailure_ && !stopping()) onFailure_(error);
  }

  struct PendingMove {
    std::string path;
    bool isFolder = false;
    Instant at{};
  };

  const int inotifyFd_;
  const int wakeFd_;
  const std::optional<std::uint64_t> since_;
  const FolderChangeHandler onChange_;
  const FolderMonitoringFailureHandler onFailure_;
  const Options options_;
  const platform::Clock& clock_;
  std::thread thread_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> overflowRequested_{false};

  // Monitor thread only.
  InotifyWatchTree tree_;
  std::vector<RootState> roots_;
  std::map<std::uint32_t, PendingMove> pendingMoves_;
  std::vector<std::string> changedPaths_;
  std::unordered_set<std::string> seenPaths_;
  bool requiresFullRescan_ = false;
  std::optional<Instant> flushDeadline_;

  std::mutex stateMutex_;  // guards the six below
  std::condition_variable settled_;
  bool settledFlag_ = false;
  bool watching_ = false;
  std::size_t watchedCount_ = 0;
  bool ended_ = false;  // the thread has left its loop
  std::uint64_t catchUpRequested_ = 0;
  std::uint64_t catchUpAnswered_ = 0;
};

InotifyFolderChangeMonitor::InotifyFolderChangeMonitor() : InotifyFolderChangeMonitor(Options{}) {}

InotifyFolderChangeMonitor::InotifyFolderChangeMonitor(Options options) : options_(std::move(options)) {}

InotifyFolderChangeMonitor::~InotifyFolderChangeMonitor() {
  stop();
  // Only when the monitor ends in its own handler: that thread finishes on its own.
  for (std::thread& thread : selfStopped_) thread.detach();
}

std::uint64_t InotifyFolderChangeMonitor::currentEventID() {
  return nextFolderEventID();
}

void InotifyFolderChangeMonitor::start(const std::vector<std::string>& roots,
                                       std::optional<std::uint64_t> sinceEventID,
                                       FolderChangeHandler onChange,
                                       FolderMonitoringFailureHandler onFailure) {
  if (roots.empty()) {
    stop();
    return;
  }
  const int inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotifyFd < 0) {
    logError(kLogCategory, "inotify_init1 failed: " + std::to_string(errno));
    throw FolderChangeMonitorError(FolderChangeMonitorError::Code::streamCreationFailed);
  }
  const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd < 0) {
    ::close(inotifyFd);
    throw FolderChangeMonitorError(FolderChangeMonitorError::Code::streamCreationFailed);
  }
  auto session = std::make_shared<Session>(inotifyFd, wakeFd, roots, sinceEventID, std::move(onChange),
                                           std::move(onFailure), options_);
  // One watch per root here, so that a limit that leaves no room at all fails the start itself;
  // the folders below are armed on the monitor thread.
  for (const auto& root : roots) {
    if (::inotify_add_watch(inotifyFd, root.c_str(), InotifyWatchTree::kWatchMask) < 0 && errno == ENOSPC) {
      throw FolderChangeMonitorError(FolderChangeMonitorError::Code::watchLimitReached);
    }
  }
  try {
    session->launch();
  } catch (const std::system_error&) {
    throw FolderChangeMonitorError(FolderChangeMonitorError::Code::streamStartFailed);
  }
  std::shared_ptr<Session> previous;
  {
    std::lock_guard lock(lock_);
    previous = std::exchange(session_, std::move(session));
  }
  // Outside the lock: the previous thread may be in its handler, which may call stop().
  endSession(previous);
}

void InotifyFolderChangeMonitor::stop() {
  std::shared_ptr<Session> previous;
  {
    std::lock_guard lock(lock_);
    previous = std::move(session_);
  }
  endSession(previous);
}

void InotifyFolderChangeMonitor::endSession(const std::shared_ptr<Session>& session) {
  std::thread own = session ? session->requestStopAndJoin() : std::thread();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(lock_);
    if (own.joinable()) selfStopped_.push_back(std::move(own));
    threads = std::exchange(selfStopped_, {});
  }
  // Outside the lock, as their handlers may still start or stop the monitor. A thread cannot join
  // itself: the one calling stays for a later call, or goes with the monitor.
  for (std::thread& thread : threads) {
    if (thread.get_id() != std::this_thread::get_id()) {
      thread.join();
      continue;
    }
    std::lock_guard lock(lock_);
    selfStopped_.push_back(std::move(thread));
  }
}

std::shared_ptr<InotifyFolderChangeMonitor::Session> InotifyFolderChangeMonitor::currentSession() {
  std::lock_guard lock(lock_);
  return session_;
}

bool InotifyFolderChangeMonitor::waitUntilWatching(std::chrono::milliseconds timeout) {
  const auto session = currentSession();
  return session && session->waitUntilWatching(timeout);
}

bool InotifyFolderChangeMonitor::catchUp(std::chrono::milliseconds timeout) {
  const auto session = currentSession();
  return session && session->catchUp(timeout);
}

std::size_t InotifyFolderChangeMonitor::watchedFolderCount() {
  const auto session = currentSession();
  return session ? session->watchedFolderCount() : 0;
}

void InotifyFolderChangeMonitor::simulateQueueOverflow() {
  if (const auto session = currentSession()) session->simulateOverflow();
}

}  // namespace lorvex
