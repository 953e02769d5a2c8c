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
// one is read through every other at once. The file is rewritten by one background writer thread
// (an fsync must not hold up the window), in the order the values were set: several changes made
// before the writer gets to them go into one rewrite.
//
// A rewrite never replaces the file from a stale copy: under an flock on "<suite>.json.lock" it
// reads the file again, lays this process's changed keys over what it holds (another process's
// keys stay as that process wrote them) and replaces the file atomically (a temporary file in the
// same folder, fsync, rename, fsync of the folder), so a crash leaves the old or the new file,
// never a torn one. A file that exists but cannot be read is never replaced: the rewrite is
// refused and logged. Each rewrite also leaves the same text in "<suite>.json.lastgood"; opening
// a suite whose file is damaged loads that copy instead.
//
// Quitting: flushAll(deadline) writes what every open suite has pending, giving up at the
// program's exit deadline; otherwise the last Settings object of a suite writes what is still
// pending before it goes.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <chrono>
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

// What opening a suite found when its file could not be used.
struct SettingsDamage {
  // Where the unreadable file was moved ("<suite>.json.unreadable", ".1", ".2", …); empty when it
  // was left in place (it could not be read at all, or not moved).
  std::filesystem::path setAside;
  // True: the values are those of the last good copy. False: the suite started empty.
  bool restoredLastGood = false;

  bool operator==(const SettingsDamage&) const = default;
};

class Settings {
 public:
  static constexpr std::string_view kStandardSuiteName = "app.lorvex.Lorvex";

  // $XDG_CONFIG_HOME/Lorvex when XDG_CONFIG_HOME is an absolute path, else $HOME/.config/Lorvex
  // (the home folder from the password database when HOME is unset).
  static std::filesystem::path defaultFolder();

  // Opens a suite. The folder is created (mode 0700) on the first write, not here. A file that
  // exists but is not a JSON object (truncated, garbled) is moved aside to
  // "<suite>.json.unreadable" (".1", ".2", … when taken), so no write can destroy it; a file that
  // cannot be read at all (permissions, I/O) stays where it is. Either way the suite starts from
  // the last good copy, or empty when that cannot be read either; damage() says which, and it is
  // logged. A missing file is an empty suite (the last good copy of a deleted file is not
  // brought back). Throws SettingsError when the suite name cannot name a file.
  explicit Settings(std::string_view suiteName, const std::filesystem::path& folder = defaultFolder());

  const std::filesystem::path& filePath() const { return filePath_; }
  // What was wrong with the file when this process first opened the suite; nothing when it was
  // read (or absent).
  std::optional<SettingsDamage> damage() const;

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

  // Stores the value for every reader in this process at once and hands the file's rewrite to the
  // background writer. Throws SettingsError (nothing changed) when the value cannot be stored. A
  // rewrite that fails is logged; the value stays readable in this process and the next rewrite
  // (or flush) saves it too.
  void set(std::string_view key, SettingsValue value);
  void setBoolean(std::string_view key, bool value) { set(key, SettingsValue{value}); }
  void setInteger(std::string_view key, std::int64_t value) { set(key, SettingsValue{value}); }
  void setReal(std::string_view key, double value) { set(key, SettingsValue{value}); }
  void setString(std::string_view key, std::string value) { set(key, SettingsValue{std::move(value)}); }
  void setData(std::string_view key, SettingsValue::Data value) { set(key, SettingsValue{std::move(value)}); }
  void setStringArray(std::string_view key, const std::vector<std::string>& values);

  // Removes the key (nothing happens when it is absent), as set() writes.
  void remove(std::string_view key);

  // Rewrites the file now, in the calling thread, with every change made to the suite before the
  // call. True when the file holds them all (also when nothing was pending).
  bool flush();
  // Writes every change made before the call to every suite open in this process, through the
  // background writer, and ends its thread (a later change starts another). What quitting calls,
  // with the program's exit deadline: a write still running then (another process keeps the
  // writers' lock, the folder is on a dead network mount) is left to the writer, and the suite's
  // last Settings object no longer waits for it. True when every suite's file holds its changes.
  static bool flushAll(std::chrono::steady_clock::time_point deadline);

  // Forgets every value of the suite, pending ones included, and deletes its file and last good
  // copy (a UI-testing run's reset). Returns false, after logging, when the file exists but could
  // not be deleted.
  bool removeSuite();

  struct SuiteState;
  struct Suite;

 private:
  std::filesystem::path filePath_;
  std::shared_ptr<Suite> suite_;
  SuiteState* state_ = nullptr;  // suite_'s
};

}  // namespace lorvex::platform
