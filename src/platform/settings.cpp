#include "platform/settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "platform/base64.h"
#include "platform/file_lock.h"
#include "platform/json_nesting.h"
#include "platform/log.h"
#include "platform/long_lived_threads.h"
#include "platform/regular_file.h"

namespace lorvex::platform {

using Json = nlohmann::json;

namespace {

// A key this process changed that the file may not hold yet: its value, or nothing when removed.
struct PendingChange {
  std::optional<Json> value;
  std::uint64_t serial = 0;
};

}  // namespace

struct Settings::SuiteState {
  explicit SuiteState(std::filesystem::path path) : file(std::move(path)) {}

  const std::filesystem::path file;
  // Guarded by the process lock.
  Json values = Json::object();  // the file as last read or written, with the pending changes on top
  std::map<std::string, PendingChange, std::less<>> pending;
  std::uint64_t lastSerial = 0;
  bool queued = false;  // waiting in the background writer's queue
  bool closed = false;  // its last Settings object is gone, having written what it could
  // A flush with a deadline gave up on its write: the writer it was left to writes it when it can,
  // and its last Settings object does not wait for that write (the program is ending).
  bool leftToWriter = false;
  std::optional<SettingsDamage> damage;
  // One rewrite at a time; guards lastFailure too.
  std::mutex writeMutex;
  std::string lastFailure;  // logged once, not again for every retry that fails the same way
};

namespace {
std::mutex& processLock();
bool writePending(Settings::SuiteState& state);
}  // namespace

// Shared by every Settings object of one file; the last one to go writes what is pending.
struct Settings::Suite {
  explicit Suite(std::shared_ptr<SuiteState> suiteState) : state(std::move(suiteState)) {}
  ~Suite() {
    bool left = false;
    {
      std::lock_guard lock(processLock());
      left = state->leftToWriter;
    }
    if (left) return;
    writePending(*state);
    // A write still queued for it must not retry what failed here, after its folder may be gone.
    std::lock_guard lock(processLock());
    state->closed = true;
  }
  Suite(const Suite&) = delete;
  Suite& operator=(const Suite&) = delete;

  std::shared_ptr<SuiteState> state;
};

namespace {

constexpr std::string_view kLogCategory = "Settings";
constexpr std::size_t kMaxNesting = 64;
constexpr std::string_view kDataMember = "base64";

std::mutex& processLock() {
  static std::mutex* const mutex = new std::mutex();  // never destroyed: usable during exit
  return *mutex;
}

// The suites open in this process. Once the last Settings object of a suite is gone (having
// written what was pending), opening it again reads the file again.
std::map<std::string, std::weak_ptr<Settings::Suite>>& openSuites() {
  static auto* const suites = new std::map<std::string, std::weak_ptr<Settings::Suite>>();
  return *suites;
}

// The one thread that rewrites settings files, in the order suites were changed. Made on first
// use and never destroyed; the program's end stops its thread after the writes it holds (see
// long_lived_threads.h), giving them until the program's deadline like every other thread: a write
// that hangs (another process keeps the writers' lock, a folder on a dead network mount) is left
// running rather than holding up the exit. A change after that starts another thread. Quitting
// hands it every pending write through flushAll(deadline), which stops it the same way.
class BackgroundWriter {
 public:
  void enqueue(std::shared_ptr<Settings::SuiteState> state) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(state));
    if (!thread_.joinable()) {
      run_ = std::make_shared<Run>();
      thread_ = std::thread([this, run = run_] { this->run(*run); });
    }
    wake_.notify_one();
  }

  // Writes what is queued, then ends the thread and joins it; false, with the thread left to end
  // by itself, when it is still writing at `deadline`. A thread left so by an earlier stop is waited
  // for as well: until it has ended, the writes it holds have not.
  bool stop(std::chrono::steady_clock::time_point deadline) {
    std::thread ending;
    std::shared_ptr<Run> run;
    {
      std::lock_guard lock(mutex_);
      if (run_) run_->stopping = true;
      ending = std::move(thread_);
      run = std::move(run_);
    }
    wake_.notify_all();
    std::unique_lock lock(mutex_);
    if (run) left_.push_back(run);
    ended_.wait_until(lock, deadline, [this] {
      return std::all_of(left_.begin(), left_.end(), [](const auto& left) { return left->ended; });
    });
    std::erase_if(left_, [](const auto& left) { return left->ended; });
    const bool ended = left_.empty();
    const bool endingEnded = run == nullptr || run->ended;
    lock.unlock();
    if (ending.joinable()) {
      if (endingEnded) {
        ending.join();
      } else {
        ending.detach();
      }
    }
    return ended;
  }

 private:
  // One thread's own flags (under mutex_): a change made while it ends starts another.
  struct Run {
    bool stopping = false;
    bool ended = false;
  };

  void run(Run& run) {
    for (;;) {
      std::shared_ptr<Settings::SuiteState> state;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this, &run] { return !queue_.empty() || run.stopping; });
        if (queue_.empty()) {
          run.ended = true;
          ended_.notify_all();
          return;
        }
        state = std::move(queue_.front());
        queue_.pop_front();
      }
      writePending(*state);
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable ended_;
  std::deque<std::shared_ptr<Settings::SuiteState>> queue_;
  std::thread thread_;                      // under mutex_
  std::shared_ptr<Run> run_;                // the running thread's, under mutex_
  std::vector<std::shared_ptr<Run>> left_;  // threads a stop gave up waiting for, under mutex_
};

BackgroundWriter& backgroundWriter() {
  static auto* const writer = [] {
    auto* made = new BackgroundWriter();
    registerLongLivedThreads(
        "the settings writer", LongLivedThreadsRole::writer,
        [made](std::chrono::steady_clock::time_point deadline) { return made->stop(deadline); });
    return made;
  }();
  return *writer;
}

std::string errnoText(int error) {
  return std::strerror(error);
}

std::filesystem::path siblingPath(const std::filesystem::path& file, std::string_view suffix) {
  return file.string() + std::string(suffix);
}

std::filesystem::path lastGoodPath(const std::filesystem::path& file) {
  return siblingPath(file, ".lastgood");
}
std::filesystem::path lockPath(const std::filesystem::path& file) {
  return siblingPath(file, ".lock");
}

void validateSuiteName(std::string_view name) {
  if (name.empty() || name.size() > 200 || name.front() == '.' || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos) {
    throw SettingsError("Invalid settings suite name: " + std::string(name));
  }
}
bool readWholeFile(const std::filesystem::path& path, std::string& text, int& error) {
  // O_NONBLOCK: a FIFO or device under the settings name must not hang the launch.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    error = errno;
    return false;
  }
  struct stat info {};
  const bool described = ::fstat(fd, &info) == 0;
  if (!described || !S_ISREG(info.st_mode)) {
    error = !described ? errno : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    return false;
  }
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

// A settings file as read from disk.
struct SuiteFile {
  enum class Status { read, missing, damaged, unreadable };
  Status status = Status::missing;
  Json values;    // when read: a JSON object
  int error = 0;  // when unreadable: the errno value
};

SuiteFile readSuiteFile(const std::filesystem::path& path) {
  SuiteFile file;
  std::string text;
  if (!readWholeFile(path, text, file.error)) {
    // No file (or no folder): an empty suite.
    file.status = file.error == ENOENT || file.error == ENOTDIR ? SuiteFile::Status::missing
                                                                : SuiteFile::Status::unreadable;
    return file;
  }
  Json parsed = jsonNestingWithin(text, kMaxNesting) ? Json::parse(text, nullptr, false)
                                                     : Json(Json::value_t::discarded);
  if (!parsed.is_object()) {
    file.status = SuiteFile::Status::damaged;
    return file;
  }
  file.status = SuiteFile::Status::read;
  file.values = std::move(parsed);
  return file;
}

// Moves an unparsable file out of the way under the first free "<file>.unreadable[.N]" name;
// returns that name, or nothing (with the reason in `failure`) when it stays in place.
std::optional<std::filesystem::path> moveAside(const std::filesystem::path& file, std::string& failure) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string target = file.string() + ".unreadable";
    if (attempt > 0) target += "." + std::to_string(attempt);
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0) continue;
    if (::rename(file.c_str(), target.c_str()) == 0) return target;
    failure = "it could not be moved aside: " + errnoText(errno);
    return std::nullopt;
  }
  failure = "it could not be moved aside: every name is taken";
  return std::nullopt;
}

Json toJson(const SettingsValue& value) {
  return std::visit(
      [](const auto& v) -> Json {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, SettingsValue::Data>) {
          return Json{{std::string(kDataMember), base64Encode(v)}};
        } else if constexpr (std::is_same_v<T, SettingsValue::Array>) {
          Json array = Json::array();
          for (const auto& element : v) array.push_back(toJson(element));
          return array;
        } else if constexpr (std::is_same_v<T, double>) {
          if (!std::isfinite(v))
            throw SettingsError("A setting cannot hold a real number that is not finite");
          return Json(v);
        } else {
          return Json(v);
        }
      },
      value.value);
}

std::optional<SettingsValue> fromJson(const Json& json) {
  switch (json.type()) {
    case Json::value_t::boolean:
      return SettingsValue{json.get<bool>()};
    case Json::value_t::number_integer:
      return SettingsValue{json.get<std::int64_t>()};
    case Json::value_t::number_unsigned: {
      const auto number = json.get<std::uint64_t>();
      if (number > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
      return SettingsValue{static_cast<std::int64_t>(number)};
    }
    case Json::value_t::number_float:
      return SettingsValue{json.get<double>()};
    case Json::value_t::string:
      return SettingsValue{json.get<std::string>()};
    case Json::value_t::array: {
      SettingsValue::Array array;
      array.reserve(json.size());
      for (const auto& element : json) {
        auto converted = fromJson(element);
        if (!converted) return std::nullopt;
        array.push_back(std::move(*converted));
      }
      return SettingsValue{std::move(array)};
    }
    case Json::value_t::object: {
      if (json.size() != 1) return std::nullopt;
      const auto member = json.find(kDataMember);
      if (member == json.end() || !member->is_string()) return std::nullopt;
      auto bytes = base64Decode(member->get_ref<const std::string&>());
      if (!bytes) return std::nullopt;
      return SettingsValue{std::move(*bytes)};
    }
    default:
      return std::nullopt;
  }
}

// Creates the missing folders of `folder` with mode 0700, as settings folders should be private.
bool ensureFolder(const std::filesystem::path& folder, std::string& failure) {
  std::filesystem::path partial;
  for (const auto& component : folder) {
    partial /= component;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
      failure = "cannot create " + partial.string() + ": " + errnoText(errno);
      return false;
    }
  }
  return true;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// A rename is durable only once the folder's entry is on disk.
void syncFolderEntries(const std::filesystem::path& folder) {
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
}

// Replaces `file` with `text` so that readers (and a crash) see either the old or the new file.
// Without `syncFolder` the rename is durable only once the caller syncs the folder.
bool replaceFileAtomically(const std::filesystem::path& file, std::string_view text, std::string& failure,
                           bool syncFolder = true) {
  const auto folder = file.parent_path();
  if (!ensureFolder(folder, failure)) return false;
  static std::atomic<std::uint64_t> counter{0};
  const std::string temporary =
      file.string() + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    failure = "cannot create " + temporary + ": " + errnoText(errno);
    return false;
  }
  bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temporary.c_str(), file.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    failure = "cannot write " + file.string() + ": " + errnoText(error);
    return false;
  }
  if (syncFolder) syncFolderEntries(folder);
  return true;
}

// The suite as opened: the file, or when it cannot be used, its last good copy (which takes the
// place of a file moved aside). A damaged file is
// checked again under the writers' lock before it is moved aside, so a file another process is
// replacing at that moment is never taken for damage.
std::shared_ptr<Settings::SuiteState> loadSuite(const std::filesystem::path& path) {
  auto state = std::make_shared<Settings::SuiteState>(path);
  SuiteFile file = readSuiteFile(path);
  std::optional<ExclusiveFileLock> lock;
  if (file.status == SuiteFile::Status::damaged) {
    try {
      lock.emplace(ExclusiveFileLock::acquire(lockPath(path).string()));
      file = readSuiteFile(path);
    } catch (const FileError& error) {
      logError(kLogCategory, std::string("Settings read without the writers' lock: ") + error.what());
    }
  }
  if (file.status == SuiteFile::Status::read) state->values = std::move(file.values);
  if (file.status == SuiteFile::Status::read || file.status == SuiteFile::Status::missing) return state;

  SettingsDamage damage;
  std::string report = "Settings file " + path.string();
  if (file.status == SuiteFile::Status::unreadable) {
    report += " could not be read (" + errnoText(file.error) + ")";
  } else {
    std::string failure;
    if (const auto target = moveAside(path, failure)) {
      damage.setAside = *target;
      report += " was unreadable and was moved to " + target->string();
    } else {
      report += " was unreadable and " + failure;
    }
  }
  SuiteFile lastGood = readSuiteFile(lastGoodPath(path));
  if (lastGood.status == SuiteFile::Status::read) {
    state->values = std::move(lastGood.values);
    damage.restoredLastGood = true;
    report += "; its last good copy was loaded";
    // Put back in the file's place, or the next write would start from nothing.
    std::string failure;
    if (!damage.setAside.empty() && !replaceFileAtomically(path, state->values.dump(2) + "\n", failure)) {
      report += " but could not be put back: " + failure;
    }
  } else {
    report += "; no good copy could be read either, so the settings start empty";
  }
  logError(kLogCategory, report);
  state->damage = std::move(damage);
  return state;
}

void applyChange(Json& values, const std::string& key, const std::optional<Json>& value) {
  if (value) {
    values[key] = *value;
  } else {
    values.erase(key);
  }
}

using PendingChanges = std::map<std::string, PendingChange, std::less<>>;

// Lays `changes` over the file as it is now and replaces it (and its last good copy) under the
// writers' lock. Returns what the file holds afterwards; nothing, with the reason in `failure`,
// when it was not written. `known` stands in for a file found damaged with no good copy beside it.
std::optional<Json> rewrite(const std::filesystem::path& path, const PendingChanges& changes,
                            const Json& known, std::string& failure) {
  if (!ensureFolder(path.parent_path(), failure)) return std::nullopt;
  std::optional<ExclusiveFileLock> lock;
  try {
    lock.emplace(ExclusiveFileLock::acquire(lockPath(path).string()));
  } catch (const FileError& error) {
    failure = error.what();
    return std::nullopt;
  }
  SuiteFile file = readSuiteFile(path);
  Json values;
  switch (file.status) {
    case SuiteFile::Status::read:
      values = std::move(file.values);
      break;
    case SuiteFile::Status::missing:
      values = Json::object();
      break;
    case SuiteFile::Status::damaged: {
      std::string moveFailure;
      const auto target = moveAside(path, moveFailure);
      SuiteFile lastGood = readSuiteFile(lastGoodPath(path));
      values = lastGood.status == SuiteFile::Status::read ? std::move(lastGood.values) : known;
      logError(kLogCategory, "Settings file " + path.string() + " was found unreadable; " +
                                 (target ? "moved to " + target->string() : moveFailure));
      break;
    }
    case SuiteFile::Status::unreadable:
      failure = "the existing file " + path.string() + " could not be read: " + errnoText(file.error);
      return std::nullopt;
  }
  for (const auto& [key, change] : changes) applyChange(values, key, change.value);
  std::string text;
  try {
    text = values.dump(2) + "\n";
  } catch (const Json::exception& error) {
    failure = std::string("cannot encode the values: ") + error.what();
    return std::nullopt;
  }
  if (!replaceFileAtomically(path, text, failure, false)) return std::nullopt;
  std::string copyFailure;
  if (!replaceFileAtomically(lastGoodPath(path), text, copyFailure)) {
    logError(kLogCategory, "Last good copy of the settings not saved: " + copyFailure);
    syncFolderEntries(path.parent_path());
  }
  return values;
}

// Writes the changes pending when it starts. Changes made while it writes stay pending (and
// queued) for the next rewrite, so the file only ever takes changes in the order they were made.
bool writePending(Settings::SuiteState& state) {
  std::lock_guard writing(state.writeMutex);
  PendingChanges changes;
  std::uint64_t upTo = 0;
  Json known;
  {
    std::lock_guard lock(processLock());
    state.queued = false;
    if (state.pending.empty() || state.closed) return state.pending.empty();
    changes = state.pending;
    upTo = state.lastSerial;
    known = state.values;
  }
  std::string failure;
  std::optional<Json> written = rewrite(state.file, changes, known, failure);
  {
    std::lock_guard lock(processLock());
    state.leftToWriter = false;  // this write is over, whatever became of it
  }
  if (!written) {
    if (failure != state.lastFailure) logError(kLogCategory, "Settings not saved: " + failure);
    state.lastFailure = std::move(failure);
    return false;
  }
  state.lastFailure.clear();
  std::lock_guard lock(processLock());
  std::erase_if(state.pending, [upTo](const auto& entry) { return entry.second.serial <= upTo; });
  state.values = std::move(*written);
  for (const auto& [key, change] : state.pending) applyChange(state.values, key, change.value);
  return true;
}

// Records a change for every reader and queues the rewrite. Caller holds the process lock.
void change(const std::shared_ptr<Settings::SuiteState>& state, std::string_view key,
            std::optional<Json> value) {
  const std::string name(key);
  applyChange(state->values, name, value);
  state->pending[name] = PendingChange{std::move(value), ++state->lastSerial};
  if (!state->queued) {
    state->queued = true;
    backgroundWriter().enqueue(state);
  }
}

}  // namespace

std::filesystem::path Settings::defaultFolder() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
    return std::filesystem::path(config) / "Lorvex";
  }
  std::string home;
  if (const char* value = std::getenv("HOME"); value != nullptr && value[0] != '\0') {
    home = value;
  } else {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr) {
      home = result->pw_dir;
    }
  }
  return std::filesystem::path(home.empty() ? "/" : home) / ".config" / "Lorvex";
}

Settings::Settings(std::string_view suiteName, const std::filesystem::path& folder) {
  validateSuiteName(suiteName);
  filePath_ = std::filesystem::absolute(folder).lexically_normal() / (std::string(suiteName) + ".json");
  std::lock_guard lock(processLock());
  std::weak_ptr<Suite>& open = openSuites()[filePath_.string()];
  suite_ = open.lock();
  if (!suite_) {
    suite_ = std::make_shared<Suite>(loadSuite(filePath_));
    open = suite_;
  }
  state_ = suite_->state.get();
}

std::optional<SettingsDamage> Settings::damage() const {
  std::lock_guard lock(processLock());
  return state_->damage;
}

std::optional<SettingsValue> Settings::object(std::string_view key) const {
  std::lock_guard lock(processLock());
  const auto found = state_->values.find(key);
  if (found == state_->values.end()) return std::nullopt;
  return fromJson(*found);
}

std::optional<bool> Settings::boolean(std::string_view key) const {
  const auto value = object(key);
  if (!value) return std::nullopt;
  if (const auto* b = std::get_if<bool>(&value->value)) return *b;
  return std::nullopt;
}

std::optional<std::int64_t> Settings::integer(std::string_view key) const {
  const auto value = object(key);
  if (!value) return std::nullopt;
  if (const auto* i = std::get_if<std::int64_t>(&value->value)) return *i;
  return std::nullopt;
}

std::optional<double> Settings::real(std::string_view key) const {
  const auto value = object(key);
  if (!value) return std::nullopt;
  if (const auto* d = std::get_if<double>(&value->value)) return *d;
  if (const auto* i = std::get_if<std::int64_t>(&value->value)) return static_cast<double>(*i);
  return std::nullopt;
}

std::optional<std::string> Settings::string(std::string_view key) const {
  auto value = object(key);
  if (!value) return std::nullopt;
  if (auto* s = std::get_if<std::string>(&value->value)) return std::move(*s);
  return std::nullopt;
}

std::optional<SettingsValue::Data> Settings::data(std::string_view key) const {
  auto value = object(key);
  if (!value) return std::nullopt;
  if (auto* d = std::get_if<SettingsValue::Data>(&value->value)) return std::move(*d);
  return std::nullopt;
}

std::optional<SettingsValue::Array> Settings::array(std::string_view key) const {
  auto value = object(key);
  if (!value) return std::nullopt;
  if (auto* a = std::get_if<SettingsValue::Array>(&value->value)) return std::move(*a);
  return std::nullopt;
}

std::optional<std::vector<std::string>> Settings::stringArray(std::string_view key) const {
  auto elements = array(key);
  if (!elements) return std::nullopt;
  std::vector<std::string> strings;
  strings.reserve(elements->size());
  for (auto& element : *elements) {
    auto* s = std::get_if<std::string>(&element.value);
    if (s == nullptr) return std::nullopt;
    strings.push_back(std::move(*s));
  }
  return strings;
}

void Settings::set(std::string_view key, SettingsValue value) {
  Json json = toJson(value);
  try {
    (void)Json{{std::string(key), json}}.dump();  // refuses text that is not UTF-8 now, not in the writer
  } catch (const Json::type_error&) {
    throw SettingsError("A setting cannot hold text that is not valid UTF-8");
  }
  std::lock_guard lock(processLock());
  change(suite_->state, key, std::move(json));
}

void Settings::setStringArray(std::string_view key, const std::vector<std::string>& values) {
  SettingsValue::Array array;
  array.reserve(values.size());
  for (const auto& s : values) array.push_back(SettingsValue{s});
  set(key, SettingsValue{std::move(array)});
}

void Settings::remove(std::string_view key) {
  std::lock_guard lock(processLock());
  if (state_->values.find(key) == state_->values.end()) return;
  change(suite_->state, key, std::nullopt);
}

bool Settings::flush() {
  return writePending(*state_);
}

bool Settings::flushAll(std::chrono::steady_clock::time_point deadline) {
  // Held until the process lock is let go: a suite whose last object went meanwhile is written by
  // its destructor, which takes that lock.
  std::vector<std::shared_ptr<Suite>> suites;
  {
    std::lock_guard lock(processLock());
    for (const auto& [path, open] : openSuites()) {
      auto suite = open.lock();
      if (!suite) continue;
      SuiteState& state = *suite->state;
      // A write that failed is not queued again by itself: the flush retries it.
      if (!state.pending.empty() && !state.queued) {
        state.queued = true;
        backgroundWriter().enqueue(suite->state);
      }
      suites.push_back(std::move(suite));
    }
  }
  const bool ended = backgroundWriter().stop(deadline);
  std::lock_guard lock(processLock());
  bool written = true;
  for (const auto& suite : suites) {
    SuiteState* state = suite->state.get();
    if (state->pending.empty()) continue;
    written = false;
    if (ended) continue;
    state->leftToWriter = true;
    logError(kLogCategory,
             "Settings still being written at the deadline were left to the writer: " + state->file.string());
  }
  return written;
}

bool Settings::removeSuite() {
  std::lock_guard writing(state_->writeMutex);
  {
    std::lock_guard lock(processLock());
    state_->values = Json::object();
    state_->pending.clear();
  }
  for (const auto& file : {filePath_, lastGoodPath(filePath_)}) {
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
      logError(kLogCategory,
               "Settings file could not be deleted: " + file.string() + ": " + errnoText(errno));
      return false;
    }
  }
  return true;
}

}  // namespace lorvex::platform
