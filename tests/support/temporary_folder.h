// A fresh folder for one test, under $TMPDIR (or /tmp) or under a folder the test names (another
// mount), removed with everything in it when the object goes away, even where the test took the
// write permission away.
#pragma once

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
  TemporaryFolder() : TemporaryFolder(defaultParent()) {}
  explicit TemporaryFolder(const std::filesystem::path& parent) {
    std::string pattern = (parent / "lorvex-test-XXXXXX").string();
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
  std::filesystem::path file(const std::filesystem::path& relative) const { return path_ / relative; }
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
  static std::filesystem::path defaultParent() {
    const char* base = std::getenv("TMPDIR");
    return base != nullptr && base[0] == '/' ? base : "/tmp";
  }

  std::filesystem::path path_;
};

}  // namespace lorvex::testing
