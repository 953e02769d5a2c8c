// ImageLibraryStore: the one observable object every view and command reads and changes. It holds
// the whole visible state of the library (filters, the loaded result window, the selection,
// suggestions, registered folders, indexing and sync progress, review feedback and undo) and the
// handles of the flows that fill it. It does no file or database work itself: everything goes
// through `service`.
//
// Every tracked field has a getter, a setter and a change signal. A setter stores an equal value
// silently and signals a different one once, after storing it, so an observer reads the new value.
// Three fields signal on every set, because their values are not worth comparing: `service`,
// `backgroundSyncPlanner` and `deleteCandidateUndoStack`. Task handles compare by identity.
// `canUndoDeleteCandidateAction` follows its two inputs: it is recomputed after every set of
// `isTrashingDeleteCandidates` or `deleteCandidateUndoStack`, and signals only when it flips.
//
// The result window, the selection and the trash review browser live as long as the store and are
// never replaced; they signal on their own. The store keeps the selection in step with the
// window: whenever the window's records change, the selection is reconciled with them, and when
// nothing is left the slideshow closes.
//
// Thread safety: the creating thread only (the main thread); flows return to it before they
// touch a field.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include <QObject>
#include <QThreadPool>
#include <qcoro/qcorotask.h>

#include "model/image_aspect.h"
#include "model/image_library_scan_summary.h"
#include "model/image_search_query.h"
#include "model/image_trash_summary.h"
#include "model/indexing_job.h"
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
#include "store/async/store_clock.h"
#include "store/async/store_task.h"
#include "store/async/store_thread_pools.h"
#include "store/delete_candidate_review.h"
#include "store/image_library_presentation_state.h"
#include "store/image_library_ui_preferences.h"
#include "store/record_ref.h"
#include "store/result_selection.h"
#include "store/search_result_window.h"
#include "store/trash_candidate_browser.h"

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
  enum class BackgroundResultRefreshMode { fullWindow, leadingPage };

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

  // Set once, never changed.
  SearchResultWindow& resultWindow() { return *resultWindow_; }
  const SearchResultWindow& resultWindow() const { return *resultWindow_; }
  ResultSelection& selection() { return *selection_; }
  const ResultSelection& selection() const { return *selection_; }
  TrashCandidateBrowser& trashReviewBrowser() { return *trashReviewBrowser_; }
  const TrashCandidateBrowser& trashReviewBrowser() const { return *trashReviewBrowser_; }
  const LiveServiceFactory& liveServiceFactory() const { return liveServiceFactory_; }
  const std::shared_ptr<FilterTagPersisting>& filterTagStore() const { return filterTagStore_; }
  const std::shared_ptr<CharacterSuggestionExclusionPersisting>& characterSuggestionExclusionStore() const {
    return characterSuggestionExclusionStore_;
  }
  const ProductFeatureAvailability& featureAvailability() const { return featureAvailability_; }
  std::uint64_t feedbackDismissDelayNanos() const { return feedbackDismissDelayNanos_; }
  StoreClock& clock() const { return *clock_; }
  QThreadPool& userInitiatedPool() const { return *userInitiatedPool_; }
  QThreadPool& utilityPool() const { return *utilityPool_; }
  // Owns the store's flows; they end when the store goes.
  CoroutineScope& scope() { return scope_; }

  // The presentation flags. Replacing them signals only for another object; the store owns it.
  ImageLibraryPresentationState& presentation() const { return *presentation_; }
  void setPresentation(std::unique_ptr<ImageLibraryPresentationState> presentation);

  bool onlyFavorites() const { return onlyFavorites_; }
  bool onlyDeleteCandidates() const { return onlyDeleteCandidates_; }
  ImageSearchSort searchSort() const { return searchSort_; }
  const std::vector<std::string>& savedFilterTags() const { return savedFilterTags_; }
  const std::vector<std::string>& selectedFilterTags() const { return selectedFilterTags_; }
  const std::vector<TagConcept>& selectedTagConcepts() const { return selectedTagConcepts_; }
  const std::vector<ImageAspectFilter>& selectedAspectFilters() const { return selectedAspectFilters_; }
  const std::optional<std::string>& selectedModelSource() const { return selectedModelSource_; }
  const std::vector<std::string>& characterSearchHistory() const { return characterSearchHistory_; }
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
  BackgroundResultRefreshMode activeBackgroundResultRefreshMode() const { return activeBackgroundResultRefreshMode_; }
  bool needsFullWindowResultRefresh() const { return needsFullWindowResultRefresh_; }
  const StoreTask<void>& backgroundThumbnailGenerationTask() const { return backgroundThumbnailGenerationTask_; }
  int lastIndexingResultRefreshIndexedCount() const { return lastIndexingResultRefreshIndexedCount_; }
  double lastIndexingResultRefreshAt() const { return lastIndexingResultRefreshAt_; }
  const std::vector<TagSuggestion>& tagSuggestions() const { return tagSuggestions_; }
  const std::vector<TagConcept>& tagConceptSuggestions() const { return tagConceptSuggestions_; }
  const std::vector<TagConcept>& tagConcepts() const { return tagConcepts_; }
  const std::map<std::int64_t, std::vector<TagConceptAlias>>& tagConceptAliasesByID() const { return tagConceptAliasesByID_; }
  const std::unordered_set<TagConceptManualAssignment>& manualTagConceptAssignments() const { return manualTagConceptAssignments_; }
  bool isTagSuggestionLoading() const { return isTagSuggestionLoading_; }
  bool isTagConceptMutationInProgress() const { return isTagConceptMutationInProgress_; }
  const std::vector<ModelSuggestion>& modelSuggestions() const { return modelSuggestions_; }
  bool isModelSuggestionLoading() const { return isModelSuggestionLoading_; }
  const std::vector<CharacterSuggestion>& characterSuggestions() const { return characterSuggestions_; }
  const std::vector<CharacterSuggestion>& characterSuggestionExclusionCandidates() const { return characterSuggestionExclusionCandidates_; }
  const std::vector<std::string>& characterSuggestionExclusions() const { return characterSuggestionExclusions_; }
  int tagSuggestionGeneration() const { return tagSuggestionGeneration_; }
  int tagConceptGeneration() const { return tagConceptGeneration_; }
  const std::map<std::int64_t, int>& tagConceptAliasGenerations() const { return tagConceptAliasGenerations_; }
  int manualTagConceptAssignmentGeneration() const { return manualTagConceptAssignmentGeneration_; }
  const std::optional<std::string>& activeTagSuggestionSearchText() const { return activeTagSuggestionSearchText_; }
  const PathSet& manualTagConceptAssignmentScopePaths() const { return manualTagConceptAssignmentScopePaths_; }
  int modelSuggestionGeneration() const { return modelSuggestionGeneration_; }
  int characterSuggestionGeneration() const { return characterSuggestionGeneration_; }
  const std::vector<RegisteredFolderSummary>& registeredFolderSummaries() const { return registeredFolderSummaries_; }
  bool isLoadingRegisteredFolders() const { return isLoadingRegisteredFolders_; }
  bool hasLoadedRegisteredFolderSummaries() const { return hasLoadedRegisteredFolderSummaries_; }
  const std::optional<ImageLibraryScanDiagnosticContext>& lastScanDiagnosticContext() const { return lastScanDiagnosticContext_; }
  const std::optional<ImageLibraryScanSummary>& lastScanSummary() const { return lastScanSummary_; }
  const std::optional<ImageLibraryIndexingProgress>& indexingProgress() const { return indexingProgress_; }
  bool isPreparingLibrary() const { return isPreparingLibrary_; }
  bool isBackgroundSyncing() const { return isBackgroundSyncing_; }
  bool isIndexing() const { return isIndexing_; }
  bool isLibrarySyncInProgress() const { return isLibrarySyncInProgress_; }
  const StoreTask<void>& backgroundLibrarySyncTask() const { return backgroundLibrarySyncTask_; }
  const StoreTask<void>& backgroundLibrarySyncMonitorRecoveryTask() const { return backgroundLibrarySyncMonitorRecoveryTask_; }
  double backgroundLibrarySyncDebounceSeconds() const { return backgroundLibrarySyncDebounceSeconds_; }
  std::uint64_t monitorRecoveryIntervalNanos() const { return monitorRecoveryIntervalNanos_; }
  const RegisteredFolderSyncPlanner& backgroundSyncPlanner() const { return backgroundSyncPlanner_; }
  const std::vector<std::string>& activeFolderRegistrationRootPaths() const { return activeFolderRegistrationRootPaths_; }
  const StoreTask<void>& launchWorkflowTask() const { return launchWorkflowTask_; }
  const StoreTask<void>& thumbnailCacheMaintenanceTask() const { return thumbnailCacheMaintenanceTask_; }
  bool didStartThumbnailCacheMaintenance() const { return didStartThumbnailCacheMaintenance_; }
  const std::optional<ImageTrashSummary>& lastTrashSummary() const { return lastTrashSummary_; }
  bool isTrashingDeleteCandidates() const { return isTrashingDeleteCandidates_; }
  bool canUndoDeleteCandidateAction() const { return canUndoDeleteCandidateAction_; }
  const std::optional<DeleteCandidateFeedback>& deleteCandidateFeedback() const { return deleteCandidateFeedback_; }
  const StoreTask<bool>& deleteCandidateTrashReviewLoadMoreTask() const { return deleteCandidateTrashReviewLoadMoreTask_; }
  const StoreTask<void>& deleteCandidateFeedbackDismissTask() const { return deleteCandidateFeedbackDismissTask_; }
  int deleteCandidateFeedbackDismissGeneration() const { return deleteCandidateFeedbackDismissGeneration_; }
  const std::vector<DeleteCandidateUndoAction>& deleteCandidateUndoStack() const { return deleteCandidateUndoStack_; }
  const std::shared_ptr<ImageLibraryServicing>& service() const { return service_; }
  bool needsLiveServicePreparation() const { return needsLiveServicePreparation_; }
  const std::optional<std::string>& errorMessage() const { return errorMessage_; }

  void setOnlyFavorites(bool value);
  void setOnlyDeleteCandidates(bool value);
  void setSearchSort(ImageSearchSort value);
  void setSavedFilterTags(std::vector<std::string> value);
  void setSelectedFilterTags(std::vector<std::string> value);
  void setSelectedTagConcepts(std::vector<TagConcept> value);
  void setSelectedAspectFilters(std::vector<ImageAspectFilter> value);
  void setSelectedModelSource(std::optional<std::string> value);
  void setCharacterSearchHistory(std::vector<std::string> value);
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
  void setTagConcepts(std::vector<TagConcept> value);
  void setTagConceptAliasesByID(std::map<std::int64_t, std::vector<TagConceptAlias>> value);
  void setManualTagConceptAssignments(std::unordered_set<TagConceptManualAssignment> value);
  void setIsTagSuggestionLoading(bool value);
  void setIsTagConceptMutationInProgress(bool value);
  void setModelSuggestions(std::vector<ModelSuggestion> value);
  void setIsModelSuggestionLoading(bool value);
  void setCharacterSuggestions(std::vector<CharacterSuggestion> value);
  void setCharacterSuggestionExclusionCandidates(std::vector<CharacterSuggestion> value);
  void setCharacterSuggestionExclusions(std::vector<std::string> value);
  void setTagSuggestionGeneration(int value);
  void setTagConceptGeneration(int value);
  void setTagConceptAliasGenerations(std::map<std::int64_t, int> value);
  void setManualTagConceptAssignmentGeneration(int value);
  void setActiveTagSuggestionSearchText(std::optional<std::string> value);
  void setManualTagConceptAssignmentScopePaths(PathSet value);
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
  void setCanUndoDeleteCandidateAction(bool value);
  void setDeleteCandidateFeedback(std::optional<DeleteCandidateFeedback> value);
  void setDeleteCandidateTrashReviewLoadMoreTask(StoreTask<bool> value);
  void setDeleteCandidateFeedbackDismissTask(StoreTask<void> value);
  void setDeleteCandidateFeedbackDismissGeneration(int value);
  void setDeleteCandidateUndoStack(std::vector<DeleteCandidateUndoAction> value);
  void setService(std::shared_ptr<ImageLibraryServicing> value);
  void setNeedsLiveServicePreparation(bool value);
  void setErrorMessage(std::optional<std::string> value);

  // The undo stack's size as its limit counts it (DeleteCandidateUndoAction::weight summed).
  std::size_t deleteCandidateUndoStackEntryCount() const;

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

  // ---- Paging ----

  // ---- Background result refresh ----

  // ---- Thumbnail requests ----

  // ---- Search roots and tag suggestions ----

  // ---- Projections ----

  // ---- Selection and navigation ----

  // ---- Indexing runner and indexing-time refresh ----

  // ---- Folder registration ----

  // ---- Manual and single-folder sync ----

  // ---- Background library sync ----

  // ---- Unregistering and reauthorising folders ----

  // ---- Launch workflow ----

 Q_SIGNALS:
  void presentationChanged();
  void onlyFavoritesChanged();
  void onlyDeleteCandidatesChanged();
  void searchSortChanged();
  void savedFilterTagsChanged();
  void selectedFilterTagsChanged();
  void selectedTagConceptsChanged();
  void selectedAspectFiltersChanged();
  void selectedModelSourceChanged();
  void characterSearchHistoryChanged();
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
  void tagConceptsChanged();
  void tagConceptAliasesByIDChanged();
  void manualTagConceptAssignmentsChanged();
  void isTagSuggestionLoadingChanged();
  void isTagConceptMutationInProgressChanged();
  void modelSuggestionsChanged();
  void isModelSuggestionLoadingChanged();
  void characterSuggestionsChanged();
  void characterSuggestionExclusionCandidatesChanged();
  void characterSuggestionExclusionsChanged();
  void tagSuggestionGenerationChanged();
  void tagConceptGenerationChanged();
  void tagConceptAliasGenerationsChanged();
  void manualTagConceptAssignmentGenerationChanged();
  void activeTagSuggestionSearchTextChanged();
  void manualTagConceptAssignmentScopePathsChanged();
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
  void canUndoDeleteCandidateActionChanged();
  void deleteCandidateFeedbackChanged();
  void deleteCandidateTrashReviewLoadMoreTaskChanged();
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

  // ---- Paging: private ----

  // ---- Background result refresh: private ----

  // ---- Thumbnail requests: private ----

  // ---- Search roots and tag suggestions: private ----

  // ---- Projections: private ----

  // ---- Selection and navigation: private ----

  // ---- Indexing runner and indexing-time refresh: private ----

  // ---- Folder registration: private ----

  // ---- Manual and single-folder sync: private ----

  // ---- Background library sync: private ----

  // ---- Unregistering and reauthorising folders: private ----

  // ---- Launch workflow: private ----


  // Advanced by every folder summaries load that starts; a load applies only while it is current.
  std::uint64_t registeredFolderSummariesGeneration_ = 0;

  CreatingThread creatingThread_;
  StoreClock* clock_;
  QThreadPool* userInitiatedPool_;
  QThreadPool* utilityPool_;
  const ProductFeatureAvailability featureAvailability_;
  const LiveServiceFactory liveServiceFactory_;
  const std::shared_ptr<FilterTagPersisting> filterTagStore_;
  const std::shared_ptr<CharacterSuggestionExclusionPersisting> characterSuggestionExclusionStore_;
  const std::uint64_t feedbackDismissDelayNanos_;
  // Owned by the store; children are not used, so destruction order is the members' order.
  std::unique_ptr<ResultSelection> selection_;
  std::unique_ptr<SearchResultWindow> resultWindow_;
  std::unique_ptr<TrashCandidateBrowser> trashReviewBrowser_;
  std::unique_ptr<ImageLibraryPresentationState> presentation_;

  bool onlyFavorites_{false};
  bool onlyDeleteCandidates_{false};
  ImageSearchSort searchSort_{ImageSearchSort::modificationDateDescending};
  std::vector<std::string> savedFilterTags_;
  std::vector<std::string> selectedFilterTags_;
  std::vector<TagConcept> selectedTagConcepts_;
  std::vector<ImageAspectFilter> selectedAspectFilters_;
  std::optional<std::string> selectedModelSource_;
  std::vector<std::string> characterSearchHistory_;
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
  std::vector<TagConcept> tagConcepts_;
  std::map<std::int64_t, std::vector<TagConceptAlias>> tagConceptAliasesByID_;
  std::unordered_set<TagConceptManualAssignment> manualTagConceptAssignments_;
  bool isTagSuggestionLoading_{false};
  bool isTagConceptMutationInProgress_{false};
  std::vector<ModelSuggestion> modelSuggestions_;
  bool isModelSuggestionLoading_{false};
  std::vector<CharacterSuggestion> characterSuggestions_;
  std::vector<CharacterSuggestion> characterSuggestionExclusionCandidates_;
  std::vector<std::string> characterSuggestionExclusions_;
  int tagSuggestionGeneration_{0};
  int tagConceptGeneration_{0};
  std::map<std::int64_t, int> tagConceptAliasGenerations_;
  int manualTagConceptAssignmentGeneration_{0};
  std::optional<std::string> activeTagSuggestionSearchText_;
  PathSet manualTagConceptAssignmentScopePaths_;
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
  std::vector<std::string> activeFolderRegistrationRootPaths_;
  StoreTask<void> launchWorkflowTask_;
  StoreTask<void> thumbnailCacheMaintenanceTask_;
  bool didStartThumbnailCacheMaintenance_{false};
  std::optional<ImageTrashSummary> lastTrashSummary_;
  bool isTrashingDeleteCandidates_{false};
  bool canUndoDeleteCandidateAction_{false};
  std::optional<DeleteCandidateFeedback> deleteCandidateFeedback_;
  StoreTask<bool> deleteCandidateTrashReviewLoadMoreTask_;
  StoreTask<void> deleteCandidateFeedbackDismissTask_;
  int deleteCandidateFeedbackDismissGeneration_{0};
  std::vector<DeleteCandidateUndoAction> deleteCandidateUndoStack_;
  std::shared_ptr<ImageLibraryServicing> service_;
  bool needsLiveServicePreparation_{false};
  std::optional<std::string> errorMessage_;

  // Last: its flows are cancelled and freed before any field they use goes.
  CoroutineScope scope_;
};

}  // namespace lorvex
