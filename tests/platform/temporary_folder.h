// A fresh folder under $TMPDIR (or /tmp) for one test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace lorvex::testing {

class TemporaryFolder {
 public:
  TemporaryFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/lorvex-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::system_error(errno, std::generic_category(), "mkdtemp");
    // Resolve symbolic links so paths compare equal to what the code under test canonicalises.
    path_ = std::filesystem::canonical(pattern);
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return (path_ / relative).string(); }

  // Creates the folders leading to `relative` and writes `contents` to it.
  std::string writeFile(const std::string& relative, const std::string& contents = "x") const {
    const auto file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << contents;
    return file.string();
  }
  std::string makeFolder(const std::string& relative) const {
    const auto folder = path_ / relative;
    std::filesystem::create_directories(folder);
    return folder.string();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace lorvex::testing
