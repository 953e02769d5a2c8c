// ResultsModel: the search results the views show: the loaded result window and the selection in
// it, the search the filters describe and its first page, the pages after it, the background
// refreshes that keep the window in step with the library, the thumbnails asked for the records
// shown, the grid's selection and navigation and the slideshow's open, close and play, and the
// projections the views read instead of combining fields themselves.
//
// The fields the views follow (the reset count and the two loading flags) have a getter and a
// change signal; each is stored silently when equal and signalled once, after storing, when
// different. The background refresh's state and the task handles are the model's own, which no
// view follows. Only the model's own flows set its fields, except `needsFullWindowResultRefresh`,
// which the indexing-time refresh clears once its refresh started; tests reach the rest through
// ResultsModelTestAccess.
//
// The window and the selection live as long as the model and are never replaced; they signal on
// their own. The model keeps the selection in step with the window: whenever the window's records
// change, the selection is reconciled with them, and when nothing is left the slideshow closes.
//
// A query reads the filters (FiltersModel, read only) and the search roots; whether the live
// service is ready and the roots come from ResultsDependents, which the composition supplies. The
// slideshow flags the navigation opens, closes and plays are the presentation state's. Every
// search started is announced (searchStarted) so the composition can record it elsewhere.
//
// Thread safety: the creating thread only (the main thread); flows return to it before they touch
// a field.
#pragma once

#include <qcoro/qcorotask.h>

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "model/image_library_scan_summary.h"
#include "model/image_search_query.h"
#include "store/async/creating_thread.h"
#include "store/async/store_task.h"
#include "store/context/store_context.h"
#include "store/filters/filters_model.h"
#include "store/path_set.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/record_ref.h"
#include "store/results/background_result_refresh_mode.h"
#include "store/results/result_selection.h"
#include "store/results/results_dependents.h"
#include "store/results/search_result_window.h"
#include "store/results/stopped_result_loading.h"

namespace lorvex {

class ResultsModel : public QObject {
  Q_OBJECT

 public:
  // How a background refresh of the results re-reads them: the whole loaded window, or only the
  // leading page merged into it.
  using BackgroundResultRefreshMode = lorvex::BackgroundResultRefreshMode;

  // `context`, `filters`, `presentation` and `dependents` outlive the model.
  ResultsModel(StoreContext& context, const FiltersModel& filters,
               ImageLibraryPresentationState& presentation, ResultsDependents& dependents,
               QObject* parent = nullptr);
  ~ResultsModel() override;

  // The store this model belongs to: its scope is where a view starts flows that use the model.
  StoreContext& context() const { return context_; }

  // Set once, never changed.
  SearchResultWindow& resultWindow() { return *resultWindow_; }
  const SearchResultWindow& resultWindow() const { return *resultWindow_; }
  ResultSelection& selection() { return *selection_; }
  const ResultSelection& selection() const { return *selection_; }

  int searchResultsResetCount() const { return searchResultsResetCount_; }
  bool isLoading() const { return isLoading_; }
  bool isLoadingNextPage() const { return isLoadingNextPage_; }
  bool isBackgroundRefreshingResults() const { return isBackgroundRefreshingResults_; }
  BackgroundResultRefreshMode activeBackgroundResultRefreshMode() const {
    return activeBackgroundResultRefreshMode_;
  }
  bool needsFullWindowResultRefresh() const { return needsFullWindowResultRefresh_; }
  void setNeedsFullWindowResultRefresh(bool value);
  // A first-page search, a page load, a background refresh or a thumbnail batch has not ended yet.
  bool hasFlowUnderWay() const;

  // ---- Search query and first-page refresh ----

  // The number of records a first page normally asks for.
  static constexpr int kFirstPageLimit = 500;

  // Starts a new search from the filter fields and replaces the window with its first `limit`
  // records (at least one), learning from one record more whether more exist. Cancels the search,
  // page load and background refresh still running; a refresh started after this one makes its
  // answer and its error count for nothing. With `resetScroll`, an applied answer advances
  // `searchResultsResetCount` so the grid scrolls back to the top. A failure other than a
  // cancellation shows its text and keeps the loaded records. Does nothing before the live service
  // is installed. Stopping `callerStop` cancels the search.
  QCoro::Task<void> refreshResults(int limit, bool resetScroll);
  QCoro::Task<void> refreshResults(int limit, bool resetScroll, std::stop_token callerStop);
  // The query the current filters describe, for `limit` records from `offset`. Delete candidates
  // are always constrained: with the filter off they are left out, so normal results never show
  // them (the rule matchesReviewFilters states for loaded records).
  ImageSearchQuery makeSearchQuery(std::int64_t limit, std::int64_t offset) const;
  // Whether a record with these marks belongs in the results under the current filters: never a
  // missing file, only favorites under the favorites filter, and delete candidates exactly when the
  // delete-candidate filter is on. The search query says the same.
  bool matchesReviewFilters(bool favorite, bool deleteCandidate, bool isMissing) const;
  // Stops a running background result refresh and advances its identifier, so a refresh still
  // finishing no longer counts. Emits backgroundResultRefreshEnded.
  void cancelBackgroundResultRefresh();

  // Stops every result load in flight: advances the window's load epoch (a page arriving later is
  // dropped), cancels the first-page search and the page load, forgets the page load's identifier,
  // cancels the background refresh and lowers `isLoading` and `isLoadingNextPage`. Returns what it
  // stopped besides a page load; the caller hands that to restartResultLoading on every way out,
  // once its own change is in place.
  [[nodiscard]] StoppedResultLoading cancelResultLoading();
  // Starts again what cancelResultLoading stopped: the first-page search with its limit and scroll
  // reset (not awaited), else the background refresh in its mode. Nothing for nothing stopped.
  void restartResultLoading(const StoppedResultLoading& stopped);

  // Keeps the selection in step with the window's records; closes the slideshow when nothing is
  // left. Called by the window for every change, and by undo and trash after changes they make
  // past it.
  void resultWindowRecordsDidChange(const SearchResultWindow::RecordsChange& change);

  // ---- Paging ----

  // Records a page shows, and how close to the end of the loaded records a shown path must come
  // for the next page to load.
  static constexpr int kPageSize = 500;
  static constexpr int kPrefetchDistance = 24;

  // Loads the next page when `currentPath` is among the last kPrefetchDistance loaded records (or
  // fewer are loaded), or when no path is given, and more records exist.
  QCoro::Task<void> loadNextPageIfNeeded(std::optional<std::string> currentPath);
  // Appends the next page of the current search. Waits first for a running background refresh;
  // one page load runs at a time and later callers join it. True when a page was appended; false
  // when no more records exist, a first-page search is running, the page went stale or failed, or
  // it held only loaded records (then the whole window is re-read in the background). A failure
  // shows its text and keeps the offset, so the next request retries it. Stopping `callerStop`
  // ends the wait for the background refresh, not the page load.
  QCoro::Task<bool> loadNextPage();
  QCoro::Task<bool> loadNextPage(std::stop_token callerStop);

  // ---- Background result refresh ----

  // Brings the window up to date with the library without a visible reset: `leadingPage` puts the
  // records new at the front of the first page ahead of the loaded ones, `fullWindow` re-reads as
  // many records as are loaded (at least kPageSize) and keeps the focused record or its position.
  // Refused (false) before the live service is installed and while another refresh runs.
  bool scheduleBackgroundResultRefresh(BackgroundResultRefreshMode mode);
  // The refresh the indexing asks for as images arrive: the whole window when
  // `needsFullWindowResultRefresh` is set (the flag is cleared once it started), else the leading
  // page. False when it was refused.
  bool scheduleIndexingResultRefresh();
  // A full-window refresh after a sync pass, awaited: a refresh already running (of either mode)
  // may have read the library before the pass's last writes, so it is cancelled and a new one
  // started. Returns when that refresh has ended, when a newer one replaced it, or when
  // `callerStop` is stopped.
  QCoro::Task<void> refreshResultWindowAfterSync();
  QCoro::Task<void> refreshResultWindowAfterSync(std::stop_token callerStop);
  // Records a scan found again under other paths. A focus on one of them follows it to where it
  // went, once that is loaded, and the rest of the selection stays (its moved records followed
  // too); a focus lost meanwhile to the window's refresh is followed from where it was. What the
  // next refresh of the whole window does not load is left to the selection's own rules, and
  // nothing the person or a new search left behind comes back.
  void followRelocatedRecords(const std::vector<RecordRelocation>& relocations);

  // ---- Thumbnail requests ----

  // Thumbnails are generated this many jobs at a time; a full batch means more may be waiting.
  static constexpr std::int64_t kThumbnailBatchLimit = 64;

  // Asks for the thumbnail of a result the grid shows. Only a record loaded in the result window
  // that is not missing and has no thumbnail yet is queued (at visible priority, on the utility
  // pool); every such call queues again. A queued job starts background generation; a job that
  // could not be queued is dropped without a message. Nothing before the live service is ready.
  void requestThumbnailIfMissing(const std::string& path);
  // Runs one generation batch unless one is running or the live service is not ready. The batch
  // writes its new thumbnails into the loaded records and starts the next batch while batches
  // come back full; a failed batch counts as empty and ends the loop until the next start.
  void startBackgroundThumbnailGeneration();

  // ---- Projections ----

  // Computed when asked (nothing is cached); the projections' derivedValuesChanged tells that an input
  // of any of them changed.

  // The loaded record of the focused path; null when nothing is focused or it is not loaded.
  RecordRef selectedRecord() const;
  // The loaded records of the effective selection, in window order.
  std::vector<RecordRef> selectedRecords() const;
  // The focused record's file as a URL: "file://" and its path percent-encoded byte for byte (paths
  // need not be UTF-8). Nothing without a loaded focused record.
  std::optional<std::string> selectedRecordFileURL() const;
  // Focuses a loaded path. A selection that already holds it is kept with its anchor (the focus
  // becomes the anchor when the old anchor is outside it); otherwise the path is selected alone.
  // Returns the new selectedRecordFileURL; a path that is not loaded changes nothing and gives nothing.
  std::optional<std::string> focusPathKeepingSelection(const std::string& path);
  // The window positions the slideshow shows, from the focused one on: at most
  // slideshowVisibleCount of them, wrapping to the start only when no more records exist.
  std::vector<int> slideshowVisibleRecordIndices() const;
  // "3-6 / 120+" for several images, "3 / 120" for one; "1 / 120" without a loaded focus and
  // "0 / 0" for an empty window.
  std::string slideshowPositionText() const;

  // ---- Selection and navigation ----

  // The grid's arrow keys.
  enum class GridMoveDirection { left = 0, right = 1, up = 2, down = 3 };

  // Operations on the loaded records of the window; each clears the selection when the window is
  // empty (toggleSelection excepted: it adds a path whether or not it is loaded).
  // Command-click: adds the path and focuses it, or removes it from a selection of two or more.
  void toggleSelection(const std::string& path);
  // Shift-click: selects the range from the anchor (else the focus, else the first record) to the
  // path, which gets the focus. A path that is not loaded changes nothing; a stale anchor gives
  // way to the path alone.
  void extendSelection(const std::string& toPath);
  void selectAllResults();
  // Selects the record `offset` positions from the focused one alone, modulo the loaded count
  // when wrapping, else clamped; without a loaded focus, the first record.
  void moveFocus(int offset, bool wrapping);
  // Steps the focus one record on, loading the next page first when the focus is on the last
  // loaded record. Gives false without moving when the window is empty, when the focus has left
  // `fromPath` (before or after the wait), when `stop` was requested, or when the page did not come
  // while more records are reported; past the end of a complete list it wraps to the first record.
  QCoro::Task<bool> advanceFocusLoadingMore(std::optional<std::string> fromPath, std::stop_token stop = {});
  // Whether stepping `offset` forward from the loaded focus passes the loaded end while more
  // records exist.
  bool focusMoveNeedsNextPage(int offset) const;
  // The first loaded path, in window order, that is in `paths`.
  std::optional<std::string> firstWindowPath(const PathSet& paths) const;
  // Arrow key: selects the target record alone; without a loaded focus, the first record.
  void moveFocusInGrid(GridMoveDirection direction, int columns);
  // Shift + arrow: selects from the anchor (when loaded, else the focus) to the target record.
  void extendSelectionInGrid(GridMoveDirection direction, int columns);
  // The position an arrow key moves to from `from` in a grid of `columns` (fewer than 1 counts as
  // 1) over the loaded records; it stops at the first and last record instead of wrapping.
  int gridTargetIndex(int from, GridMoveDirection direction, int columns) const;
  // Opens the slideshow from the focused record (the first one when none is loaded) and starts
  // playback; with an empty window closes it and clears the selection.
  void startSlideshow();
  void dismissSlideshow();
  // Play / pause while the slideshow is open; nothing otherwise.
  void toggleSlideshowPlayback();

 Q_SIGNALS:
  void searchResultsResetCountChanged();
  void isLoadingChanged();
  void isLoadingNextPageChanged();
  // A background result refresh ended or was cancelled; page loads and post-sync waits resume on it.
  void backgroundResultRefreshEnded();
  // A first-page search started, with the character text its query holds.
  void searchStarted(const std::optional<std::string>& characterText);

 private:
  friend struct ResultsModelTestAccess;

  const StoreTask<std::vector<RecordRef>>& refreshSearchTask() const { return refreshSearchTask_; }
  const StoreTask<bool>& loadMoreTask() const { return loadMoreTask_; }
  int loadMoreTaskID() const { return loadMoreTaskID_; }
  const std::optional<int>& activeLoadMoreTaskID() const { return activeLoadMoreTaskID_; }
  const StoreTask<void>& backgroundResultRefreshTask() const { return backgroundResultRefreshTask_; }
  int backgroundResultRefreshID() const { return backgroundResultRefreshID_; }
  const StoreTask<void>& backgroundThumbnailGenerationTask() const {
    return backgroundThumbnailGenerationTask_;
  }

  void setSearchResultsResetCount(int value);
  void setIsLoading(bool value);
  void setIsLoadingNextPage(bool value);
  void setIsBackgroundRefreshingResults(bool value);
  void setRefreshSearchTask(StoreTask<std::vector<RecordRef>> value);
  void setLoadMoreTask(StoreTask<bool> value);
  void setActiveLoadMoreTaskID(std::optional<int> value);
  void setBackgroundResultRefreshTask(StoreTask<void> value);
  void setActiveBackgroundResultRefreshMode(BackgroundResultRefreshMode value);
  void setBackgroundThumbnailGenerationTask(StoreTask<void> value);

  // ---- Search query and first-page refresh: private ----

  // Cancel the running first-page search, or the running page load (and forget its owner), and
  // clear the field that held it.
  void cancelRefreshSearchTask();
  void cancelLoadMoreTask();

  // Waits until no background refresh runs, a newer one was scheduled or cancelled, or `stop`.
  QCoro::Task<void> waitForBackgroundResultRefresh(std::stop_token stop);

  // ---- Paging: private ----

  // The page load identified by `taskID`: `kPageSize` records from `offset`, appended under
  // `ticket`.
  QCoro::Task<bool> loadPage(std::int64_t offset, SearchResultWindow::LoadTicket ticket, int taskID,
                             std::stop_token stop);
  // Releases the paging fields when the page load `taskID` still owns them.
  void finishLoadMore(int taskID);

  // ---- Background result refresh: private ----

  QCoro::Task<void> refreshFullWindow(int refreshID, std::stop_token stop);
  QCoro::Task<void> refreshLeadingPage(int refreshID, std::stop_token stop);
  // Ends the refresh `refreshID` when it is still the current one; emits backgroundResultRefreshEnded.
  void finishBackgroundResultRefresh(int refreshID);

  // ---- Thumbnail requests: private ----

  QCoro::Task<void> enqueueThumbnailJob(std::shared_ptr<ImageLibraryServicing> service, std::string path);
  QCoro::Task<void> runThumbnailBatch(std::shared_ptr<ImageLibraryServicing> service, std::stop_token stop);

  // ---- Selection and navigation: private ----

  // The focused path's window position; nothing when nothing is focused or it is not loaded.
  std::optional<int> focusedWindowIndex() const;
  const std::string& windowPath(int index) const;
  // The paths of the window records from `first` to `last`, both included, in either order.
  PathSet windowPathRange(int first, int last) const;
  // Clears the selection when no record is loaded; says whether it did.
  bool clearSelectionIfWindowIsEmpty();
  // At a change that brings records in: takes the relocated selection once its focused record is
  // loaded, and selects the relocated records of a taken one as they load. `endsWaiting` (a
  // refresh of the whole window) drops whatever it did not load, as it drops any record it leaves
  // out of the selection.
  void takeRelocatedSelection(bool endsWaiting);

  CreatingThread creatingThread_;
  StoreContext& context_;
  const FiltersModel& filters_;
  ImageLibraryPresentationState& presentation_;
  ResultsDependents& dependents_;
  // The selection is reconciled against the window: it goes last.
  const std::unique_ptr<ResultSelection> selection_;
  const std::unique_ptr<SearchResultWindow> resultWindow_;
  // The selection as it was when records coming in took its focus away (a scan's refresh may show a
  // moved record before the scan says where it went), until the focus is moved on, the next scan
  // reports where its records went, or a new search shows what the person asked for.
  std::optional<ResultSelection::Snapshot> selectionBeforeFocusLost_;
  // The selection with its records where a scan relocated them (`relocatedPaths`: the new paths
  // among the selected ones), waiting for its focus to be loaded, at most until the next refresh
  // of the whole window.
  struct RelocatedSelection {
    ResultSelection::Snapshot selection;
    PathSet relocatedPaths;
  };
  std::optional<RelocatedSelection> relocatedSelection_;
  // The relocated records of a selection taken before they were loaded: selected as they load, at
  // most until the next refresh of the whole window.
  PathSet relocatedPathsToSelect_;
  bool isReconcilingSelection_{false};
  // A first-page search's answer is being applied.
  bool isApplyingNewSearch_{false};

  int searchResultsResetCount_{0};
  bool isLoading_{false};
  bool isLoadingNextPage_{false};
  bool isBackgroundRefreshingResults_{false};
  StoreTask<std::vector<RecordRef>> refreshSearchTask_;
  // The limit and scroll reset of the first-page search in `refreshSearchTask_`, so that a load
  // stopped to make room for a review change can be asked for again as it was.
  StoppedResultLoading::FirstPageRefresh runningFirstPageRefresh_{kFirstPageLimit, true};
  StoreTask<bool> loadMoreTask_;
  int loadMoreTaskID_{0};
  std::optional<int> activeLoadMoreTaskID_;
  StoreTask<void> backgroundResultRefreshTask_;
  int backgroundResultRefreshID_{0};
  BackgroundResultRefreshMode activeBackgroundResultRefreshMode_{BackgroundResultRefreshMode::fullWindow};
  bool needsFullWindowResultRefresh_{false};
  StoreTask<void> backgroundThumbnailGenerationTask_;
};

}  // namespace lorvex
