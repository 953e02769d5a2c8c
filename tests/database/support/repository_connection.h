// The test-only way to the repository's connections: tests read and write rows directly, to set up
// states the operations cannot reach and to check what the operations stored, and hold the
// reader's lock to make a search wait.
#pragma once

#include "database/internal/sqlite_connection.h"
#include "database/sqlite_image_repository.h"

namespace lorvex {

struct SQLiteImageRepositoryV3TestAccess {
  static SQLiteConnection& connection(SQLiteImageRepositoryV3& repository) { return repository.connection_; }
  static SQLiteConnection& reader(SQLiteImageRepositoryV3& repository) { return repository.reader_; }
};

namespace testing {

inline SQLiteConnection& connectionOf(SQLiteImageRepositoryV3& repository) {
  return SQLiteImageRepositoryV3TestAccess::connection(repository);
}

// The read-only connection the searches and suggestions run on.
inline SQLiteConnection& readerOf(SQLiteImageRepositoryV3& repository) {
  return SQLiteImageRepositoryV3TestAccess::reader(repository);
}

}  // namespace testing
}  // namespace lorvex
