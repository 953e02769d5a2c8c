// TrashCandidateBrowser: the list behind the delete-candidate Trash review: the candidates loaded
// so far (in pages), the ones ticked for moving to the Trash, whether more can be loaded, and
// whether a reload or a further page is on its way. Answers to superseded loads are dropped by the
// load epoch, so a reload, a dismissal or a removal always wins over a page still being fetched.
//
// Setters signal only a real change; the in-place edits (appending a page, removing records,
// ticking a path) always signal.
//
// Thread safety: the creating thread only.
#pragma once

#include <QObject>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/image_library_scan_summary.h"
#include "store/async/creating_thread.h"
#include "store/record_ref.h"

namespace lorvex {

class TrashCandidateBrowser : public QObject {
  Q_OBJECT

 public:
  struct LoadTicket {
    int epoch = 0;
    friend bool operator==(const LoadTicket&, const LoadTicket&) = default;
  };

  // How a further page ended: applied; made no progress (every record already loaded while more
  // are reported: the caller reloads from the start instead of asking for the same offset again);
  // or stale (a newer load or a cancellation came first; nothing changed).
  enum class LoadMoreOutcome { applied, noProgress, stale };

  explicit TrashCandidateBrowser(QObject* parent = nullptr);

  const std::vector<RecordRef>& records() const;
  void setRecords(std::vector<RecordRef> records);
  const PathSet& selectedPaths() const;
  void setSelectedPaths(PathSet paths);
  bool hasMoreRecords() const;
  void setHasMoreRecords(bool hasMoreRecords);
  bool isReloading() const;
  void setIsReloading(bool isReloading);
  bool isLoadingMore() const;
  void setIsLoadingMore(bool isLoadingMore);
  int loadEpoch() const;

  // A delete candidate that is not missing.
  static bool isTrashable(const ImageRecord& record);

  LoadTicket beginReload();
  LoadTicket beginLoadMore();
  bool finishReload(std::vector<RecordRef> records, bool hasMoreRecords, LoadTicket ticket);
  LoadMoreOutcome finishLoadMore(const std::vector<RecordRef>& records, bool hasMoreRecords,
                                 LoadTicket ticket);
  void toggleSelection(const std::string& path);
  void selectAllRecords();
  void cancelLoading();
  void removeRecords(const PathSet& paths);
  // The loaded ones of `paths` become the selection; when none of them is loaded the selection is
  // only pruned. An empty set changes nothing.
  void selectLoadedPaths(const PathSet& paths);
  void pruneSelection();
  // Records a scan found again under other paths are listed there, at their places in the list,
  // and stay ticked; a listed record whose place one of them took is gone from there and leaves
  // the list. A record moved here keeps what the person reviewed (its size and modification date)
  // but no thumbnail: the library has none for its new place yet. An answer on its way may have
  // been read before the scan wrote them: it is followed too when it arrives.
  void followRelocatedRecords(const std::vector<RecordRelocation>& relocations);
  // `record` as the list holds it once the scan found it at `path`.
  static RecordRef relocatedRecord(const ImageRecord& record, std::string_view path);
  // `records` where `relocated` says they went (relocatedRecord), each path once, without a record
  // that stayed where a moved one now is; with `followedSelection`, the ones of `selected` are
  // added to it at their new paths. Nothing when none of them moved.
  static std::optional<std::vector<RecordRef>> followed(const std::vector<RecordRef>& records,
                                                        const RelocatedPaths& relocated,
                                                        const PathSet& selected = {},
                                                        PathSet* followedSelection = nullptr);

 Q_SIGNALS:
  void recordsChanged();
  void selectedPathsChanged();
  void hasMoreRecordsChanged();
  void isReloadingChanged();
  void isLoadingMoreChanged();

 private:
  CreatingThread creatingThread_;
  std::vector<RecordRef> records_;
  PathSet selectedPaths_;
  bool hasMoreRecords_ = false;
  bool isReloading_ = false;
  bool isLoadingMore_ = false;
  int loadEpoch_ = 0;
  // What scans relocated since the load in flight began, in the order they wrote it.
  std::vector<std::vector<RecordRelocation>> relocatedDuringLoad_;
  std::vector<RecordRef> followRelocatedDuringLoad(std::vector<RecordRef> records);
};

}  // namespace lorvex
