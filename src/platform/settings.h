// Settings: small named values that outlive the process (saved folders, filter tags, UI
// preferences). Each suite is one JSON file, "<suite>.json", in the settings folder
// ($XDG_CONFIG_HOME/Lorvex, or ~/.config/Lorvex). The application's own values live in the suite
// kStandardSuiteName; a UI-testing run uses a suite of its own.
//
// Values are typed: Boolean, integer, real, text, data (bytes) and arrays of values. A typed read
// of a value stored with another type gives nothing, as if the key were absent; values the
// program does not understand are kept in the file untouched.
//
// Every Settings object for the same file shares one in-memory copy, so a value written through
// one is read through every other at once. Each write replaces the whole file atomically (a
// temporary file in the same folder, fsync, rename, fsync of the folder), so a crash leaves either
// the old or the new file, never a torn one. One process-wide lock serialises all reads and
// writes, so concurrent writers in one process never lose each other's values. Another process
// writing the same file is not coordinated with.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lorvex::platform {

// One stored value.
struct SettingsValue {
  using Data = std::vector<std::uint8_t>;
  using Array = std::vector<SettingsValue>;
  std::variant<bool, std::int64_t, double, std::string, Data, Array> value;

  bool operator==(const SettingsValue&) const = default;
};

// A suite name that cannot name a settings file ("", "/", NUL, a leading "."), or a value that
// cannot be stored (text that is not valid UTF-8, a real that is not finite).
class SettingsError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

class Settings {
 public:
  static constexpr std::string_view kStandardSuiteName = "app.lorvex.Lorvex";

  // $XDG_CONFIG_HOME/Lorvex when XDG_CONFIG_HOME is an absolute path, else $HOME/.config/Lorvex
  // (the home folder from the password database when HOME is unset).
  static std::filesystem::path defaultFolder();

  // Opens a suite. The folder is created (mode 0700) on the first write, not here. A file that
  // exists but is not a JSON object is moved aside to "<suite>.json.unreadable" (".1", ".2", …
  // when taken), logged, and the suite starts empty, so the next write cannot destroy it. A file
  // that cannot be read at all (permissions, I/O) is logged and the suite starts empty.
  // Throws SettingsError when the suite name cannot name a file.
  explicit Settings(std::string_view suiteName, const std::filesystem::path& folder = defaultFolder());

  const std::filesystem::path& filePath() const { return filePath_; }

  // The stored value, whatever its type.
  std::optional<SettingsValue> object(std::string_view key) const;

  // Typed reads. integer() reads only whole numbers stored as integers; real() reads reals and
  // integers; boolean() only Booleans (never numbers); stringArray() nothing when any element is
  // not text.
  std::optional<bool> boolean(std::string_view key) const;
  std::optional<std::int64_t> integer(std::string_view key) const;
  std::optional<double> real(std::string_view key) const;
  std::optional<std::string> string(std::string_view key) const;
  std::optional<SettingsValue::Data> data(std::string_view key) const;
  std::optional<SettingsValue::Array> array(std::string_view key) const;
  std::optional<std::vector<std::string>> stringArray(std::string_view key) const;

  // Stores the value and rewrites the file. Throws SettingsError (nothing changed) when the value
  // cannot be stored. Returns false when the file could not be written: the failure is logged and
  // the value stays readable in this process; the next successful write saves it too.
  bool set(std::string_view key, SettingsValue value);
  bool setBoolean(std::string_view key, bool value) { return set(key, SettingsValue{value}); }
  bool setInteger(std::string_view key, std::int64_t value) { return set(key, SettingsValue{value}); }
  bool setReal(std::string_view key, double value) { return set(key, SettingsValue{value}); }
  bool setString(std::string_view key, std::string value) {
    return set(key, SettingsValue{std::move(value)});
  }
  bool setData(std::string_view key, SettingsValue::Data value) {
    return set(key, SettingsValue{std::move(value)});
  }
  bool setStringArray(std::string_view key, const std::vector<std::string>& values);

  // Removes the key (nothing happens when it is absent); returns false as set() does.
  bool remove(std::string_view key);

  // Forgets every value of the suite and deletes its file (a UI-testing run's reset). Returns
  // false, after logging, when the file exists but could not be deleted.
  bool removeSuite();

  struct SuiteState;

 private:
  std::filesystem::path filePath_;
  std::shared_ptr<SuiteState> state_;
};

}  // namespace lorvex::platform
