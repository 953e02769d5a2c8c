// The name of the library database file in the library folder. The repository opens whatever path
// it is given; start-up puts this name in the library folder, and the files kept beside the
// database ("-wal", "-shm", a library set aside as damaged or outdated) are this name with a
// suffix.
#pragma once

#include <string_view>

namespace lorvex {

inline constexpr std::string_view kLibraryDatabaseFileName = "LorvexV3.sqlite";

}  // namespace lorvex
