#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "database/internal/row_mappers.h"
#include "database/internal/sql_paths.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/database_inspection.h"
#include "database/support/repository_connection.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using Error = SQLiteImageRepositoryV3Error;
using namespace std::string_literals;

class StatementLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SQLiteImageRepositoryV3Options options;
    options.statementObserver = [this](std::string_view sql) { observed.emplace_back(sql); };
    repository = std::make_unique<SQLiteImageRepositoryV3>(directory.file(kLibraryDatabaseFileName), options);
    connection().executeScript("CREATE TABLE t (k INTEGER PRIMARY KEY, v);");
    observed.clear();
  }
  SQLiteConnection& connection() { return lorvex::testing::connectionOf(*repository); }

  testing::TemporaryFolder directory;
  std::vector<std::string> observed;
  std::unique_ptr<SQLiteImageRepositoryV3> repository;
};

TEST_F(StatementLayerTest, ValuesRoundTripWithTheirExactBytes) {
  auto& db = connection();
  auto guard = db.lock();
  const std::string withNul = "a\0b\xE2\x80\x8B"s;
  db.execute("INSERT INTO t (k, v) VALUES (?, ?)", {1, withNul});
  db.execute("INSERT INTO t (k, v) VALUES (?, ?)", {2, SQLiteV3Binding::blob({})});
  db.execute("INSERT INTO t (k, v) VALUES (?, ?)",
             {3, SQLiteV3Binding::blob(std::vector<std::uint8_t>{0, 1, 255})});
  db.execute("INSERT INTO t (k, v) VALUES (?, ?)", {4, -0.5});
  db.execute("INSERT INTO t (k, v) VALUES (?, ?)", {5, std::optional<std::string>()});
  db.execute("INSERT INTO t (k, v) VALUES (?, ?)", {6, INT64_MIN});
  // Borrowed texts are bound as they lie; an empty one is '' like an owned empty text, never NULL.
  const std::string borrowed = "borrowed\0bytes"s;
  db.execute("INSERT INTO t (k, v) VALUES (?, ?)", {7, SQLiteV3Binding::borrowedText(borrowed)});
  db.execute("INSERT INTO t (k, v) VALUES (?, ?)", {8, SQLiteV3Binding::borrowedText(std::string_view())});
  db.execute("INSERT INTO t (k, v) VALUES (?, ?)", {9, std::string()});

  struct Row {
    std::string type;
    std::string text;
    std::vector<std::uint8_t> blob;
  };
  const auto rows = db.query("SELECT typeof(v), v FROM t ORDER BY k", {}, [](SQLiteRows& r) {
    std::vector<Row> all;
    while (r.next()) all.push_back({r.text(0), r.text(1), r.blob(1)});
    return all;
  });
  ASSERT_EQ(rows.size(), 9u);
  EXPECT_EQ(rows[0].type, "text");
  EXPECT_EQ(rows[0].text, withNul);
  EXPECT_EQ(rows[1].type, "blob");  // a zero-length blob, not NULL
  EXPECT_TRUE(rows[1].blob.empty());
  EXPECT_EQ(rows[2].blob, (std::vector<std::uint8_t>{0, 1, 255}));
  EXPECT_EQ(rows[3].type, "real");
  EXPECT_EQ(rows[4].type, "null");
  EXPECT_EQ(rows[6].text, borrowed);
  for (const std::size_t empty : {7u, 8u}) {
    EXPECT_EQ(rows[empty].type, "text");
    EXPECT_EQ(rows[empty].text, "");
  }
  EXPECT_EQ(db.query("SELECT v FROM t WHERE k = 6", {}, rows::firstInt64), INT64_MIN);
  EXPECT_EQ(
      db.query("SELECT v FROM t WHERE k = 4", {}, [](SQLiteRows& r) { return r.next() ? r.real(0) : 0; }),
      -0.5);
}

TEST_F(StatementLayerTest, WriteFailuresCarrySQLiteMessages) {
  auto& db = connection();
  auto guard = db.lock();
  db.execute("INSERT INTO t (k, v) VALUES (1, 'x')");
  const struct {
    const char* sql;
    Error expected;
  } cases[] = {
      {"SELECT k FROM t", Error::stepFailed("another row available")},
      {"INSERT INTO t (k) VALUES (1)", Error::stepFailed("UNIQUE constraint failed: t.k")},
      {"INSERT INTO nowhere VALUES (1)", Error::prepareFailed("no such table: nowhere")},
      {"", Error::prepareFailed("not an error")},
  };
  for (const auto& c : cases) {
    try {
      db.execute(c.sql);
      ADD_FAILURE() << c.sql;
    } catch (const Error& error) {
      EXPECT_EQ(error, c.expected) << c.sql;
    }
  }
  EXPECT_NO_THROW(db.execute("UPDATE t SET v = 1 WHERE k = 99"));
  try {
    db.executeTagConceptWrite("INSERT INTO t (k) VALUES (1)", {});
    ADD_FAILURE();
  } catch (const Error& error) {
    EXPECT_EQ(error, Error::stepFailed("SQLite tag concept write failed"));
  }
  try {
    db.executeDeleteCandidateRestore("INSERT INTO t (k) VALUES (1)", {});
    ADD_FAILURE();
  } catch (const Error& error) {
    EXPECT_EQ(error, Error::stepFailed("Delete-candidate restore statement failed"));
  }
  // The failed statements left nothing half-run behind: the same texts work again.
  EXPECT_NO_THROW(db.execute("INSERT INTO t (k) VALUES (?)", {2}));
  EXPECT_EQ(db.query("SELECT count(*) FROM t", {}, rows::firstInt64OrZero), 2);
}

TEST_F(StatementLayerTest, AQueryStepErrorIsAnErrorNotAShortResult) {
  auto& db = connection();
  auto guard = db.lock();
  db.execute("INSERT INTO t (k, v) VALUES (1, 'x'), (2, 'y')");
  try {
    db.query("SELECT k, json_extract(v, '$') FROM t ORDER BY k", {}, rows::int64Column);
    ADD_FAILURE();
  } catch (const Error& error) {
    EXPECT_EQ(error, Error::stepFailed("malformed JSON"));
  }
}

TEST_F(StatementLayerTest, TheObserverSeesEveryStatementAlsoWhenItComesFromTheCache) {
  auto& db = connection();
  auto guard = db.lock();
  for (int k = 1; k <= 3; ++k) db.execute("INSERT INTO t (k) VALUES (?)", {k});
  db.query("SELECT count(*) FROM t", {}, rows::firstInt64OrZero);
  db.query("SELECT count(*) FROM t", {}, rows::firstInt64OrZero);
  EXPECT_EQ(observed,
            (std::vector<std::string>{"INSERT INTO t (k) VALUES (?)", "INSERT INTO t (k) VALUES (?)",
                                      "INSERT INTO t (k) VALUES (?)", "SELECT count(*) FROM t",
                                      "SELECT count(*) FROM t"}));
  observed.clear();
  db.executeScript("DELETE FROM t;");
  EXPECT_TRUE(observed.empty());
}

TEST_F(StatementLayerTest, AStatementMayRunInsideAQueryOfTheSameText) {
  auto& db = connection();
  auto guard = db.lock();
  db.execute("INSERT INTO t (k, v) VALUES (1, 10), (2, 20)");
  const std::string sql = "SELECT v FROM t WHERE k >= ? ORDER BY k";
  const auto sums = db.query(sql, {1}, [&](SQLiteRows& outer) {
    std::vector<std::int64_t> values;
    while (outer.next()) values.push_back(outer.int64(0) + db.query(sql, {2}, rows::firstInt64OrZero));
    return values;
  });
  EXPECT_EQ(sums, (std::vector<std::int64_t>{30, 40}));
}

TEST_F(StatementLayerTest, UnicodeLowerMatchesTheProgramsLowercasing) {
  auto& db = connection();
  auto guard = db.lock();
  const auto lower = [&](const SQLiteV3Binding& value) {
    return db.query("SELECT lower(?)", {value}, rows::firstText);
  };
  EXPECT_EQ(lower("ÀÉÎ Straße ΣΑΣ"), "àéî straße σας");
  EXPECT_EQ(lower("ABC"), "abc");
  EXPECT_EQ(lower(SQLiteV3Binding::null()), std::nullopt);
  EXPECT_EQ(lower("A\xFF"
                  "B"),
            "a\xFF"
            "b");  // ill-formed UTF-8: ASCII folded, other bytes kept
}

TEST(ClosedConnectionTest, EveryEntryReportsTheClosedDatabase) {
  SQLiteConnection connection(nullptr, nullptr, platform::systemClock());
  const auto expectError = [](auto&& operation, const Error& expected) {
    try {
      operation();
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_EQ(error, expected);
    }
  };
  expectError([&] { connection.executeScript("SELECT 1"); }, Error::executionFailed("Database is closed"));
  expectError([&] { connection.execute("SELECT 1"); }, Error::prepareFailed("Database is closed"));
  expectError([&] { connection.query("SELECT 1", {}, rows::exists); },
              Error::prepareFailed("Database is closed"));
  expectError([&] { connection.lastInsertRowID(); }, Error::executionFailed("Database is closed"));
  expectError([&] { connection.performCancellableSearch(std::stop_token(), [] {}); },
              Error::executionFailed("Database is closed"));
}

TEST(SQLPathsTest, PrefixPredicateAndBindings) {
  EXPECT_EQ(sql::pathPrefixPredicate("absolute_path", 1),
            "((absolute_path = ? OR substr(absolute_path, 1, length(?)) = ?))");
  EXPECT_EQ(sql::pathPrefixPredicate("c", 2),
            "((c = ? OR substr(c, 1, length(?)) = ?) OR (c = ? OR substr(c, 1, length(?)) = ?))");
  EXPECT_EQ(sql::pathPrefixBindings({"/a/b/"}), (SQLiteV3Bindings{"/a/b/", "/a/b/", "/a/b/"}));
  EXPECT_EQ(sql::pathPrefixBindings({"/a/b", "/c"}),
            (SQLiteV3Bindings{"/a/b", "/a/b/", "/a/b/", "/c", "/c/", "/c/"}));
  EXPECT_EQ(sql::inListPlaceholders(3), "(?, ?, ?)");
}

TEST(SQLPathsTest, StandardizedUniquePathsKeepsFirstOccurrences) {
  EXPECT_EQ(sql::standardizedUniquePaths({"/a/./b", "/a/b/", "", "/c/../d", "/a/b", "/d"}),
            (std::vector<std::string>{"/a/b", "/d"}));
}

TEST(SQLPathsTest, RowGroupsCoverEveryRowInOrderWithFewStatementShapes) {
  std::set<std::size_t> shapes;
  for (std::size_t rows = 0; rows <= 100; ++rows) {
    SQLiteV3Bindings values;
    for (std::size_t row = 0; row < rows; ++row)
      values.insert(values.end(), {static_cast<std::int64_t>(row), "x"});
    std::vector<std::int64_t> seen;
    std::size_t statements = 0;
    sql::forEachRowGroup("INSERT INTO t (k, v)", " ON CONFLICT DO NOTHING", 2, values,
                         [&](const std::string& sql, const SQLiteV3Bindings& bindings) {
                           const std::size_t groups =
                               static_cast<std::size_t>(std::count(sql.begin(), sql.end(), '('));
                           ASSERT_EQ(bindings.size(), 2 * (groups - 1)) << sql;  // "(k, v)" is one of them
                           ASSERT_TRUE(sql.ends_with(" ON CONFLICT DO NOTHING")) << sql;
                           shapes.insert(groups - 1);
                           ++statements;
                           for (std::size_t i = 0; i < bindings.size(); i += 2)
                             seen.push_back(std::get<std::int64_t>(bindings[i].value()));
                         });
    std::vector<std::int64_t> expected(rows);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(seen, expected) << rows << " rows";
    // 32 at a time, then 8 at a time, then one by one.
    EXPECT_EQ(statements, rows / 32 + rows % 32 / 8 + rows % 8) << rows << " rows";
  }
  EXPECT_EQ(shapes, (std::set<std::size_t>{1, 8, 32}));
}

TEST_F(StatementLayerTest, ThePrefixPredicateMatchesAFolderButNotItsNamesakes) {
  auto& db = connection();
  auto guard = db.lock();
  db.execute(
      "INSERT INTO t (k, v) VALUES (1, '/a/b'), (2, '/a/b/c.png'), (3, '/a/bc.png'), (4, '/a/b/d/e.png')");
  const auto keys = db.query("SELECT k FROM t WHERE " + sql::pathPrefixPredicate("v", 1) + " ORDER BY k",
                             sql::pathPrefixBindings({"/a/b"}), rows::int64Column);
  EXPECT_EQ(keys, (std::vector<std::int64_t>{1, 2, 4}));
}

}  // namespace
}  // namespace lorvex
