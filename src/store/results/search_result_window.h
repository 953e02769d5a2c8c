// SearchResultWindow: the search results the store has loaded so far, in display order, with a
// path index (position lookups in constant time, always verified against the records) and a load
// epoch (a load applies its result only under the epoch it started with, so superseded loads are
// dropped). The results model owns one window for its whole life; the grid, the detail panel, the preview
// and the slideshow read it.
//
// Signals. Observers of the properties hear recordsChanged (once per operation that changed the
// records) and hasMoreRecordsChanged (only on a real change). A list model follows the records
// through begin/end pairs: reset, insert range, remove range, and rows updated. A listener keeps
// its own copy of the records and applies each pair to it:
//   - recordsInserted(first, last) and recordsUpdated(first, last): the rows are records()[first..last];
//   - recordsRemoved(first, last): drop those rows of its copy (the window's records may already be
//     final: several removed ranges of one operation come last range first, after one compaction);
//   - recordsRemovedAt(positions): drop the rows at those positions (ascending, as they were before
//     the removal) in one pass, with removePositions (compaction.h). An operation that removes many
//     scattered ranges reports them this way, so that no listener erases from the middle of a long
//     list many times; a list model shows it to its views as a reset;
//   - recordsReset(): take records() whole.
// After each operation the listener's copy equals records(). An operation that changes nothing
// emits nothing.
//
// The records-changed handler (installed once by the results model) hears of every change after which the
// selection may have to move, with the position the selection falls back to.
//
// Thread safety: the creating thread only.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/review_state.h"
#include "model/thumbnail_job.h"
#include "store/async/creating_thread.h"
#include "store/path_index.h"
#include "store/record_ref.h"

namespace lorvex {

class SearchResultWindow : public QObject {
  Q_OBJECT

 public:
  struct RecordsChange {
    int fallbackSelectionIndex = 0;
    // Records came in (a replacement, a page, a leading merge), among which a moved record may be.
    bool addsRecords = false;
    // The whole list was replaced: what it does not hold is no longer loaded.
    bool replacesRecords = false;
    friend bool operator==(const RecordsChange&, const RecordsChange&) = default;
  };

  struct LoadTicket {
    int epoch = 0;
    friend bool operator==(const LoadTicket&, const LoadTicket&) = default;
  };

  struct AppendOutcome {
    enum class Kind { appended, noNewRecords, stale };
    Kind kind = Kind::stale;
    int count = 0;  // records added, for appended
    static AppendOutcome appended(int count) { return {Kind::appended, count}; }
    friend bool operator==(const AppendOutcome&, const AppendOutcome&) = default;
  };

  struct LeadingMergeOutcome {
    enum class Kind { inserted, unchanged, noOverlap, stale };
    Kind kind = Kind::stale;
    int count = 0;  // records put in front, for inserted
    static LeadingMergeOutcome inserted(int count) { return {Kind::inserted, count}; }
    friend bool operator==(const LeadingMergeOutcome&, const LeadingMergeOutcome&) = default;
  };

  // Whether a record with these marks belongs in the current results.
  using VisibilityPredicate = std::function<bool(bool favorite, bool deleteCandidate, bool isMissing)>;
  using RecordsChangedHandler = std::function<void(const RecordsChange&)>;
  // Takes the records a replacement retired once nothing refers to them any more.
  using RetiredRecordsHandler = std::function<void(std::vector<RecordRef>)>;

  explicit SearchResultWindow(QObject* parent = nullptr);

  const std::vector<RecordRef>& records() const;
  // PathIndex::hashOf of each record's path, in the records' order.
  const std::vector<std::uint64_t>& pathHashes() const { return pathHashes_; }
  // Every loaded record's path: built by replaceRecords (and when first asked for after another
  // change of the records), then followed by appended pages, so that select-all takes a copy
  // that shares it instead of entering every path again.
  const PathSet& loadedPaths() const;
  // Whether every path of `paths` is loaded, known without looking one up: true when `paths` is a
  // copy of the set of loaded paths as it is, or as it was before the pages appended since (a
  // selection of every result, after more pages came). False says only that it is not known.
  bool holdsEveryPathOf(const PathSet& paths) const;
  // Assigns the whole list; observers hear of it only when it differs (record by record). The
  // index is left as it is: it is rebuilt by the operations that need it.
  void setRecords(std::vector<RecordRef> records);
  bool hasMoreRecords() const;
  void setHasMoreRecords(bool hasMoreRecords);
  int loadEpoch() const;
  void setRecordsChangedHandler(RecordsChangedHandler handler);
  // Without one, retired records are freed where they retire (the window's thread).
  void setRetiredRecordsHandler(RetiredRecordsHandler handler);

  // The raw index entry for a path, unverified (what appendPage and mergeLeadingPage test).
  std::optional<int> indexedPosition(std::string_view path) const;
  // The position of the record with this path, or nothing; never a position whose record has
  // another path. With a path loaded twice, its last position.
  std::optional<int> index(std::string_view path) const;

  LoadTicket invalidateLoads();
  LoadTicket currentLoadTicket() const;

  void replaceRecords(std::vector<RecordRef> records, bool hasMoreRecords, int fallbackSelectionIndex);
  AppendOutcome appendPage(const std::vector<RecordRef>& page, bool hasMoreRecords, LoadTicket ticket);
  LeadingMergeOutcome mergeLeadingPage(const std::vector<RecordRef>& page, LoadTicket ticket);
  void removeRecords(const PathSet& paths, int fallbackSelectionIndex);
  void applyRecordUpdates(const PathMap<ReviewState>& reviewStates, const VisibilityPredicate& isVisible);
  void applyRecordUpdate(RecordRef record, int index, const VisibilityPredicate& isVisible);
  // Leaves the records, hasMoreRecords and the index as applyRecordUpdate called once per entry
  // would, in ascending order of the saved index (entries with one index in their given order), but
  // as one change: one mutation, at most one index rebuild, one report (fallback: the smallest saved
  // index among the entries that changed something) and one advance of the load epoch. Undoing a
  // mark on thousands of records one by one would rebuild the index once per record. With an index
  // left stale by setRecords, the records are searched instead, so every loaded record is found.
  void applyRecordUpdatesAtIndices(std::vector<std::pair<RecordRef, int>> recordsAtSavedIndex,
                                   const VisibilityPredicate& isVisible);
  void updateThumbnailPaths(const std::vector<ThumbnailPathUpdate>& updates);
  void rebuildIndex();

  // More removed ranges than this in one operation are reported as one list of positions; more
  // inserted and removed ranges together than this in applyRecordUpdatesAtIndices, as a reset.
  static constexpr std::size_t kMaxReportedRemovalRanges = 16;

 Q_SIGNALS:
  void recordsChanged();
  void hasMoreRecordsChanged(bool hasMoreRecords);
  void recordsAboutToBeReset();
  void recordsReset();
  void recordsAboutToBeInserted(int first, int last);
  void recordsInserted(int first, int last);
  void recordsAboutToBeRemoved(int first, int last);
  void recordsRemoved(int first, int last);
  void recordsAboutToBeRemovedAt(const std::vector<int>& positions);
  void recordsRemovedAt(const std::vector<int>& positions);
  void recordsUpdated(int first, int last);

 private:
  // Reports the updated ranges of the positions (ascending).
  void reportUpdatedRuns(const std::vector<int>& positions);
  // Reports the removed ranges of the positions (ascending, as before the removal), last first.
  void reportRemovedRuns(const std::vector<int>& positions);
  // Removes the records at the positions (ascending) in one pass and reports it.
  void removeAt(const std::vector<int>& positions);
  void setHashesFromRecords();
  // Drops the set of loaded paths after a change other than an appended page.
  void forgetLoadedPaths();
  void replaceAt(std::size_t position, RecordRef record);
  void report(int fallbackSelectionIndex, bool addsRecords = false, bool replacesRecords = false);
  // Whether every path's entry names its last position and the index holds every loaded path.
  bool indexIsExact() const;

  CreatingThread creatingThread_;
  std::vector<RecordRef> records_;
  // The hash of each record's path, beside it: rebuilding the index after a removal then reads no
  // record (at 100,000 records, reading each one's path is most of a rebuild).
  std::vector<std::uint64_t> pathHashes_;
  bool hasMoreRecords_ = false;
  PathIndex indexByPath_;
  // Records whose paths are still keys of the index after setRecords replaced them.
  std::vector<RecordRef> indexKeyOwners_;
  bool indexMatchesRecords_ = true;
  mutable PathSet loadedPaths_;
  mutable bool loadedPathsCurrent_ = true;
  // The set as it was before the pages appended since, kept while someone else holds a copy of it.
  PathSet loadedBeforeAppends_;
  int loadEpoch_ = 0;
  RecordsChangedHandler onRecordsChanged_;
  RetiredRecordsHandler onRecordsRetired_;
};

}  // namespace lorvex
