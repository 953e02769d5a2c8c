// lorvex-query run as a process on a small library: what it refuses, and what --repeat prints.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using lorvex::testing::TemporaryFolder;

struct ToolRun {
  int exitCode = -1;
  std::vector<std::string> out;  // lines
  std::vector<std::string> err;
};

std::vector<std::string> lines(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> result;
  for (std::string line; std::getline(file, line);) result.push_back(line);
  return result;
}

// "elapsed_ms=" and a number of milliseconds with three decimals.
bool isTiming(const std::string& line) {
  constexpr std::string_view kPrefix = "elapsed_ms=";
  if (line.rfind(kPrefix, 0) != 0) return false;
  const std::string number = line.substr(kPrefix.size());
  const auto point = number.find('.');
  if (point == 0 || point == std::string::npos || number.size() - point != 4) return false;
  for (std::size_t i = 0; i < number.size(); ++i) {
    if (i != point && (number[i] < '0' || number[i] > '9')) return false;
  }
  return true;
}

ToolRun runQuery(const TemporaryFolder& scratch, const std::vector<std::string>& arguments) {
  const std::string outPath = scratch / "stdout";
  const std::string errPath = scratch / "stderr";
  std::vector<std::string> argv{LORVEX_QUERY_TOOL};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (auto& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(127);
    ::execv(pointers[0], pointers.data());
    ::_exit(127);
  }
  ToolRun run;
  int status = 0;
  if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
    run.exitCode = WEXITSTATUS(status);
  run.out = lines(outPath);
  run.err = lines(errPath);
  return run;
}

class LorvexQueryTest : public ::testing::Test {
 protected:
  LorvexQueryTest() {
    SQLiteImageRepositoryV3 repository(library_.path() / kLibraryDatabaseFileName);
    for (int i = 0; i < 3; ++i) {
      ImageRecord record;
      record.file =
          ImageFileInfo{library_ / ("photos/" + std::to_string(i) + ".png"), 1000, 1'700'000'000.0 + i};
      record.metadata.prompt = "cat";
      record.promptTags = {"cat"};
      repository.upsertRecord(record, std::nullopt);
    }
  }

  ToolRun run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--library", library_.path().string()});
    return runQuery(scratch_, arguments);
  }

  TemporaryFolder library_;
  TemporaryFolder scratch_;
};

// The search reads a negative offset or limit as 0; asking for one is a mistake to report, as is
// anything that is not a whole number.
TEST_F(LorvexQueryTest, RefusesCountsThatAreNegativeOrNotNumbers) {
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const std::vector<Case> cases{
      {{"--offset", "-1"}, "--offset needs a whole number of 0 or more, not \"-1\""},
      {{"--limit", "-1"}, "--limit needs a whole number of 0 or more, not \"-1\""},
      {{"--limit", "-9223372036854775808"}, "--limit needs a whole number of 0 or more"},
      {{"--offset", "ten"}, "--offset needs a whole number of 0 or more, not \"ten\""},
      {{"--limit", "2x"}, "--limit needs a whole number of 0 or more, not \"2x\""},
      {{"--limit", ""}, "--limit needs a whole number of 0 or more, not \"\""},
      {{"--offset", "1.5"}, "--offset needs a whole number of 0 or more"},
      {{"--repeat", "0"}, "--repeat needs a whole number of 1 or more, not \"0\""},
      {{"--repeat", "-2"}, "--repeat needs a whole number of 1 or more"},
      {{"--limit"}, "--limit needs a value"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.arguments.front() + " " + (test.arguments.size() > 1 ? test.arguments[1] : ""));
    const ToolRun result = run(test.arguments);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.empty());
    ASSERT_FALSE(result.err.empty());
    EXPECT_EQ(result.err.front().rfind(test.message, 0), 0u) << result.err.front();
  }
}

TEST_F(LorvexQueryTest, ZeroCountsAndAnOffsetAreAccepted) {
  struct Case {
    std::vector<std::string> arguments;
    std::size_t records;
  };
  const std::vector<Case> cases{
      {{}, 3},
      {{"--offset", "0"}, 3},
      {{"--limit", "0"}, 0},
      {{"--offset", "1", "--limit", "5"}, 2},
      {{"--offset", "+2"}, 1},
  };
  for (const Case& test : cases) {
    const ToolRun result = run(test.arguments);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.size(), test.records);
    EXPECT_EQ(result.err.size(), 1u);
  }
}

TEST_F(LorvexQueryTest, RepeatRunsTheSearchAgainAndTimesEachRun) {
  for (const int repeat : {1, 4}) {
    SCOPED_TRACE(repeat);
    const ToolRun result = run({"--limit", "2", "--repeat", std::to_string(repeat)});
    EXPECT_EQ(result.exitCode, 0);
    // The page once, newest first; one timing per run.
    ASSERT_EQ(result.out.size(), 2u);
    EXPECT_NE(result.out[0].find("/photos/2.png"), std::string::npos) << result.out[0];
    EXPECT_NE(result.out[1].find("/photos/1.png"), std::string::npos) << result.out[1];
    ASSERT_EQ(result.err.size(), static_cast<std::size_t>(repeat));
    for (const auto& line : result.err) EXPECT_TRUE(isTiming(line)) << line;
  }
}

}  // namespace
}  // namespace lorvex
