#include "platform/settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>

#include "platform/base64.h"
#include "platform/json_nesting.h"
#include "platform/log.h"

namespace lorvex::platform {

using Json = nlohmann::json;

struct Settings::SuiteState {
  Json values = Json::object();
  // Set when an existing file could not be read: replacing it would destroy values we never saw.
  bool writesBlocked = false;
};

namespace {

constexpr std::string_view kLogCategory = "Settings";
constexpr std::size_t kMaxNesting = 64;
constexpr std::string_view kDataMember = "base64";

std::mutex& processLock() {
  static std::mutex* const mutex = new std::mutex();  // never destroyed: usable during exit
  return *mutex;
}

std::map<std::string, std::weak_ptr<Settings::SuiteState>>& openSuites() {
  static auto* const suites = new std::map<std::string, std::weak_ptr<Settings::SuiteState>>();
  return *suites;
}

std::string errnoText(int error) {
  return std::strerror(error);
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

// Moves an unparsable file out of the way under the first free "<file>.unreadable[.N]" name.
void moveAside(const std::filesystem::path& file) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string target = file.string() + ".unreadable";
    if (attempt > 0) target += "." + std::to_string(attempt);
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0) continue;
    if (::rename(file.c_str(), target.c_str()) == 0) {
      logError(kLogCategory, "Unreadable settings file moved to " + target);
    } else {
      logError(kLogCategory, "Unreadable settings file could not be moved aside: " + file.string() + ": " +
                                 errnoText(errno));
    }
    return;
  }
}

std::shared_ptr<Settings::SuiteState> loadSuite(const std::filesystem::path& file) {
  auto state = std::make_shared<Settings::SuiteState>();
  std::string text;
  int error = 0;
  if (!readWholeFile(file, text, error)) {
    if (error != ENOENT && error != ENOTDIR) {  // no file: an empty suite
      state->writesBlocked = true;
      logError(kLogCategory, "Settings file could not be read: " + file.string() + ": " + errnoText(error));
    }
    return state;
  }
  Json parsed = jsonNestingWithin(text, kMaxNesting) ? Json::parse(text, nullptr, false)
                                                     : Json(Json::value_t::discarded);
  if (parsed.is_object()) {
    state->values = std::move(parsed);
  } else {
    moveAside(file);
  }
  return state;
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

// Replaces `file` with `text` so that readers (and a crash) see either the old or the new file.
bool replaceFileAtomically(const std::filesystem::path& file, std::string_view text, std::string& failure) {
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
  // The rename is durable only once the folder's entry is on disk.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

// Applies `change` to a copy of the suite's values, writes the copy and keeps it. Caller holds
// the process lock.
template <typename Change>
bool commit(Settings::SuiteState& state, const std::filesystem::path& file, Change&& change) {
  Json updated = state.values;
  change(updated);
  std::string text;
  try {
    text = updated.dump(2) + "\n";
  } catch (const Json::type_error&) {
    throw SettingsError("A setting cannot hold text that is not valid UTF-8");
  }
  state.values = std::move(updated);
  if (state.writesBlocked) {
    logError(kLogCategory, "Settings not saved: the existing file " + file.string() + " could not be read");
    return false;
  }
  std::string failure;
  if (!replaceFileAtomically(file, text, failure)) {
    logError(kLogCategory, "Settings not saved: " + failure);
    return false;
  }
  return true;
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
  auto& suites = openSuites();
  auto& slot = suites[filePath_.string()];
  state_ = slot.lock();
  if (!state_) {
    state_ = loadSuite(filePath_);
    slot = state_;
  }
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

bool Settings::set(std::string_view key, SettingsValue value) {
  Json json = toJson(value);
  std::lock_guard lock(processLock());
  return commit(*state_, filePath_, [&](Json& values) { values[std::string(key)] = std::move(json); });
}

bool Settings::setStringArray(std::string_view key, const std::vector<std::string>& values) {
  SettingsValue::Array array;
  array.reserve(values.size());
  for (const auto& s : values) array.push_back(SettingsValue{s});
  return set(key, SettingsValue{std::move(array)});
}

bool Settings::remove(std::string_view key) {
  std::lock_guard lock(processLock());
  if (state_->values.find(key) == state_->values.end()) return true;
  return commit(*state_, filePath_, [&](Json& values) { values.erase(std::string(key)); });
}

bool Settings::removeSuite() {
  std::lock_guard lock(processLock());
  state_->values = Json::object();
  if (::unlink(filePath_.c_str()) != 0 && errno != ENOENT) {
    logError(kLogCategory,
             "Settings file could not be deleted: " + filePath_.string() + ": " + errnoText(errno));
    return false;
  }
  state_->writesBlocked = false;
  return true;
}

}  // namespace lorvex::platform
