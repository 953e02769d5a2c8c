// Whole-file reads and writes and folder listings, for tests that set up or check the files beside a
// library.
#pragma once

#include <filesystem>
#include <set>
#include <string>

namespace lorvex::testing {

// Writes `bytes` to `path`, replacing it.
void writeFile(const std::filesystem::path& path, const std::string& bytes);
std::string readFile(const std::filesystem::path& path);
// The names of the entries of a folder.
std::set<std::string> folderListing(const std::filesystem::path& folder);

}  // namespace lorvex::testing
