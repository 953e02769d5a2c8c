// A fresh folder under the system's temporary directory, removed with everything in it when the
// object goes away.
#pragma once

#include <filesystem>
#include <set>
#include <string>

namespace lorvex::testing {

class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path file(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Writes `bytes` to `path`, replacing it.
void writeFile(const std::filesystem::path& path, const std::string& bytes);
std::string readFile(const std::filesystem::path& path);
// The names of the entries of a folder.
std::set<std::string> folderListing(const std::filesystem::path& folder);

}  // namespace lorvex::testing
