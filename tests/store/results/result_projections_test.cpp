// What the views read of the results: the focused and selected records, the focused file's URL,
// the slideshow's range and position text, and focusing a path within the selection.
#include <gtest/gtest.h>

#include <QUrl>
#include <optional>
#include <string>
#include <vector>

#include "store/offline_store.h"

namespace lorvex {
namespace {

using testing::OfflineStore;
using testing::pathsOf;

TEST(ResultProjections, FocusSelectionAndSlideshowRange) {
  struct Case {
    const char* name;
    int recordCount;
    bool hasMore;
    std::optional<std::string> primary;
    PathSet selected;
    int visibleCount;
    std::optional<std::string> focusedPath;
    std::vector<std::string> selectedRecords;
    std::vector<int> indices;
    std::string positionText;
  };
  const std::vector<Case> cases = {
      {"removed focus", 10, false, "/gone", {"/gone", "/r3"}, 4, std::nullopt, {"/r3"}, {}, "1 / 10"},
      {"removed focus, empty window", 0, false, "/gone", {}, 4, std::nullopt, {}, {}, "0 / 0"},
      {"nothing focused", 10, false, std::nullopt, {}, 4, std::nullopt, {}, {}, "1 / 10"},
      {"wraps a complete list", 10, false, "/r8", {}, 4, "/r8", {"/r8"}, {8, 9, 0, 1}, "9-2 / 10"},
      {"stops at the loaded end", 10, true, "/r8", {}, 4, "/r8", {"/r8"}, {8, 9}, "9-10 / 10+"},
      {"more visible than records", 3, false, "/r0", {}, 5, "/r0", {"/r0"}, {0, 1, 2}, "1-3 / 3"},
      {"one at a time", 120, true, "/r2", {}, 1, "/r2", {"/r2"}, {2}, "3 / 120+"},
      {"a range", 120, true, "/r2", {}, 4, "/r2", {"/r2"}, {2, 3, 4, 5}, "3-6 / 120+"},
      {"the last record alone before a page", 10, true, "/r9", {}, 3, "/r9", {"/r9"}, {9}, "10 / 10+"},
      {"selection in window order, unloaded left out",
       10,
       false,
       "/r5",
       {"/r7", "/r1", "/r5", "/x"},
       1,
       "/r5",
       {"/r1", "/r5", "/r7"},
       {5},
       "6 / 10"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OfflineStore f;
    f.load(OfflineStore::numberedPaths(c.recordCount), c.hasMore);
    f.select(c.primary, c.selected, c.primary);
    f.store.presentation().setSlideshowVisibleCount(c.visibleCount);

    const RecordRef focused = f.store.results().selectedRecord();
    EXPECT_EQ(focused ? std::optional(focused->file.path) : std::nullopt, c.focusedPath);
    EXPECT_EQ(f.store.results().selectedRecordFileURL(),
              c.focusedPath ? std::optional("file://" + *c.focusedPath) : std::nullopt);
    EXPECT_EQ(pathsOf(f.store.results().selectedRecords()), c.selectedRecords);
    EXPECT_EQ(f.store.results().slideshowVisibleRecordIndices(), c.indices);
    EXPECT_EQ(f.store.results().slideshowPositionText(), c.positionText);
  }
}

TEST(ResultProjections, TheFileURLEncodesThePathsBytes) {
  struct Case {
    std::string path;
    std::string url;
  };
  const std::vector<Case> cases = {
      {"/photos/a.png", "file:///photos/a.png"},
      {"/my photos/#1 100%.png", "file:///my%20photos/%231%20100%25.png"},
      {"/写真/ü.png", "file:///%E5%86%99%E7%9C%9F/%C3%BC.png"},
      // Not UTF-8: the byte itself, not a replacement character.
      {"/raw/\xff.png", "file:///raw/%FF.png"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    OfflineStore f;
    f.load({c.path});
    f.store.results().selection().selectSingle(c.path);
    ASSERT_EQ(f.store.results().selectedRecordFileURL(), c.url);
    const QUrl parsed = QUrl::fromEncoded(QByteArray::fromStdString(c.url), QUrl::StrictMode);
    EXPECT_TRUE(parsed.isLocalFile());
    EXPECT_EQ(QByteArray::fromPercentEncoding(parsed.path(QUrl::FullyEncoded).toUtf8()).toStdString(),
              c.path);
  }
}

TEST(ResultProjections, FocusingAPathKeepsASelectionThatHoldsIt) {
  using Snapshot = ResultSelection::Snapshot;
  struct Case {
    const char* name;
    Snapshot before;
    std::string path;
    std::optional<std::string> url;
    Snapshot after;
  };
  const PathSet three = {"/r1", "/r2", "/r3"};
  const std::vector<Case> cases = {
      {"a tile of a three-tile selection", {"/r1", three, "/r1"}, "/r3", "file:///r3", {"/r3", three, "/r1"}},
      {"anchor outside the selection: the old focus",
       {"/r2", three, "/r0"},
       "/r3",
       "file:///r3",
       {"/r3", three, "/r2"}},
      {"neither inside: the path", {"/r0", three, "/r4"}, "/r3", "file:///r3", {"/r3", three, "/r3"}},
      {"a lone focus counts as selected",
       {"/r2", {}, std::nullopt},
       "/r2",
       "file:///r2",
       {"/r2", {"/r2"}, "/r2"}},
      {"outside the selection: alone", {"/r1", three, "/r1"}, "/r4", "file:///r4", {"/r4", {"/r4"}, "/r4"}},
      {"not loaded: nothing changes", {"/r1", three, "/r1"}, "/gone", std::nullopt, {"/r1", three, "/r1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OfflineStore f;
    f.load(OfflineStore::numberedPaths(5));
    f.select(c.before.primaryPath, c.before.selectedPaths, c.before.anchorPath);
    EXPECT_EQ(f.store.results().focusPathKeepingSelection(c.path), c.url);
    EXPECT_EQ(f.selection(), c.after);
  }
}

}  // namespace
}  // namespace lorvex
