#include "database/sqlite_image_repository_error.h"

#include <gtest/gtest.h>

namespace lorvex {
namespace {

using Error = SQLiteImageRepositoryV3Error;

TEST(SQLiteImageRepositoryV3ErrorTest, DescriptionsAreTheFixedStemsOrTheMessageItself) {
  const struct {
    Error error;
    const char* description;
  } cases[] = {
      {Error::incompatibleSchemaVersion(3), "Unsupported Lorvex V4 database schema version: 3"},
      {Error::incompatibleSchemaVersion(-2), "Unsupported Lorvex V4 database schema version: -2"},
      {Error::newerSchemaVersion(5), "Lorvex database was created by a newer schema version: 5"},
      {Error::openFailed("Unable to open database"), "Unable to open database"},
      {Error::executionFailed("near \"x\": syntax error"), "near \"x\": syntax error"},
      {Error::prepareFailed("Database is closed"), "Database is closed"},
      {Error::stepFailed("UNIQUE constraint failed: t.a"), "UNIQUE constraint failed: t.a"},
      {Error::recordNotFound("indexing job 7"), "No indexed record exists for: indexing job 7"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.error.localizedDescription(), c.description);
    EXPECT_STREQ(c.error.what(), c.description);
  }
}

TEST(SQLiteImageRepositoryV3ErrorTest, EqualityComparesKindAndPayloadButNotTheResultCode) {
  EXPECT_NE(Error::executionFailed("boom"), Error::prepareFailed("boom"));
  EXPECT_EQ(Error::stepFailed("boom"), Error::stepFailed("boom"));
  EXPECT_EQ(Error::stepFailed("boom", 19), Error::stepFailed("boom", 1555));
  EXPECT_NE(Error::stepFailed("boom"), Error::stepFailed("bang"));
  EXPECT_NE(Error::incompatibleSchemaVersion(4), Error::newerSchemaVersion(4));
  EXPECT_NE(Error::incompatibleSchemaVersion(3), Error::incompatibleSchemaVersion(4));
}

TEST(SQLiteImageRepositoryV3ErrorTest, PayloadAccessors) {
  EXPECT_EQ(Error::newerSchemaVersion(9).version(), 9);
  EXPECT_EQ(Error::newerSchemaVersion(9).message(), "");
  EXPECT_EQ(Error::stepFailed("x", 11).message(), "x");
  EXPECT_EQ(Error::stepFailed("x", 11).sqliteResultCode(), 11);
  EXPECT_EQ(Error::recordNotFound("y").kind(), Error::Kind::recordNotFound);
}

}  // namespace
}  // namespace lorvex
