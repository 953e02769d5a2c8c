// ImageLibraryStore: the one observable object every view and command reads and changes. It holds
// the visible state of the library its models do not (the loaded result window, the selection,
// review feedback and undo) and the handles of the flows that fill it. It does no file or database
// work itself: everything goes through `service`.
//
// It is also the composition of the feature models that have moved out of it: it owns the context
// they share (context()) and each model (concepts(), filters(), library(), trash(), suggestions()),
// and wires their reactions to each other and to the state it still holds
// (image_library_store_features.cpp). It forwards nothing of a model: callers use the model.
//
// Every tracked field has a getter, a setter and a change signal. A setter stores an equal value
// silently and signals a different one once, after storing it, so an observer reads the new value.
// Two fields signal on every set, because their values are not worth comparing: `service` and
// `deleteCandidateUndoStack`. Task handles compare by identity.
// `canUndoDeleteCandidateAction` follows its two inputs: it is recomputed after every change of the
// trash model's `isTrashingDeleteCandidates` and every set of `deleteCandidateUndoStack`, and
// signals only when it flips.
//
// The result window and the selection live as long as the store and are never replaced; they
// signal on their own. The store keeps the selection in step with the window: whenever the
// window's records change, the selection is reconciled with them, and when nothing is left the
// slideshow closes.
//
// Thread safety: the creating thread only (the main thread); flows return to it before they
// touch a field.
#pragma once

#include <qcoro/qcorotask.h>

#include <QObject>
#include <QThreadPool>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/error_notice.h"
#include "model/image_aspect.h"
#include "model/image_library_scan_summary.h"
#include "model/image_search_query.h"
#include "model/indexing_job.h"
#include "model/library_recovery_notice.h"
#include "model/registered_folder.h"
#include "model/scan_diagnostic_context.h"
#include "model/tag_concept.h"
#include "model/tag_suggestion.h"
#include "services/folders/registered_folder_sync_planner.h"
#include "services/image_library_servicing.h"
#include "services/product_feature_availability.h"
#include "services/user_defaults_character_suggestion_exclusion_store.h"
#include "services/user_defaults_filter_tag_store.h"
#include "store/async/coroutine_scope.h"
#include "store/async/creating_thread.h"
#include "store/async/scope_exit.h"
#include "store/async/store_clock.h"
#include "store/async/store_task.h"
#include "store/async/store_thread_pools.h"
#include "store/background_result_refresh_mode.h"
#include "store/concepts/tag_concepts_model.h"
#include "store/context/store_context.h"
#include "store/delete_candidate_review.h"
#include "store/delete_candidate_trash_disabled_reason.h"
#include "store/filters/filters_model.h"
#include "store/library/library_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/presentation/image_library_ui_preferences.h"
#include "store/record_ref.h"
#include "store/result_selection.h"
#include "store/review_update.h"
#include "store/search_result_window.h"
#include "store/stopped_result_loading.h"
#include "store/suggestions/suggestions_model.h"
#include "store/trash/trash_model.h"

namespace lorvex {

// The clock of the running application, for stores built without a test clock.
StoreClock& systemStoreClock();

class ImageLibraryStore : public QObject {
  Q_OBJECT

 public:
  // How a background refresh of the results re-reads them: the whole loaded window, or only the
  // leading page merged into it.
  using BackgroundResultRefreshMode = lorvex::BackgroundResultRefreshMode;

  // `service` is the service to start with (not null). Saved filter tags and character exclusions
  // are read from their stores and the presentation flags from `preferenceStore`, once, here.
  ImageLibraryStore(std::shared_ptr<ImageLibraryServicing> service, std::optional<std::string> errorMessage,
                    ProductFeatureAvailability featureAvailability,
                    std::shared_ptr<CharacterSuggestionExclusionPersisting> characterSuggestionExclusionStore,
                    std::shared_ptr<FilterTagPersisting> filterTagStore,
                    std::shared_ptr<ImageLibraryUIPreferencePersisting> preferenceStore,
                    std::uint64_t feedbackDismissDelayNanos, LiveServiceFactory liveServiceFactory,
                    bool needsLiveServicePreparation, StoreClock& clock = systemStoreClock(),
                    QThreadPool& userInitiatedPool = lorvex::userInitiatedPool(),
                    QThreadPool& utilityPool = lorvex::utilityPool(), QObject* parent = nullptr);
  ~ImageLibraryStore() override;

  // The feature models and the context they share. Set once, never changed.
  StoreContext& context() const { return *context_; }
  TagConceptsModel& concepts() const { return *concepts_; }
  FiltersModel& filters() const { return *filters_; }
  LibraryModel& library() const { return *library_; }
  TrashModel& trash() const { return *trash_; }
  SuggestionsModel& suggestions() const { return *suggestions_; }

  // Set once, never changed.
  SearchResultWindow& resultWindow() { return *resultWindow_; }
  const SearchResultWindow& resultWindow() const { return *resultWindow_; }
  ResultSelection& selection() { return *selection_; }
  const ResultSelection& selection() const { return *selection_; }
  std::uint64_t feedbackDismissDelayNanos() const { return feedbackDismissDelayNanos_; }
  // The shared context's members, read through the store until the features that use them have
  // moved into models of their own; new code asks context().
  const ProductFeatureAvailability& featureAvailability() const { return context_->featureAvailability(); }
  StoreClock& clock() const { return context_->clock(); }
  QThreadPool& userInitiatedPool() const { return context_->userInitiatedPool(); }
  QThreadPool& utilityPool() const { return context_->utilityPool(); }
  CoroutineScope& scope() { return context_->scope(); }

  // The presentation flags and UI preferences. Set once, never changed.
  ImageLibraryPresentationState& presentation() const { return *presentation_; }

  int searchResultsResetCount() const { return searchResultsResetCount_; }
  bool isLoading() const { return isLoading_; }
  bool isLoadingNextPage() const { return isLoadingNextPage_; }
  bool isBackgroundRefreshingResults() const { return isBackgroundRefreshingResults_; }
  const StoreTask<std::vector<RecordRef>>& refreshSearchTask() const { return refreshSearchTask_; }
  const StoreTask<bool>& loadMoreTask() const { return loadMoreTask_; }
  int loadMoreTaskID() const { return loadMoreTaskID_; }
  const std::optional<int>& activeLoadMoreTaskID() const { return activeLoadMoreTaskID_; }
  const StoreTask<void>& backgroundResultRefreshTask() const { return backgroundResultRefreshTask_; }
  int backgroundResultRefreshID() const { return backgroundResultRefreshID_; }
  BackgroundResultRefreshMode activeBackgroundResultRefreshMode() const {
    return activeBackgroundResultRefreshMode_;
  }
  bool needsFullWindowResultRefresh() const { return needsFullWindowResultRefresh_; }
  const StoreTask<void>& backgroundThumbnailGenerationTask() const {
    return backgroundThumbnailGenerationTask_;
  }
  bool canUndoDeleteCandidateAction() const { return canUndoDeleteCandidateAction_; }
  const std::optional<DeleteCandidateFeedback>& deleteCandidateFeedback() const {
    return deleteCandidateFeedback_;
  }
  const StoreTask<void>& deleteCandidateFeedbackDismissTask() const {
    return deleteCandidateFeedbackDismissTask_;
  }
  int deleteCandidateFeedbackDismissGeneration() const { return deleteCandidateFeedbackDismissGeneration_; }
  const std::vector<DeleteCandidateUndoAction>& deleteCandidateUndoStack() const {
    return deleteCandidateUndoStack_;
  }
  const std::shared_ptr<ImageLibraryServicing>& service() const { return context_->service(); }
  bool needsLiveServicePreparation() const { return context_->needsLiveServicePreparation(); }
  const std::optional<std::string>& errorMessage() const { return context_->errorMessage(); }
  const std::optional<ErrorNotice>& errorNotice() const { return context_->errorNotice(); }

  void setSearchResultsResetCount(int value);
  void setIsLoading(bool value);
  void setIsLoadingNextPage(bool value);
  void setIsBackgroundRefreshingResults(bool value);
  void setRefreshSearchTask(StoreTask<std::vector<RecordRef>> value);
  void setLoadMoreTask(StoreTask<bool> value);
  void setLoadMoreTaskID(int value);
  void setActiveLoadMoreTaskID(std::optional<int> value);
  void setBackgroundResultRefreshTask(StoreTask<void> value);
  void setBackgroundResultRefreshID(int value);
  void setActiveBackgroundResultRefreshMode(BackgroundResultRefreshMode value);
  void setNeedsFullWindowResultRefresh(bool value);
  void setBackgroundThumbnailGenerationTask(StoreTask<void> value);
  void setCanUndoDeleteCandidateAction(bool value);
  void setDeleteCandidateFeedback(std::optional<DeleteCandidateFeedback> value);
  void setDeleteCandidateFeedbackDismissTask(StoreTask<void> value);
  void setDeleteCandidateFeedbackDismissGeneration(int value);
  void setDeleteCandidateUndoStack(std::vector<DeleteCandidateUndoAction> value);
  // The context's service, preparation flag and error line (StoreContext), set through the store
  // until the flows that set them have moved into models; serviceChanged,
  // needsLiveServicePreparationChanged and errorMessageChanged follow the context's signals.
  void setService(std::shared_ptr<ImageLibraryServicing> value);
  void setErrorMessage(std::optional<std::string> value);
  void setErrorMessage(std::optional<std::string> value, std::optional<ErrorNotice> notice);
  void setErrorMessage(const std::exception_ptr& failure);
  void setNeedsLiveServicePreparation(bool value);

  // The undo stack's size as its limit counts it (DeleteCandidateUndoAction::weight summed).
  std::size_t deleteCandidateUndoStackEntryCount() const;

  // Keeps the selection in step with the window's records; closes the slideshow when nothing is
  // left. Called by the window for every change, and by undo and trash after changes they make
  // past it.
  void resultWindowRecordsDidChange(const SearchResultWindow::RecordsChange& change);

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
  // A full-window refresh after a sync pass, awaited: a refresh already running (of either mode)
  // may have read the library before the pass's last writes, so it is cancelled and a new one
  // started. Returns when that refresh has ended, when a newer one replaced it, or when
  // `callerStop` is stopped.
  QCoro::Task<void> refreshResultWindowAfterSync();
  QCoro::Task<void> refreshResultWindowAfterSync(std::stop_token callerStop);

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

  // ---- Search roots ----

  // A root path no folder has: a query limited to it matches no image.
  static constexpr std::string_view kNoRegisteredFolderRootPath = "/.vantrel-no-registered-folder";

  // The folders every library query is limited to. Once the folder list has loaded: the
  // available registered folders, then the roots of registrations under way. Before that: every
  // known folder whatever its state, then those roots. Each path once, at its first position. When
  // nothing is left the query must still match nothing rather than everything (an empty list would
  // search every live image, folders the user removed included), so the one-element list holding
  // kNoRegisteredFolderRootPath stands for it.
  std::vector<std::string> searchRootPaths() const;

  // ---- Projections ----

  // What the views read instead of combining fields themselves. Each answer is computed when asked
  // (nothing is cached); derivedValuesChanged() tells that an input of any of them changed.

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
  // Review marks may be changed on the focused record: one is loaded, no page is loading, nothing
  // is being moved to the Trash and neither filter popover is open.
  bool canReviewFocusedRecord() const;
  // As canReviewFocusedRecord, and the slideshow (when open) shows a single image.
  bool canReviewFocusedRecordInSlideshow() const;
  // The window positions the slideshow shows, from the focused one on: at most
  // slideshowVisibleCount of them, wrapping to the start only when no more records exist.
  std::vector<int> slideshowVisibleRecordIndices() const;
  // "3-6 / 120+" for several images, "3 / 120" for one; "1 / 120" without a loaded focus and
  // "0 / 0" for an empty window.
  std::string slideshowPositionText() const;
  // The saved filter tags the sidebar lists: the first few while the list is collapsed.
  std::vector<std::string> visibleSavedFilterTags() const;

  // StoreContext::startDetached, reached through the store until the views that use it take the
  // models they read.
  StoreTask<void> startDetached(std::function<QCoro::Task<void>()> work) {
    return context_->startDetached(std::move(work));
  }

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

  // ---- Review marks ----

  // Stops every result load in flight: advances the window's load epoch (a page arriving later is
  // dropped), cancels the first-page search and the page load, forgets the page load's identifier,
  // cancels the background refresh and lowers `isLoading` and `isLoadingNextPage`. Returns what it
  // stopped besides a page load; the caller hands that to restartResultLoading on every way out,
  // once its own change is in place.
  [[nodiscard]] StoppedResultLoading cancelResultLoading();
  // Starts again what cancelResultLoading stopped: the first-page search with its limit and scroll
  // reset (not awaited), else the background refresh in its mode. Nothing for nothing stopped.
  void restartResultLoading(const StoppedResultLoading& stopped);

  // The marks operations. Each changes one mark of the given records that are loaded in the result
  // window (only their paths count; the others are ignored), writes every changed record's review
  // state to the library in one call, all or nothing, and then updates the loaded copies in place:
  // a record whose new marks no longer pass the review filters leaves the window. A set skips the
  // records already carrying the value; a toggle flips each record on its own. Refused silently
  // while canApplyReviewUpdate() is false; nothing left to change writes nothing and leaves the
  // error message. A delete-candidate change is recorded for undo and published in the feedback
  // banner. A failed write changes nothing in the window, shows its text and (for a
  // delete-candidate change) dismisses the banner; a success clears the error message. The loads
  // in flight are stopped before the write and asked for again afterwards.
  void markDeleteCandidates(const std::vector<RecordRef>& records);
  void setFavorite(const std::vector<RecordRef>& records, bool value);
  void toggleFavorite(const std::vector<RecordRef>& records);
  void setDeleteCandidate(const std::vector<RecordRef>& records, bool value);
  void toggleDeleteCandidate(const std::vector<RecordRef>& records);
  // The detail panel's and the slideshow's buttons: toggle the focused record's mark while
  // canReviewFocusedRecord() holds and the slideshow, when open, shows a single image.
  void toggleFocusedRecordFavorite();
  void toggleFocusedRecordDeleteCandidate();
  // No page is loading, and the slideshow, when open, shows a single image.
  bool canApplyReviewUpdate() const;
  // What a context menu on `path` changes: the selected records when the path is selected, else
  // the loaded record at the path alone; nothing when it is not loaded.
  std::vector<RecordRef> reviewTargetRecords(const std::string& path) const;

  // ---- Delete-candidate undo ----

  // The undo stack holds at most this many actions, and at most this weight in all
  // (DeleteCandidateUndoAction::weight): the oldest go first. A change weighing more has no undo.
  static constexpr std::size_t kMaxDeleteCandidateUndoActions = 20;
  static constexpr std::size_t kMaxDeleteCandidateUndoWeight = 5000;

  // Takes back the newest delete-candidate change: writes the saved marks back to the library in
  // one call, puts the returned records back into the window at their old places (or leaves them
  // out when the filters now exclude them), restores the selection and the slideshow and dismisses
  // the banner. Nothing while a page loads or a move to the Trash runs, or with nothing to undo.
  // A restore that fails writes nothing: the action stays the newest and the failure shows. A
  // restore that comes back without a record it was asked for has written the marks: what came
  // back is applied, the action is spent and the first missing path (by old position) is named in
  // the error message.
  void undoLastDeleteCandidateAction();

  // ---- Delete-candidate feedback ----

  // Removes the banner at once and makes any countdown still running end without effect.
  void dismissDeleteCandidateFeedback();

  // ---- Slideshow steps ----

  // The slideshow's next step: the focus moves on by the visible count, alone, wrapping to the
  // start only when no more records exist. When the step would pass the loaded end while more
  // exist, the next page is loaded first; the step is then dropped when the page did not come
  // while more are still reported, when `stop` was requested, or when the focus changed meanwhile
  // (the user stepped elsewhere). Nothing while the slideshow is closed; an empty window closes it
  // and clears the selection.
  QCoro::Task<void> showNextSlideshowImages(std::stop_token stop = {});
  // The previous step: back by the visible count, wrapping only when no more records exist. Never
  // loads a page. Nothing while the slideshow is closed; an empty window closes it and clears the
  // selection.
  void showPreviousSlideshowImages();

 Q_SIGNALS:
  void searchResultsResetCountChanged();
  void isLoadingChanged();
  void isLoadingNextPageChanged();
  void isBackgroundRefreshingResultsChanged();
  void refreshSearchTaskChanged();
  void loadMoreTaskChanged();
  void loadMoreTaskIDChanged();
  void activeLoadMoreTaskIDChanged();
  void backgroundResultRefreshTaskChanged();
  void backgroundResultRefreshIDChanged();
  void activeBackgroundResultRefreshModeChanged();
  void needsFullWindowResultRefreshChanged();
  void backgroundThumbnailGenerationTaskChanged();
  void canUndoDeleteCandidateActionChanged();
  void deleteCandidateFeedbackChanged();
  void deleteCandidateFeedbackDismissTaskChanged();
  void deleteCandidateFeedbackDismissGenerationChanged();
  void deleteCandidateUndoStackChanged();
  void serviceChanged();
  void needsLiveServicePreparationChanged();
  void errorMessageChanged();

  // The projections' inputs changed; emitted at most once per event-loop turn, after the field
  // signals of that turn.
  void derivedValuesChanged();
  // A background result refresh ended or was cancelled; page loads and post-sync waits resume on it.
  void backgroundResultRefreshEnded();

 private:
  void recomputeCanUndoDeleteCandidateAction();

  // ---- Search query and first-page refresh: private ----

  // Cancel the running first-page search, or the running page load (and forget its owner), and
  // clear the field that held it.
  void cancelRefreshSearchTask();
  void cancelLoadMoreTask();

  // The limit and scroll reset of the first-page search in `refreshSearchTask_`, so that a load
  // stopped to make room for a review change can be asked for again as it was.
  StoppedResultLoading::FirstPageRefresh runningFirstPageRefresh_{kFirstPageLimit, true};

  // Runs the search on the user-initiated pool with `service` and makes RecordRefs of its records
  // there. Throws SearchCancelledError when `stop` was requested before or after the call.
  QCoro::Task<std::vector<RecordRef>> searchRecords(ImageSearchQuery query,
                                                    std::shared_ptr<ImageLibraryServicing> service,
                                                    std::stop_token stop);
  // searchRecords with the service in use now, its failure caught.
  struct FetchedRecords {
    std::vector<RecordRef> records;
    std::exception_ptr failure;
  };
  QCoro::Task<FetchedRecords> fetchRecords(ImageSearchQuery query, std::stop_token stop);
  // Keeps the first `count` records; whether there were more.
  static bool keepFirstRecords(std::vector<RecordRef>& records, std::size_t count);
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

  // ---- Projections: private ----

  // Connects every input of the projections to scheduleDerivedValuesChanged; called once, by the
  // constructor.
  void connectDerivedValueInputs();
  // Queues one derivedValuesChanged for the end of this event-loop turn unless one is queued.
  void scheduleDerivedValuesChanged();
  bool isDerivedValuesChangeQueued_ = false;
  // While collapsed, the sidebar lists this many saved filter tags.
  static constexpr std::size_t kCollapsedSavedFilterTagCount = 5;

  // ---- Selection and navigation: private ----

  // The focused path's window position; nothing when nothing is focused or it is not loaded.
  std::optional<int> focusedWindowIndex() const;
  const std::string& windowPath(int index) const;
  // The paths of the window records from `first` to `last`, both included, in either order.
  PathSet windowPathRange(int first, int last) const;
  // Clears the selection when no record is loaded; says whether it did.
  bool clearSelectionIfWindowIsEmpty();

  // ---- Review marks: private ----

  // The update body: `value` for a set, nothing for a toggle.
  void applyReviewUpdate(const std::vector<RecordRef>& records, ReviewMark mark, std::optional<bool> value);
  void applyReviewUpdateToFocusedRecord(ReviewMark mark);
  void applyReviewStatesToResultWindow(const std::vector<ReviewChange>& changes);

  // ---- Delete-candidate undo: private ----

  // The action that takes back the delete-candidate changes among `changes`, with the selection
  // and the slideshow as they are now; nothing when no mark changes or it would weigh too much.
  std::optional<DeleteCandidateUndoAction> makeDeleteCandidateUndoAction(
      const std::vector<ReviewChange>& changes) const;
  // Pushes the action as the newest and trims the oldest past the limits; an action over the
  // weight limit is dropped.
  void pushDeleteCandidateUndoAction(DeleteCandidateUndoAction action);
  // Removes the loaded records the review filters exclude, in one change.
  void pruneResultWindowToReviewFilters();
  void restoreSelectionAfterDeleteCandidateUndo(const DeleteCandidateUndoAction& action,
                                                const ResultSelection::Snapshot& snapshot);

  // ---- Delete-candidate feedback: private ----

  // The banner for `changes`: nothing when no delete-candidate mark changes or the changed
  // records do not all get the same mark.
  std::optional<DeleteCandidateFeedback> makeDeleteCandidateFeedback(
      const std::vector<ReviewChange>& changes,
      const std::optional<DeleteCandidateUndoAction>& undoAction) const;
  // Restarts the countdown that clears the banner just published.
  void scheduleDeleteCandidateFeedbackDismissal();
  QCoro::Task<void> runDeleteCandidateFeedbackDismissal(int generation, std::stop_token stop);

  // ---- Slideshow steps: private ----

  // Closes the slideshow and clears the selection when the window holds no record; says whether
  // it did.
  bool closeSlideshowIfWindowIsEmpty();

  // ---- Composition ----

  // Connects the feature models' reactions to each other and to the store; called once, by the
  // constructor (image_library_store_features.cpp).
  void wireFeatureModels();

  CreatingThread creatingThread_;
  // Shared by every feature model, and outlives them; the destructor ends its flows first.
  const std::unique_ptr<StoreContext> context_;
  // The context's members under the names the store's own flows use, until those flows have moved
  // into feature models.
  StoreClock* const clock_;
  QThreadPool* const userInitiatedPool_;
  QThreadPool* const utilityPool_;
  const ProductFeatureAvailability& featureAvailability_;
  const std::shared_ptr<ImageLibraryServicing>& service_;
  CoroutineScope& scope_;

  // What the concepts model asks of the suggestions model and the results, which the store still
  // holds (image_library_store_features.cpp).
  class ConceptDependents final : public TagConceptDependents {
   public:
    explicit ConceptDependents(ImageLibraryStore& store) : store_(store) {}
    TagConceptSuggestionClaim claimTagConceptSuggestions() override;
    void applyClaimedTagConceptSuggestions(const TagConceptSuggestionClaim& claim,
                                           std::vector<TagConcept> suggestions) override;
    QCoro::Task<void> refreshResultsAfterTagConceptChange() override;

   private:
    ImageLibraryStore& store_;
  };
  ConceptDependents conceptDependents_{*this};
  const std::unique_ptr<TagConceptsModel> concepts_;
  // What the filters model asks of the results and the presentation, which the store still holds
  // (image_library_store_features.cpp).
  class FilterDependentsOfStore final : public FilterDependents {
   public:
    explicit FilterDependentsOfStore(ImageLibraryStore& store) : store_(store) {}
    QCoro::Task<void> refreshResultsAfterFilterChange() override;
    bool isDeleteCandidateReviewPresented() const override;
    void closeDeleteCandidateReview() override;

   private:
    ImageLibraryStore& store_;
  };
  FilterDependentsOfStore filterDependents_{*this};
  const std::unique_ptr<FiltersModel> filters_;
  // What the library model asks of the results, the suggestions, the thumbnails and the Trash,
  // which the store still holds (image_library_store_library_dependents.cpp).
  class LibraryDependentsOfStore final : public LibraryDependents {
   public:
    explicit LibraryDependentsOfStore(ImageLibraryStore& store) : store_(store) {}
    QCoro::Task<void> reloadResults() override;
    QCoro::Task<void> reloadResults(int limit) override;
    QCoro::Task<void> refreshResultWindowAfterSync() override;
    QCoro::Task<void> reloadTagSuggestions() override;
    void startThumbnailGeneration() override;
    bool refreshResultsDuringIndexing() override;
    bool isTrashingDeleteCandidates() const override;

   private:
    ImageLibraryStore& store_;
  };
  LibraryDependentsOfStore libraryDependents_{*this};
  const std::unique_ptr<LibraryModel> library_;

  const std::unique_ptr<SuggestionsModel> suggestions_;
  const std::uint64_t feedbackDismissDelayNanos_;
  // Owned by the store; children are not used, so destruction order is the members' order.
  std::unique_ptr<ResultSelection> selection_;
  std::unique_ptr<SearchResultWindow> resultWindow_;
  const std::unique_ptr<ImageLibraryPresentationState> presentation_;
  // What the trash model asks of the library, the results, folder monitoring, the undo history and
  // the sidebar, which the store still holds (image_library_store_trash_dependents.cpp).
  class TrashDependentsOfStore final : public TrashDependents {
   public:
    explicit TrashDependentsOfStore(ImageLibraryStore& store) : store_(store) {}
    TrashReviewQueryScope trashReviewQueryScope() const override;
    QCoro::Task<TrashDependents::FetchedRecords> fetchRecords(ImageSearchQuery query,
                                                              std::stop_token stop) override;
    bool isLibraryUnprepared() const override;
    bool isLibraryIndexing() const override;
    QCoro::Task<void> waitForLibrarySyncToEnd() override;
    std::optional<int> resultIndex(const std::string& path) const override;
    void removeTrashedRecordsFromResults(const PathSet& trashed, int fallbackSelectionIndex) override;
    void ignoreTrashedPathsInFolderMonitoring(const std::vector<std::string>& trashedPaths) override;
    void clearDeleteCandidateUndoStack() override;
    void dismissDeleteCandidateFeedback() override;
    QCoro::Task<void> reloadFolderSummaries() override;

   private:
    ImageLibraryStore& store_;
  };
  TrashDependentsOfStore trashDependents_{*this};
  const std::unique_ptr<TrashModel> trash_;

  int searchResultsResetCount_{0};
  bool isLoading_{false};
  bool isLoadingNextPage_{false};
  bool isBackgroundRefreshingResults_{false};
  StoreTask<std::vector<RecordRef>> refreshSearchTask_;
  StoreTask<bool> loadMoreTask_;
  int loadMoreTaskID_{0};
  std::optional<int> activeLoadMoreTaskID_;
  StoreTask<void> backgroundResultRefreshTask_;
  int backgroundResultRefreshID_{0};
  BackgroundResultRefreshMode activeBackgroundResultRefreshMode_{BackgroundResultRefreshMode::fullWindow};
  bool needsFullWindowResultRefresh_{false};
  StoreTask<void> backgroundThumbnailGenerationTask_;
  bool canUndoDeleteCandidateAction_{false};
  std::optional<DeleteCandidateFeedback> deleteCandidateFeedback_;
  StoreTask<void> deleteCandidateFeedbackDismissTask_;
  int deleteCandidateFeedbackDismissGeneration_{0};
  std::vector<DeleteCandidateUndoAction> deleteCandidateUndoStack_;
};

}  // namespace lorvex
