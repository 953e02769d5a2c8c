// Records for the store tests, and a listener that follows a result window the way the grid's list
// model does: it keeps its own copy of the records and applies each begin/end pair to it.
#pragma once

#include <QObject>
#include <optional>
#include <string>
#include <vector>

#include "store/compaction.h"
#include "store/record_ref.h"
#include "store/results/search_result_window.h"

namespace lorvex::testing {

struct RecordSpec {
  std::string path;
  bool favorite = false;
  bool deleteCandidate = false;
  bool isMissing = false;
  std::optional<std::string> thumbnailPath = std::nullopt;
  std::string prompt = {};
};

inline ReviewState review(bool favorite, bool deleteCandidate) {
  ReviewState state;
  state.favorite = favorite;
  state.deleteCandidate = deleteCandidate;
  return state;
}

inline RecordRef record(const RecordSpec& spec) {
  ImageRecord record;
  record.file.path = spec.path;
  record.file.fileSize = static_cast<std::int64_t>(spec.path.size());
  record.reviewState.favorite = spec.favorite;
  record.reviewState.deleteCandidate = spec.deleteCandidate;
  record.isMissing = spec.isMissing;
  record.thumbnailPath = spec.thumbnailPath;
  record.metadata.prompt = spec.prompt;
  return makeRecordRef(std::move(record));
}

inline RecordRef record(const std::string& path) {
  return record(RecordSpec{.path = path});
}

inline std::vector<RecordRef> records(const std::vector<std::string>& paths) {
  std::vector<RecordRef> result;
  for (const auto& path : paths) result.push_back(record(path));
  return result;
}

inline std::vector<std::string> pathsOf(const std::vector<RecordRef>& records) {
  std::vector<std::string> paths;
  for (const auto& record : records) paths.push_back(record->file.path);
  return paths;
}

// Counts every signal of a window and mirrors its records through the begin/end pairs.
class WindowListener {
 public:
  explicit WindowListener(SearchResultWindow& window) : mirror(window.records()), window_(window) {
    QObject::connect(&window, &SearchResultWindow::recordsChanged, [this] { ++recordsChanged; });
    QObject::connect(&window, &SearchResultWindow::hasMoreRecordsChanged, [this](bool) { ++hasMoreChanged; });
    QObject::connect(&window, &SearchResultWindow::recordsAboutToBeReset, [this] { begin(); });
    QObject::connect(&window, &SearchResultWindow::recordsReset, [this] {
      end();
      mirror = window_.records();
    });
    QObject::connect(&window, &SearchResultWindow::recordsAboutToBeInserted, [this](int, int) { begin(); });
    QObject::connect(&window, &SearchResultWindow::recordsInserted, [this](int first, int last) {
      end();
      const auto& records = window_.records();
      mirror.insert(mirror.begin() + first, records.begin() + first, records.begin() + last + 1);
    });
    QObject::connect(&window, &SearchResultWindow::recordsAboutToBeRemoved, [this](int, int) { begin(); });
    QObject::connect(&window, &SearchResultWindow::recordsRemoved, [this](int first, int last) {
      end();
      mirror.erase(mirror.begin() + first, mirror.begin() + last + 1);
    });
    QObject::connect(&window, &SearchResultWindow::recordsAboutToBeRemovedAt,
                     [this](const auto&) { begin(); });
    QObject::connect(&window, &SearchResultWindow::recordsRemovedAt,
                     [this](const std::vector<int>& positions) {
                       end();
                       removePositions(mirror, positions);
                     });
    QObject::connect(&window, &SearchResultWindow::recordsUpdated, [this](int first, int last) {
      ++structural;
      for (int i = first; i <= last; ++i)
        mirror[static_cast<std::size_t>(i)] = window_.records()[static_cast<std::size_t>(i)];
    });
  }

  int total() const { return recordsChanged + hasMoreChanged + structural; }
  void resetCounts() { recordsChanged = hasMoreChanged = structural = 0; }

  std::vector<RecordRef> mirror;
  int recordsChanged = 0;
  int hasMoreChanged = 0;
  int structural = 0;  // begin/end pairs and row updates
  bool pairOpen = false;
  bool pairMismatch = false;

 private:
  void begin() {
    if (pairOpen) pairMismatch = true;
    pairOpen = true;
  }
  void end() {
    if (!pairOpen) pairMismatch = true;
    pairOpen = false;
    ++structural;
  }

  SearchResultWindow& window_;
};

}  // namespace lorvex::testing
