#include "platform/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lorvex::platform {
namespace {

TEST(LogTest, SinkReceivesCategoryLevelAndMessage) {
  std::vector<std::string> lines;
  auto previous = setLogSink([&](LogLevel level, std::string_view category, std::string_view message) {
    lines.push_back(std::to_string(static_cast<int>(level)) + "|" + std::string(category) + "|" +
                    std::string(message));
  });
  logDebug("FolderAccess", "resolved");
  logError("IndexingPerformance", "slow");
  setLogSink(previous);
  EXPECT_EQ(lines, (std::vector<std::string>{"0|FolderAccess|resolved", "2|IndexingPerformance|slow"}));
}

TEST(LogTest, SignpostIntervalsPairBeginWithEndOnce) {
  std::vector<SignpostRecord> records;
  auto previous = setSignpostSink([&](const SignpostRecord& record) { records.push_back(record); });
  ASSERT_TRUE(signpostsEnabled());
  {
    SignpostInterval interval("Query", "tags=2");
    signpostEvent("LockWait", "3 ms");
    interval.end("rows=10");
  }  // the destructor after an explicit end() adds nothing
  setSignpostSink(previous);

  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].kind, SignpostRecord::Kind::begin);
  EXPECT_EQ(records[1].kind, SignpostRecord::Kind::event);
  EXPECT_EQ(records[1].name, "LockWait");
  EXPECT_EQ(records[2].kind, SignpostRecord::Kind::end);
  EXPECT_EQ(records[2].message, "rows=10");
  EXPECT_EQ(records[0].intervalID, records[2].intervalID);
  EXPECT_NE(records[0].intervalID, 0u);
}

}  // namespace
}  // namespace lorvex::platform
