// ImageLibraryStore: the one observable object every view and command reads and changes. It holds
// the visible state of the library its models do not (the loaded result window, the selection,
// suggestions, registered folders, indexing and sync progress) and the handles of the flows that
// fill it. It does no file or database work itself: everything goes through `service`.
//
// It is also the composition of the feature models that have moved out of it: it owns the context
// they share (context()) and each model (concepts(), filters(), review()), and wires their
// reactions to each other and to the state it still holds (image_library_store_features.cpp). It
// forwards nothing of a model: callers use the model.
//
// Every tracked field has a getter, a setter and a change signal. A setter stores an equal value
// silently and signals a different one once, after storing it, so an observer reads the new value.
// Two fields signal on every set, because their values are not worth comparing: `service` and
// `backgroundSyncPlanner`. Task handles compare by identity.
//
// The result window, the selection and the trash review browser live as long as the store and are
// never replaced; they signal on their own. The store keeps the selection in step with the
// window: whenever the window's records change, the selection is reconciled with them, and when
// nothing is left the slideshow closes.
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
#include <utility>
#include <vector>

#include "model/error_notice.h"
#include "model/image_aspect.h"
#include "model/image_library_scan_summary.h"
#include "model/image_search_query.h"
#include "model/image_trash_summary.h"
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
#include "store/presentation/image_library_presentation_state.h"
#include "store/presentation/image_library_ui_preferences.h"
#include "store/record_ref.h"
#include "store/result_selection.h"
#include "store/review/review_model.h"
#include "store/review_update.h"
#include "store/search_result_window.h"
#include "store/stopped_result_loading.h"
#include "store/trash/trash_candidate_browser.h"

namespace lorvex {

// Builds the live service graph; may throw, may be called from any thread.
using LiveServiceFactory = std::function<std::shared_ptr<ImageLibraryServicing>()>;

// The clock of the running application, for stores built without a test clock.
StoreClock& systemStoreClock();

class ImageLibraryStore : public QObject {
  Q_OBJECT

 public:
  // How a background refresh of the results re-reads them: the whole loaded window, or only the
  // leading page merged into it.
  using BackgroundResultRefreshMode = lorvex::BackgroundResultRefreshMode;

  // The time before any refresh was made: year 1, so "seconds since" is always large.
  static constexpr double kDistantPast = -62'135'596'800.0;

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
  ReviewModel& review() const { return *review_; }

  // Set once, never changed.
  SearchResultWindow& resultWindow() { return *resultWindow_; }
  const SearchResultWindow& resultWindow() const { return *resultWindow_; }
  ResultSelection& selection() { return *selection_; }
  const ResultSelection& selection() const { return *selection_; }
  TrashCandidateBrowser& trashReviewBrowser() { return *trashReviewBrowser_; }
  const TrashCandidateBrowser& trashReviewBrowser() const { return *trashReviewBrowser_; }
  const LiveServiceFactory& liveServiceFactory() const { return liveServiceFactory_; }
  const std::shared_ptr<CharacterSuggestionExclusionPersisting>& characterSuggestionExclusionStore() const {
    return characterSuggestionExclusionStore_;
  }
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
  int lastIndexingResultRefreshIndexedCount() const { return lastIndexingResultRefreshIndexedCount_; }
  double lastIndexingResultRefreshAt() const { return lastIndexingResultRefreshAt_; }
  const std::vector<TagSuggestion>& tagSuggestions() const { return tagSuggestions_; }
  const std::vector<TagConcept>& tagConceptSuggestions() const { return tagConceptSuggestions_; }
  bool isTagSuggestionLoading() const { return isTagSuggestionLoading_; }
  const std::vector<ModelSuggestion>& modelSuggestions() const { return modelSuggestions_; }
  bool isModelSuggestionLoading() const { return isModelSuggestionLoading_; }
  const std::vector<CharacterSuggestion>& characterSuggestions() const { return characterSuggestions_; }
  const std::vector<CharacterSuggestion>& characterSuggestionExclusionCandidates() const {
    return characterSuggestionExclusionCandidates_;
  }
  const std::vector<std::string>& characterSuggestionExclusions() const {
    return characterSuggestionExclusions_;
  }
  int tagSuggestionGeneration() const { return tagSuggestionGeneration_; }
  const std::optional<std::string>& activeTagSuggestionSearchText() const {
    return activeTagSuggestionSearchText_;
  }
  int modelSuggestionGeneration() const { return modelSuggestionGeneration_; }
  int characterSuggestionGeneration() const { return characterSuggestionGeneration_; }
  const std::vector<RegisteredFolderSummary>& registeredFolderSummaries() const {
    return registeredFolderSummaries_;
  }
  bool isLoadingRegisteredFolders() const { return isLoadingRegisteredFolders_; }
  bool hasLoadedRegisteredFolderSummaries() const { return hasLoadedRegisteredFolderSummaries_; }
  const std::optional<ImageLibraryScanDiagnosticContext>& lastScanDiagnosticContext() const {
    return lastScanDiagnosticContext_;
  }
  const std::optional<ImageLibraryScanSummary>& lastScanSummary() const { return lastScanSummary_; }
  const std::optional<ImageLibraryIndexingProgress>& indexingProgress() const { return indexingProgress_; }
  bool isPreparingLibrary() const { return isPreparingLibrary_; }
  bool isBackgroundSyncing() const { return isBackgroundSyncing_; }
  bool isIndexing() const { return isIndexing_; }
  bool isLibrarySyncInProgress() const { return isLibrarySyncInProgress_; }
  const StoreTask<void>& backgroundLibrarySyncTask() const { return backgroundLibrarySyncTask_; }
  const StoreTask<void>& backgroundLibrarySyncMonitorRecoveryTask() const {
    return backgroundLibrarySyncMonitorRecoveryTask_;
  }
  double backgroundLibrarySyncDebounceSeconds() const { return backgroundLibrarySyncDebounceSeconds_; }
  std::uint64_t monitorRecoveryIntervalNanos() const { return monitorRecoveryIntervalNanos_; }
  const RegisteredFolderSyncPlanner& backgroundSyncPlanner() const { return backgroundSyncPlanner_; }
  const std::vector<std::string>& activeFolderRegistrationRootPaths() const {
    return activeFolderRegistrationRootPaths_;
  }
  const StoreTask<void>& launchWorkflowTask() const { return launchWorkflowTask_; }
  const StoreTask<void>& thumbnailCacheMaintenanceTask() const { return thumbnailCacheMaintenanceTask_; }
  bool didStartThumbnailCacheMaintenance() const { return didStartThumbnailCacheMaintenance_; }
  const std::optional<ImageTrashSummary>& lastTrashSummary() const { return lastTrashSummary_; }
  bool isTrashingDeleteCandidates() const { return isTrashingDeleteCandidates_; }
  const StoreTask<bool>& deleteCandidateTrashReviewLoadMoreTask() const {
    return deleteCandidateTrashReviewLoadMoreTask_;
  }
  const std::shared_ptr<ImageLibraryServicing>& service() const { return context_->service(); }
  bool needsLiveServicePreparation() const { return needsLiveServicePreparation_; }
  const std::optional<std::string>& errorMessage() const { return context_->errorMessage(); }
  const std::optional<ErrorNotice>& errorNotice() const { return context_->errorNotice(); }
  // What preparing the library did with the file it found (a damaged one rebuilt, or one of another
  // kind set aside), from the live service once it is installed; shown until the process ends.
  const std::optional<LibraryRecoveryNotice>& libraryRecoveryNotice() const { return libraryRecoveryNotice_; }

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
  void setLastIndexingResultRefreshIndexedCount(int value);
  void setLastIndexingResultRefreshAt(double value);
  void setTagSuggestions(std::vector<TagSuggestion> value);
  void setTagConceptSuggestions(std::vector<TagConcept> value);
  void setIsTagSuggestionLoading(bool value);
  void setModelSuggestions(std::vector<ModelSuggestion> value);
  void setIsModelSuggestionLoading(bool value);
  void setCharacterSuggestions(std::vector<CharacterSuggestion> value);
  void setCharacterSuggestionExclusionCandidates(std::vector<CharacterSuggestion> value);
  void setCharacterSuggestionExclusions(std::vector<std::string> value);
  void setTagSuggestionGeneration(int value);
  void setActiveTagSuggestionSearchText(std::optional<std::string> value);
  void setModelSuggestionGeneration(int value);
  void setCharacterSuggestionGeneration(int value);
  void setRegisteredFolderSummaries(std::vector<RegisteredFolderSummary> value);
  void setIsLoadingRegisteredFolders(bool value);
  void setHasLoadedRegisteredFolderSummaries(bool value);
  void setLastScanDiagnosticContext(std::optional<ImageLibraryScanDiagnosticContext> value);
  void setLastScanSummary(std::optional<ImageLibraryScanSummary> value);
  void setIndexingProgress(std::optional<ImageLibraryIndexingProgress> value);
  void setIsPreparingLibrary(bool value);
  void setIsBackgroundSyncing(bool value);
  void setIsIndexing(bool value);
  void setIsLibrarySyncInProgress(bool value);
  void setBackgroundLibrarySyncTask(StoreTask<void> value);
  void setBackgroundLibrarySyncMonitorRecoveryTask(StoreTask<void> value);
  void setBackgroundLibrarySyncDebounceSeconds(double value);
  void setMonitorRecoveryIntervalNanos(std::uint64_t value);
  void setBackgroundSyncPlanner(RegisteredFolderSyncPlanner value);
  void setActiveFolderRegistrationRootPaths(std::vector<std::string> value);
  void setLaunchWorkflowTask(StoreTask<void> value);
  void setThumbnailCacheMaintenanceTask(StoreTask<void> value);
  void setDidStartThumbnailCacheMaintenance(bool value);
  void setLastTrashSummary(std::optional<ImageTrashSummary> value);
  void setIsTrashingDeleteCandidates(bool value);
  void setDeleteCandidateTrashReviewLoadMoreTask(StoreTask<bool> value);
  // The context's service and error line (StoreContext), set through the store until the flows
  // that set them have moved into models; serviceChanged and errorMessageChanged follow the
  // context's signals.
  void setService(std::shared_ptr<ImageLibraryServicing> value);
  void setErrorMessage(std::optional<std::string> value);
  void setErrorMessage(std::optional<std::string> value, std::optional<ErrorNotice> notice);
  void setErrorMessage(const std::exception_ptr& failure);
  void setNeedsLiveServicePreparation(bool value);
  void setLibraryRecoveryNotice(std::optional<LibraryRecoveryNotice> value);

  // Reloads the sidebar's folder list from the service, on the utility pool. Does nothing before
  // the live service is installed. A success replaces the list and clears the error message; a
  // failure shows its text and keeps the last good list. Of overlapping loads only the one started
  // last applies its outcome and ends the loading flag: an older load finishing late would put
  // stale counts back.
  QCoro::Task<void> loadRegisteredFolderSummaries();

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

  // ---- Search roots and tag suggestions ----

  // At most this many tags (and concepts) are suggested for one text.
  static constexpr std::int64_t kTagSuggestionLimit = 500;

  // Reloads the filter sidebar's tag suggestions (and, with tag concepts enabled, the matching
  // concepts) for `searchText` on the utility pool. The lists empty and the loading flag rises at
  // once; of overlapping loads only the one started last applies its lists or its error and ends
  // the flag. With no text (or only whitespace) the concept suggestions are the whole concept
  // list, so they replace `tagConcepts` too. Returns once the outcome was applied or dropped.
  QCoro::Task<void> loadTagSuggestions(std::optional<std::string> searchText);
  // The tag popover's text changed: loads in flight count for nothing now, and both lists show
  // empty and loading until the next load ends.
  void beginTagSuggestionLoading();

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
  // The tag addition panel's rows: every raw tag suggestion and, with tag concepts switched on,
  // every concept suggestion; larger image counts first, then by name ignoring case, a raw tag
  // before a concept of the same name.
  std::vector<TagFilterSuggestion> tagFilterSuggestions() const;

  // The Trash review. A record may be moved to the Trash when it is a delete candidate and its
  // file is not missing.
  // The ticked records that may be moved, in browser order.
  std::vector<RecordRef> selectedTrashReviewRecords() const;
  int trashableLoadedTrashReviewRecordCount() const;
  // The loaded records that may be moved and that the last move failed on (and did not trash after
  // all), in browser order, each as that move was handed it.
  std::vector<RecordRef> retryableFailedTrashRecords() const;
  // No preparation, indexing or move to the Trash is running.
  bool isLibraryReadyForTrash() const;
  bool isTrashReviewLoading() const;
  // The review is shown, the library is ready, nothing is loading, and `records` is not empty.
  bool canTrash(const std::vector<RecordRef>& records) const;
  bool canTrashSelectedTrashReviewRecords() const;
  bool canRetryFailedTrash() const;
  bool canTrashLoadedTrashReviewRecords() const;
  DeleteCandidateTrashBlockers trashBlockers() const;
  // Why the review's two actions are disabled; nothing when allowed or when the question does not
  // arise (the review is not shown).
  std::optional<DeleteCandidateTrashDisabledReason> trashSelectedDisabledReason() const;
  std::optional<DeleteCandidateTrashDisabledReason> trashLoadedDisabledReason() const;

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

  // ---- Indexing runner and indexing-time refresh ----

  // The pool a scan runs on: user-initiated for the scans a person asked for (registration, the
  // syncs, the resumption at launch), utility for background passes.
  enum class IndexingPriority { userInitiated, utility };

  // A scan run off the main thread: it reports its progress through the handler (on its own
  // thread, as often as it likes) and returns its summary, or nothing when there was nothing to
  // record. The stop token is requested only when the store goes away; the store never stops a
  // scan otherwise.
  using IndexingOperation = std::function<std::optional<ImageLibraryScanSummary>(
      const ImageLibraryServicing::ProgressHandler& progress, std::stop_token stop)>;

  // Runs `operation` on the priority's pool. Every progress value it reports reaches
  // `indexingProgress` on the main thread, in the order reported, and then the indexing-time
  // refresh throttle; the scan never waits for the main thread. When the operation has returned
  // or thrown and all its progress has been applied, `indexingProgress` is cleared and then its
  // summary is returned or its error rethrown. Starts by resetting the throttle (count 0, time
  // now).
  QCoro::Task<std::optional<ImageLibraryScanSummary>> runIndexingOperation(IndexingPriority priority,
                                                                           IndexingOperation operation);

  // The result refresh throttle during a scan. Only `indexing` progress whose indexedCount is
  // above `lastIndexingResultRefreshIndexedCount` counts; it schedules a background refresh once
  // 100 more images were indexed or 2.0 s passed since the last refresh: the whole window when
  // `needsFullWindowResultRefresh` is set, else the leading page. Only a refresh that started is
  // recorded (the flag cleared, the count and the time kept); otherwise the next value tries again.
  //
  // `lastIndexingResultRefreshAt` holds the store clock's monotonic time in seconds, not a date: a
  // wall clock set back must not hold refreshes back for as long.
  void refreshResultsForIndexingProgress(const ImageLibraryIndexingProgress& progress);

  // ---- Folder registration ----

  // Registers the folders chosen in the folder picker (paths, as chosen) and indexes them with a
  // full scan, with live progress; while it runs, searches include the new folders. Dropped
  // silently when the list is empty or other library work or a trash operation runs. Afterwards
  // the scan is recorded for the diagnostics, the sidebar, results and tag suggestions reload,
  // thumbnails start and monitoring restarts for the new folder set. A failure shows its text;
  // when the service had registered the folders before the failure, the sidebar and monitoring
  // still follow them. The busy flags are lowered on every path.
  QCoro::Task<void> registerFolders(std::vector<std::string> folderURLs);

  // ---- Manual and single-folder sync ----

  // Scans every available registered folder; true when the scan ran to its end and was recorded.
  // False at once while other library work or a trash operation runs; false without a message when
  // no folder is available (the sidebar, results and tag suggestions still reload). A failure shows
  // its text and keeps the last recorded scan. The stored event position is the one read before
  // the scan, whatever files failed. Monitoring is left as it is.
  QCoro::Task<bool> syncRegisteredFolders();
  // The same for the one registered folder at `path` (as the sidebar row has it). A failure (the
  // folder unregistered or unavailable) reloads the sidebar, then shows its text.
  QCoro::Task<bool> syncRegisteredFolder(std::string path);

  // ---- Background library sync ----

  // Keeps the library in step with the registered folders while the program runs: monitors the
  // available ones and, once their changes have been quiet for `debounceSeconds` (at least 0.1; NaN
  // counts as 0.1), runs one background pass over what changed. While a registered folder is
  // missing, monitoring could not start or it ended on its own, a recovery loop re-evaluates
  // monitoring every `monitorRecoveryIntervalNanos` (at least 1 ms), first running a full pass when
  // the library has no usable event position. Does nothing while monitoring runs or the recovery
  // loop does. Calls the service's monitoring members on this thread.
  void startBackgroundLibrarySync(double debounceSeconds, std::uint64_t monitorRecoveryIntervalNanos);
  // Stops and starts again with the current intervals (the folder set changed) and schedules a pass
  // for changes still pending. Does nothing before the live service is in place. The monitor's stop,
  // the reads the decision needs and the monitor's start run on the utility pool; the decision is
  // applied here when they are done, unless a later restart or a stop came first.
  QCoro::Task<void> restartBackgroundLibrarySync();
  // Cancels the debounce, the recovery loop and a restart under way and stops monitoring. Pending
  // changes and the trashed files to ignore are kept; a pass already running goes on.
  void stopBackgroundLibrarySync();

  // ---- Unregistering and reauthorising folders ----

  // Removes the registered folder at `path`; refused silently while other library work or a
  // trash operation runs. On success the sidebar and results reload and monitoring restarts for
  // the folders left; a failure shows its text and refreshes nothing. Raises no busy flag.
  QCoro::Task<void> unregisterFolder(std::string path);
  // Renews the access to the registered folder at `path` with the folder `url` the user picked
  // again (the service refuses another folder). Never refused. On success as unregisterFolder,
  // and then the error message is cleared.
  QCoro::Task<void> reauthorizeFolder(std::string url, std::string path);

  // ---- Launch workflow ----

  // What the launch hands background sync: the quiet time before a batch of folder changes is
  // passed, and how often monitoring is retried while it is incomplete.
  static constexpr double kLaunchBackgroundSyncDebounceSeconds = 2.0;
  static constexpr std::uint64_t kLaunchMonitorRecoveryIntervalNanos = 30'000'000'000;
  // Records the launch asks for: after a resumed scan or with no folder registered, a full first
  // page; with the folders already up to date, the screenful the window shows first.
  static constexpr int kLaunchResumedResultLimit = 500;
  static constexpr int kLaunchUpToDateResultLimit = 120;
  // The thumbnail cache sweep spares files touched within this many seconds before it starts.
  static constexpr double kThumbnailCacheSweepAgeSeconds = 600.0;

  // Makes the library usable; the main window calls it each time it is shown and it returns at
  // once. Unless a run is under way, a run builds and installs the live service (once per store),
  // shows the folder list and the first screenful before anything that reads the whole library,
  // loads the folders' counts, finishes a scan an earlier run left unfinished, restores the
  // registered folders' access and brings the library up to date with them, starts background
  // sync and starts one thumbnail cache sweep per store. A failed preparation installs an
  // unavailable service holding the failure, shows its text and ends the run. `launchWorkflowTask`
  // holds the run while it goes.
  void startLaunchWorkflow();
  // Builds the live service on the user-initiated pool and installs it (the launch then loads the
  // folder list, the first page and the sidebar's counts). True when the launch may go on: nothing
  // was left to prepare, or it was prepared now. False while another preparation runs, and after a
  // failure (shown, and held by the unavailable service installed in its place; the store no
  // longer waits for preparation).
  QCoro::Task<bool> prepareLiveServiceIfNeeded();
  // Finishes the indexing job an earlier run left unfinished, with live progress, and stores the
  // event position read before it for the job's folders. True when a job was resumed (then
  // recorded and followed by the reloads); false when none was left, when other library work or a
  // trash operation runs, or on a failure (shown).
  QCoro::Task<bool> resumeInterruptedIndexingIfNeeded();
  // Restores the registered folders' access and catches up with them: with nothing registered the
  // sidebar, a full first page and the tag suggestions reload; without a stored event position
  // every folder is synced; with one, the tag suggestions load and the first page unless
  // `pageIsCurrent` (the changes made meanwhile come from monitoring, which starts from that
  // position). Skipped while other library work or a trash operation runs; a failure is shown.
  QCoro::Task<void> restoreFolderAccessAndSync(bool pageIsCurrent = false);
  // Starts the one thumbnail cache sweep of this store on the utility pool, once the live service
  // is in place; later calls do nothing. Its outcome is not shown.
  void startThumbnailCacheMaintenanceIfNeeded();

  // ---- Result loading around a review change ----

  // Stops every result load in flight: advances the window's load epoch (a page arriving later is
  // dropped), cancels the first-page search and the page load, forgets the page load's identifier,
  // cancels the background refresh and lowers `isLoading` and `isLoadingNextPage`. Returns what it
  // stopped besides a page load; the caller hands that to restartResultLoading on every way out,
  // once its own change is in place.
  [[nodiscard]] StoppedResultLoading cancelResultLoading();
  // Starts again what cancelResultLoading stopped: the first-page search with its limit and scroll
  // reset (not awaited), else the background refresh in its mode. Nothing for nothing stopped.
  void restartResultLoading(const StoppedResultLoading& stopped);

  // ---- Trash review loading ----

  // The review lists every indexed delete candidate whose file is not missing under the search
  // roots, in the current sort, whatever the other filters: pages of kTrashReviewPageSize, each
  // asked for with one row more to learn whether more exist; a tile among the last
  // kTrashReviewPrefetchDistance loaded records asks for the next page.
  static constexpr int kTrashReviewPageSize = 500;
  static constexpr std::int64_t kTrashReviewQueryLimit = kTrashReviewPageSize + 1;
  static constexpr int kTrashReviewPrefetchDistance = 24;

  // Opens the review and loads its first page; nothing while the live service is missing or being
  // prepared.
  QCoro::Task<void> presentDeleteCandidateTrashReview();
  // Loads the first page again while the review is open; the loaded records stay visible until it
  // arrives. Drops the load-more in flight. Of overlapping reloads only the last one applies. A
  // failure keeps the records, stops paging and shows its text; a success clears the error message.
  QCoro::Task<void> reloadDeleteCandidateTrashReview();
  // A review tile came into view: loads the next page when more exist and the tile's path is among
  // the last kTrashReviewPrefetchDistance loaded records (any, when fewer are loaded); with no path,
  // whenever more exist. A path no longer loaded asks for nothing.
  QCoro::Task<void> loadMoreDeleteCandidateTrashReviewIfNeeded(std::optional<std::string> path);
  // Appends the next page; true when it was applied. One load-more runs at a time
  // (`deleteCandidateTrashReviewLoadMoreTask`) and later callers join it. False at once while the
  // review is closed, nothing more exists or a reload runs. A page of records all loaded already
  // while more are reported reloads from the start (the list shifted underneath). A failure shows
  // its text and keeps paging, so the next tile asks again.
  QCoro::Task<bool> loadMoreDeleteCandidateTrashReview();
  // Closes the review and empties its list; a load in flight is dropped when it arrives. The last
  // trash summary and the error message stay.
  void dismissDeleteCandidateTrashReview();
  // The review's query for `limit` records from `offset`.
  ImageSearchQuery makeDeleteCandidateTrashReviewQuery(std::int64_t limit, std::int64_t offset) const;

  // ---- Trash moves ----

  // What errorMessage shows after a move in which some file was not moved or not recorded; the
  // details stay in lastTrashSummary.
  static constexpr std::string_view kTrashFailureMessage =
      "ゴミ箱に入れる操作またはインデックス更新に失敗した画像があります。";

  // Moves the delete candidates among `records` (marked, not missing; each path once, in order) to
  // the Trash: the only operation that changes the user's files. Refused (false, nothing changed)
  // when none is left or canStartDeleteCandidateTrash() is false. A background pass under way is
  // let finish first (none starts while a move runs). The library re-checks each file against the
  // record handed here (its size and modification date: what the person reviewed) and against its
  // own on the user-initiated pool; nothing cancels that call, and no second move starts while it
  // runs. Afterwards: the outcome is kept in lastTrashSummary; trashed images leave the results
  // and the review, monitoring is told to ignore their removal, the undo history is emptied and
  // the sidebar's counts reload; the paths that failed and are still listed become the review's
  // selection, for a retry, and errorMessage says so. A refused call to the library records every
  // path as failed with its text. True only when nothing failed; then a review emptied by the move
  // while more candidates existed loads its first page again.
  QCoro::Task<bool> moveDeleteCandidatesToTrash(std::vector<RecordRef> records);
  // The same for every record the review has loaded, as they are at the call.
  QCoro::Task<bool> moveLoadedTrashReviewCandidatesToTrash();
  // The review is open, the library is ready (prepared, not indexing, no move running) and its
  // list is not loading.
  bool canStartDeleteCandidateTrash() const;
  // Reloads the review when it is open and empty and had more candidates before the move.
  QCoro::Task<void> reloadDeleteCandidateTrashReviewIfEmptied(bool hadMoreRecords);

  // ---- Model suggestions ----

  // At most this many models are suggested for one text.
  static constexpr std::int64_t kModelSuggestionLimit = 100;

  // The model popover's text changed: loads in flight count for nothing now, and the list shows
  // empty and loading until the next load ends.
  void beginModelSuggestionLoading();
  // Loads the models matching `text` (passed to the service as typed) on the utility pool. Of
  // overlapping loads only the one started last applies its list or its error and ends the
  // loading flag; a superseded load runs out and is dropped. Returns once its outcome was applied
  // or dropped.
  QCoro::Task<void> loadModelSuggestions(std::string text);

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
  void lastIndexingResultRefreshIndexedCountChanged();
  void lastIndexingResultRefreshAtChanged();
  void tagSuggestionsChanged();
  void tagConceptSuggestionsChanged();
  void isTagSuggestionLoadingChanged();
  void modelSuggestionsChanged();
  void isModelSuggestionLoadingChanged();
  void characterSuggestionsChanged();
  void characterSuggestionExclusionCandidatesChanged();
  void characterSuggestionExclusionsChanged();
  void tagSuggestionGenerationChanged();
  void activeTagSuggestionSearchTextChanged();
  void modelSuggestionGenerationChanged();
  void characterSuggestionGenerationChanged();
  void registeredFolderSummariesChanged();
  void isLoadingRegisteredFoldersChanged();
  void hasLoadedRegisteredFolderSummariesChanged();
  void lastScanDiagnosticContextChanged();
  void lastScanSummaryChanged();
  void indexingProgressChanged();
  void isPreparingLibraryChanged();
  void isBackgroundSyncingChanged();
  void isIndexingChanged();
  void isLibrarySyncInProgressChanged();
  void backgroundLibrarySyncTaskChanged();
  void backgroundLibrarySyncMonitorRecoveryTaskChanged();
  void backgroundLibrarySyncDebounceSecondsChanged();
  void monitorRecoveryIntervalNanosChanged();
  void backgroundSyncPlannerChanged();
  void activeFolderRegistrationRootPathsChanged();
  void launchWorkflowTaskChanged();
  void thumbnailCacheMaintenanceTaskChanged();
  void didStartThumbnailCacheMaintenanceChanged();
  void lastTrashSummaryChanged();
  void isTrashingDeleteCandidatesChanged();
  void deleteCandidateTrashReviewLoadMoreTaskChanged();
  void serviceChanged();
  void needsLiveServicePreparationChanged();
  void errorMessageChanged();
  void libraryRecoveryNoticeChanged();

  // The projections' inputs changed; emitted at most once per event-loop turn, after the field
  // signals of that turn.
  void derivedValuesChanged();
  // A background result refresh ended or was cancelled; page loads and post-sync waits resume on it.
  void backgroundResultRefreshEnded();

 private:
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

  // ---- Search roots and tag suggestions: private ----

  // ---- Projections: private ----

  // The review is shown, the library is ready and nothing is loading: what canTrash asks before
  // it looks at any record.
  bool trashReviewAllowsTrashing() const;
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

  // ---- Indexing runner and indexing-time refresh: private ----

  // The store clock's monotonic reading in seconds, the unit of `lastIndexingResultRefreshAt`.
  double indexingRefreshClockSeconds() const;

  // Requested when the store is destroyed: a scan still running stops after the file in hand (its
  // job resumes at the next launch) instead of running on for a store that is gone.
  struct StopOnDestruction {
    std::stop_source source;
    StopOnDestruction() = default;
    StopOnDestruction(const StopOnDestruction&) = delete;
    StopOnDestruction& operator=(const StopOnDestruction&) = delete;
    ~StopOnDestruction() { source.request_stop(); }
  };
  StopOnDestruction indexingStop_;

  // ---- Folder registration: private ----

  // ---- Manual and single-folder sync: private ----

  // Raises the flags of a scan a person asked for (`isLibrarySyncInProgress`, `isIndexing`); the
  // guard lowers them when the workflow leaves by any path.
  ScopeExit<std::function<void()>> beginRequestedScan();
  struct RequestedScanOutcome {
    bool recorded = false;       // a summary came back and was recorded
    std::exception_ptr failure;  // the operation's error, not shown yet
  };
  // Runs a scan a person asked for on the user-initiated pool. With a summary: forgets the trashed
  // files under `roots` whose next change monitoring was to ignore (the scan saw them gone),
  // records the summary and the diagnostic context (`source`, `roots`, now), reloads and starts
  // thumbnail generation.
  QCoro::Task<RequestedScanOutcome> runRequestedScan(IndexingOperation operation,
                                                     std::vector<std::string> roots,
                                                     ImageLibraryScanDiagnosticSource source);
  // After a scan or a folder set change: the sidebar, the first page and the tag suggestions, in
  // that order.
  QCoro::Task<void> reloadAfterScan();

  // ---- Background library sync: private ----

  // What applying the monitoring decision achieved: `complete` when every registered folder is
  // monitored; `needsFullSync` when monitoring did not start for want of an event position.
  struct FolderMonitoringOutcome {
    bool complete = false;
    bool needsFullSync = false;
  };
  // What the monitoring decision reads from the service: the registered roots and, when the
  // decision starts a monitor, the event position of its roots. The flows that can wait read them
  // on the utility pool first: the position's read looks over the library's rows and waits for a
  // running write transaction, which the main thread must not.
  struct FolderMonitoringInputs {
    RegisteredFolderRoots roots;
    std::vector<std::string> checkpointRoots;
    std::optional<RegisteredFolderEventCheckpoint> checkpoint;
  };
  // Monitoring runs, its recovery loop does or a restart is under way: starting background sync
  // does nothing then.
  bool isBackgroundSyncRunning() const {
    return backgroundSyncPlanner_.isMonitoring ||
           static_cast<bool>(backgroundLibrarySyncMonitorRecoveryTask_) || monitoringRestart_.has_value();
  }
  // Nothing when a read failed: the decision then reads again and reports the error itself.
  QCoro::Task<std::optional<FolderMonitoringInputs>> readFolderMonitoringInputs();
  // With inputs read just before (nothing between them and this call may suspend), the service is
  // not asked again; inputs whose roots differ from the decision's are not used.
  FolderMonitoringOutcome updateFolderMonitoring(std::optional<FolderMonitoringInputs> inputs = std::nullopt);
  void startBackgroundLibrarySync(double debounceSeconds, std::uint64_t monitorRecoveryIntervalNanos,
                                  std::optional<FolderMonitoringInputs> inputs);
  // Changes the planner in place and signals once: every mutation of it is one observed write.
  void updateBackgroundSyncPlanner(const std::function<void(RegisteredFolderSyncPlanner&)>& change);
  // Stops the running monitor and forgets it: its handlers' late calls are ignored from now on.
  void stopFolderMonitor();
  void startMonitorRecovery(bool needsFullSync);
  QCoro::Task<void> runMonitorRecovery(bool needsFullSync, std::stop_token stop);
  // A background pass failed (a full disk, say): the recovery loop runs a full pass after its
  // interval, and again after each interval until one succeeds, leaving running monitoring and
  // the failure's message alone meanwhile.
  void retryBackgroundPassLater();
  // The monitor of `generation` ended on its own: nothing is monitored any more.
  void folderMonitoringEnded(std::uint64_t generation, const std::string& description);
  void enqueueFolderChangeBatch(const RegisteredFolderChangeBatch& batch);
  void scheduleBackgroundLibrarySync();
  QCoro::Task<void> debounceBackgroundLibrarySync(std::int64_t nanoseconds, std::stop_token stop);
  QCoro::Task<void> processPendingBackgroundLibrarySync();
  // One background pass: the changed paths, or every available folder when `requiresFullRescan` or
  // no path is given. True when it completed or only stored the event position.
  QCoro::Task<bool> runBackgroundLibrarySync(std::vector<std::string> changedURLs,
                                             std::optional<std::uint64_t> lastEventID,
                                             bool requiresFullRescan);

  // Advanced by every monitor start and stop; an end reported by an older monitor is stale.
  std::uint64_t folderMonitoringGeneration_ = 0;

  // Orders the monitor's stops and starts made on the pool by restarts with each other and with the
  // stops made here (image_library_store_background_sync.cpp).
  struct FolderMonitorControl;
  std::shared_ptr<FolderMonitorControl> folderMonitorControl_;
  // The restart under way: its stop source, and the end its new monitor reported before the
  // restart was applied.
  struct MonitoringRestart {
    std::stop_source stop;
    std::uint64_t generation = 0;
    std::optional<std::string> endedWith;
  };
  std::optional<MonitoringRestart> monitoringRestart_;
  const std::shared_ptr<FolderMonitorControl>& folderMonitorControl();
  // A restart's job that has not started its monitor yet starts none (the store is going).
  void abandonFolderMonitorRestarts();
  // The handlers of the monitor started as `generation`: they only post to this store's scope.
  FolderChangeHandler folderChangeHandler();
  FolderMonitoringFailureHandler folderMonitoringEndedHandler(std::uint64_t generation);

  // ---- Unregistering and reauthorising folders: private ----

  // A blocking service call that changes the registered folder set.
  using FolderSetChange = std::function<void()>;
  // Runs `change` on the user-initiated pool. A failure shows its text and gives false; success
  // reloads the sidebar and the first page, restarts monitoring and gives true.
  QCoro::Task<bool> applyFolderSetChange(FolderSetChange change);

  // ---- Launch workflow: private ----

  // The body of a launch run; `ended` is set as it leaves, so a run that never suspended is not
  // kept as running.
  QCoro::Task<void> runLaunchWorkflow(std::shared_ptr<bool> ended, std::stop_token stop);
  // The launch's first page, before anything that reads the whole library: the folder list without
  // its counts (installed unless summaries are loaded, with the loading flag raised until the
  // counts come), then the first screenful. True when that page was loaded; false with nothing
  // registered, while other library work runs, or on a failure (shown).
  QCoro::Task<bool> showLaunchFirstPage();
  QCoro::Task<void> sweepThumbnailCache(std::shared_ptr<ImageLibraryServicing> service, double cutoff,
                                        std::stop_token stop);

  // ---- Trash review loading: private ----

  // The load-more task's body: the page from `offset`, applied under `ticket`.
  QCoro::Task<bool> loadDeleteCandidateTrashReviewPage(std::int64_t offset,
                                                       TrashCandidateBrowser::LoadTicket ticket,
                                                       std::stop_token stop);
  // The review's page of `records`: the trashable ones, at most kTrashReviewPageSize; whether
  // more were kept.
  static bool keepTrashReviewPage(std::vector<RecordRef>& records);
  // Stops the review's load-more in flight and forgets it; its late page is dropped by the
  // browser's epoch.
  void cancelDeleteCandidateTrashReviewLoadMore();

  // ---- Trash moves: private ----

  // The outcome of a move of `paths` that the library answered with `summary`; the result of the
  // move. `fallbackSelectionIndex`: where the result selection goes when its records were trashed.
  QCoro::Task<bool> applyTrashSummary(ImageTrashSummary summary, int fallbackSelectionIndex,
                                      bool hadMoreRecords);
  // A move the library refused as a whole: every path failed with the error's text.
  void applyTrashFailure(const std::vector<std::string>& paths, const std::exception_ptr& failure);
  // The trashed images leave the results and the review; monitoring ignores their removal.
  void removeTrashedRecords(const std::vector<std::string>& trashedPaths, int fallbackSelectionIndex);
  // Returns once no library work (a background pass included) runs any more.
  QCoro::Task<void> waitForLibrarySyncToEnd();

  // ---- Model suggestions: private ----

  // ---- Composition ----

  // Connects the feature models' reactions to each other and to the store; called once, by the
  // constructor (image_library_store_features.cpp).
  void wireFeatureModels();

  // Advanced by every folder summaries load that starts; a load applies only while it is current.
  std::uint64_t registeredFolderSummariesGeneration_ = 0;

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

  // What the concepts model asks of the filters and the results, which the store still holds
  // (image_library_store_features.cpp).
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

  const LiveServiceFactory liveServiceFactory_;
  const std::shared_ptr<CharacterSuggestionExclusionPersisting> characterSuggestionExclusionStore_;
  // Owned by the store; children are not used, so destruction order is the members' order.
  std::unique_ptr<ResultSelection> selection_;
  std::unique_ptr<SearchResultWindow> resultWindow_;
  std::unique_ptr<TrashCandidateBrowser> trashReviewBrowser_;
  const std::unique_ptr<ImageLibraryPresentationState> presentation_;
  // What the review model asks of the results, the selection, the presentation, the filters and the
  // Trash, which the store still holds (image_library_store_review_dependents.cpp).
  class ReviewDependentsOfStore final : public ReviewDependents {
   public:
    explicit ReviewDependentsOfStore(ImageLibraryStore& store) : store_(store) {}
    SearchResultWindow& resultWindow() override;
    ResultSelection& selection() override;
    ImageLibraryPresentationState& presentation() override;
    void resultWindowRecordsDidChange(const SearchResultWindow::RecordsChange& change) override;
    bool matchesReviewFilters(bool favorite, bool deleteCandidate, bool isMissing) const override;
    bool onlyDeleteCandidates() const override;
    StoppedResultLoading cancelResultLoading() override;
    void restartResultLoading(const StoppedResultLoading& stopped) override;
    bool isLoadingNextPage() const override;
    bool isTrashingDeleteCandidates() const override;
    QCoro::Task<void> waitUntilNoPageLoadOrTrashMove(std::stop_token stop) override;
    RecordRef selectedRecord() const override;
    std::vector<RecordRef> selectedRecords() const override;
    bool canReviewFocusedRecord() const override;
    std::vector<int> slideshowVisibleRecordIndices() const override;
    std::optional<std::string> firstWindowPath(const PathSet& paths) const override;
    bool focusMoveNeedsNextPage(int offset) const override;
    void moveFocus(int offset, bool wrapping) override;
    QCoro::Task<bool> loadNextPage(std::stop_token stop) override;

   private:
    ImageLibraryStore& store_;
  };
  ReviewDependentsOfStore reviewDependents_{*this};
  const std::unique_ptr<ReviewModel> review_;

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
  int lastIndexingResultRefreshIndexedCount_{0};
  double lastIndexingResultRefreshAt_{kDistantPast};
  std::vector<TagSuggestion> tagSuggestions_;
  std::vector<TagConcept> tagConceptSuggestions_;
  bool isTagSuggestionLoading_{false};
  std::vector<ModelSuggestion> modelSuggestions_;
  bool isModelSuggestionLoading_{false};
  std::vector<CharacterSuggestion> characterSuggestions_;
  std::vector<CharacterSuggestion> characterSuggestionExclusionCandidates_;
  std::vector<std::string> characterSuggestionExclusions_;
  int tagSuggestionGeneration_{0};
  std::optional<std::string> activeTagSuggestionSearchText_;
  int modelSuggestionGeneration_{0};
  int characterSuggestionGeneration_{0};
  std::vector<RegisteredFolderSummary> registeredFolderSummaries_;
  bool isLoadingRegisteredFolders_{false};
  bool hasLoadedRegisteredFolderSummaries_{false};
  std::optional<ImageLibraryScanDiagnosticContext> lastScanDiagnosticContext_;
  std::optional<ImageLibraryScanSummary> lastScanSummary_;
  std::optional<ImageLibraryIndexingProgress> indexingProgress_;
  bool isPreparingLibrary_{false};
  bool isBackgroundSyncing_{false};
  bool isIndexing_{false};
  bool isLibrarySyncInProgress_{false};
  StoreTask<void> backgroundLibrarySyncTask_;
  StoreTask<void> backgroundLibrarySyncMonitorRecoveryTask_;
  double backgroundLibrarySyncDebounceSeconds_{2.0};
  std::uint64_t monitorRecoveryIntervalNanos_{30'000'000'000};
  RegisteredFolderSyncPlanner backgroundSyncPlanner_;
  // A pass that failed is still owed: the recovery loop runs it before it ends.
  bool backgroundPassOwed_{false};
  std::vector<std::string> activeFolderRegistrationRootPaths_;
  StoreTask<void> launchWorkflowTask_;
  // When the running launch began: its trace gives each step's start from here.
  std::chrono::steady_clock::time_point launchBegan_;
  StoreTask<void> thumbnailCacheMaintenanceTask_;
  bool didStartThumbnailCacheMaintenance_{false};
  std::optional<ImageTrashSummary> lastTrashSummary_;
  bool isTrashingDeleteCandidates_{false};
  // The records the last move failed on, as they were handed to it: a retry is checked against
  // the files as the person first reviewed them, never as a reload of the review refreshed them.
  std::unordered_map<std::string, RecordRef> firstReviewedTrashRecords_;
  StoreTask<bool> deleteCandidateTrashReviewLoadMoreTask_;
  bool needsLiveServicePreparation_{false};
  std::optional<LibraryRecoveryNotice> libraryRecoveryNotice_;
};

}  // namespace lorvex
