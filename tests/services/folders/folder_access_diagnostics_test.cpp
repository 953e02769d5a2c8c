#include "services/folders/folder_access_diagnostics.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "platform/bookmark_codec.h"
#include "platform/log.h"
#include "services/folders/stored_bookmarks_error.h"

namespace lorvex {
namespace {

TEST(FolderAccessDiagnosticsTest, LineNamesEverythingButThePath) {
  const FolderAccessDiagnostic diagnostic{FolderAccessDiagnosticOperation::storedBookmarksDecoding,
                                          "securityScopedFolderBookmarks",
                                          "Lorvex.DecodingError",
                                          3,
                                          true,
                                          42};
  const std::string line = FolderAccessDiagnosticsLogger::formatLine(diagnostic);
  const std::string prefix =
      "Folder access evaluation failed operation=storedBookmarksDecoding domain=Lorvex.DecodingError code=3 "
      "errorHasPath=true bookmarkResolutions=42 registeredPath=<mask.hash: '";
  ASSERT_EQ(line.substr(0, prefix.size()), prefix);
  EXPECT_EQ(line.find("securityScopedFolderBookmarks"), std::string::npos);  // hashed like a path
  EXPECT_EQ(line.back(), '>');

  auto other = diagnostic;
  other.registeredPath = "/home/user/Pictures";
  EXPECT_NE(FolderAccessDiagnosticsLogger::formatLine(other), line);
  EXPECT_EQ(FolderAccessDiagnosticsLogger::formatLine(diagnostic), line);  // stable, so lines can be matched
}

TEST(FolderAccessDiagnosticsTest, LoggerWritesOneErrorLine) {
  std::vector<std::string> lines;
  auto previous =
      platform::setLogSink([&](platform::LogLevel level, std::string_view category, std::string_view text) {
        EXPECT_EQ(level, platform::LogLevel::error);
        EXPECT_EQ(category, "FolderAccess");
        lines.emplace_back(text);
      });
  FolderAccessDiagnosticsLogger logger;
  logger.record({FolderAccessDiagnosticOperation::bookmarkResolution, "/a", "POSIX", 2, false, 1});
  platform::setLogSink(previous);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("operation=bookmarkResolution domain=POSIX code=2 errorHasPath=false"),
            std::string::npos);
}

TEST(FolderAccessDiagnosticsTest, ErrorDetails) {
  struct Case {
    const char* name;
    std::exception_ptr error;
    std::string domain;
    std::int64_t code;
    bool hasPath;
  };
  const std::vector<Case> cases = {
      {"file system error with a path",
       std::make_exception_ptr(
           std::filesystem::filesystem_error("x", "/a", std::error_code(EACCES, std::generic_category()))),
       "POSIX", EACCES, true},
      {"file system error without a path",
       std::make_exception_ptr(
           std::filesystem::filesystem_error("x", std::error_code(EIO, std::generic_category()))),
       "POSIX", EIO, false},
      {"system error", std::make_exception_ptr(std::system_error(ENOENT, std::generic_category())), "POSIX",
       ENOENT, false},
      {"bookmark creation", std::make_exception_ptr(platform::BookmarkCreationError(ENOENT, "/gone")),
       "POSIX", ENOENT, true},
      {"bookmark decoding", std::make_exception_ptr(platform::BookmarkDecodingError("bad")),
       "Lorvex.BookmarkCodec", 1, false},
      {"stored list",
       std::make_exception_ptr(StoredBookmarksError(StoredBookmarksError::Kind::keyNotFound, "k")),
       "Lorvex.DecodingError", 2, false},
      {"anything else", std::make_exception_ptr(std::runtime_error("odd")), "Lorvex.Error", 0, false},
      {"not an exception class", std::make_exception_ptr(7), "Lorvex.Error", 0, false},
  };
  for (const auto& c : cases) {
    const auto details = folderAccessErrorDetails(c.error);
    EXPECT_EQ(details.domain, c.domain) << c.name;
    EXPECT_EQ(details.code, c.code) << c.name;
    EXPECT_EQ(details.hasPath, c.hasPath) << c.name;
    EXPECT_FALSE(details.description.empty()) << c.name;
  }
}

}  // namespace
}  // namespace lorvex
