// The names of the files a library keeps in its folder, for tests that make, damage or look for
// them: the database's name followed by a suffix ("-wal", "-damaged", ".pre-v4-v4-1700000000").
#pragma once

#include <string>
#include <string_view>

#include "database/library_database_file.h"

namespace lorvex::testing {

inline std::string libraryFileName(std::string_view suffix = {}) {
  return std::string(kLibraryDatabaseFileName) + std::string(suffix);
}

}  // namespace lorvex::testing
