// Environment variables set for a test's life and put back afterwards, and a home of the test's
// own: HOME and the XDG data, config, cache and state folders inside a temporary folder, so that
// nothing the code under test does can reach the real user's files.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace lorvex::testing {

// Sets an environment variable for the object's life and puts the old value back.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    ::setenv(name_.c_str(), value.c_str(), 1);
  }
  ~ScopedEnvironmentVariable() {
    if (old_) {
      ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// HOME = <folder>/home, XDG_DATA_HOME = <folder>/data, XDG_CONFIG_HOME = <folder>/config,
// XDG_CACHE_HOME = <folder>/cache, XDG_STATE_HOME = <folder>/state (the folders are not created).
class ScopedUserFolders {
 public:
  explicit ScopedUserFolders(const std::filesystem::path& folder)
      : home_("HOME", folder / "home"),
        data_("XDG_DATA_HOME", folder / "data"),
        config_("XDG_CONFIG_HOME", folder / "config"),
        cache_("XDG_CACHE_HOME", folder / "cache"),
        state_("XDG_STATE_HOME", folder / "state") {}

 private:
  ScopedEnvironmentVariable home_;
  ScopedEnvironmentVariable data_;
  ScopedEnvironmentVariable config_;
  ScopedEnvironmentVariable cache_;
  ScopedEnvironmentVariable state_;
};

}  // namespace lorvex::testing
