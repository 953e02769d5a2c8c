// A library in a fresh temporary folder, opened by a repository that reads a manual clock and
// records every statement it runs; open() closes and opens it again, as the next launch would.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/recording_options.h"
#include "database/support/repository_connection.h"
#include "platform/clock.h"
#include "support/temporary_folder.h"

namespace lorvex::testing {

class RepositoryFixture : public ::testing::Test {
 protected:
  explicit RepositoryFixture(double now) : clock{now} {}

  void SetUp() override { open(); }
  void open() {
    repository.reset();
    repository = std::make_unique<SQLiteImageRepositoryV3>(file, recordingOptions(clock, statements));
  }
  SQLiteImageRepositoryV3& repo() { return *repository; }
  // Runs SQL straight on the repository's connection, to make states the operations cannot reach.
  void exec(const std::string& sql) { connectionOf(repo()).executeScript(sql); }

  TemporaryFolder directory;
  std::filesystem::path file = directory.file(kLibraryDatabaseFileName);
  platform::ManualClock clock;
  std::vector<std::string> statements;
  std::unique_ptr<SQLiteImageRepositoryV3> repository;
};

}  // namespace lorvex::testing
