// The test-only way to the repository's connection: tests read and write rows directly, to set up
// states the operations cannot reach and to check what the operations stored.
#pragma once

#include "database/internal/sqlite_connection.h"
#include "database/sqlite_image_repository.h"

namespace lorvex {

struct SQLiteImageRepositoryV3TestAccess {
  static SQLiteConnection& connection(SQLiteImageRepositoryV3& repository) { return repository.connection_; }
};

namespace testing {

inline SQLiteConnection& connectionOf(SQLiteImageRepositoryV3& repository) {
  return SQLiteImageRepositoryV3TestAccess::connection(repository);
}

}  // namespace testing
}  // namespace lorvex
