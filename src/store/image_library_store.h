// ImageLibraryStore: the one observable object every view and command reads and changes. It holds
// the visible state of the library its models do not (suggestions, the Trash review) and the
// handles of the flows that fill it. It does no file or database work itself: everything goes
// through `service`.
//
// It is also the composition of the feature models that have moved out of it: it owns the context
// they share (context()) and each model (concepts(), filters(), library(), results(), review()), and
// wires their reactions to each other and to the state it still holds (image_library_store_features.cpp). It
// forwards nothing of a model: callers use the model.
//
// Every tracked field has a getter, a setter and a change signal. A setter stores an equal value
// silently and signals a different one once, after storing it, so an observer reads the new value.
// `service` signals on every set, because its value is not worth comparing. Task handles compare by
// identity.
//
// The trash review browser lives as long as the store and is never replaced; it signals on its own.
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
#include "store/concepts/tag_concepts_model.h"
#include "store/context/store_context.h"
#include "store/delete_candidate_review.h"
#include "store/delete_candidate_trash_disabled_reason.h"
#include "store/filters/filters_model.h"
#include "store/library/library_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/presentation/image_library_ui_preferences.h"
#include "store/record_ref.h"
#include "store/results/results_model.h"
#include "store/review/review_model.h"
#include "store/review_update.h"
#include "store/trash/trash_candidate_browser.h"

namespace lorvex {

// The clock of the running application, for stores built without a test clock.
StoreClock& systemStoreClock();

class ImageLibraryStore : public QObject {
  Q_OBJECT

 public:
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
  ResultsModel& results() const { return *results_; }
  ReviewModel& review() const { return *review_; }

  // Set once, never changed.
  TrashCandidateBrowser& trashReviewBrowser() { return *trashReviewBrowser_; }
  const TrashCandidateBrowser& trashReviewBrowser() const { return *trashReviewBrowser_; }
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
  const std::optional<ImageTrashSummary>& lastTrashSummary() const { return lastTrashSummary_; }
  bool isTrashingDeleteCandidates() const { return isTrashingDeleteCandidates_; }
  const StoreTask<bool>& deleteCandidateTrashReviewLoadMoreTask() const {
    return deleteCandidateTrashReviewLoadMoreTask_;
  }
  const std::shared_ptr<ImageLibraryServicing>& service() const { return context_->service(); }
  bool needsLiveServicePreparation() const { return context_->needsLiveServicePreparation(); }
  const std::optional<std::string>& errorMessage() const { return context_->errorMessage(); }
  const std::optional<ErrorNotice>& errorNotice() const { return context_->errorNotice(); }

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
  void setLastTrashSummary(std::optional<ImageTrashSummary> value);
  void setIsTrashingDeleteCandidates(bool value);
  void setDeleteCandidateTrashReviewLoadMoreTask(StoreTask<bool> value);
  // The context's service, preparation flag and error line (StoreContext), set through the store
  // until the flows that set them have moved into models; serviceChanged,
  // needsLiveServicePreparationChanged and errorMessageChanged follow the context's signals.
  void setService(std::shared_ptr<ImageLibraryServicing> value);
  void setErrorMessage(std::optional<std::string> value);
  void setErrorMessage(std::optional<std::string> value, std::optional<ErrorNotice> notice);
  void setErrorMessage(const std::exception_ptr& failure);
  void setNeedsLiveServicePreparation(bool value);

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

  // Review marks may be changed on the focused record: one is loaded, no page is loading, nothing
  // is being moved to the Trash and neither filter popover is open.
  bool canReviewFocusedRecord() const;
  // As canReviewFocusedRecord, and the slideshow (when open) shows a single image.
  bool canReviewFocusedRecordInSlideshow() const;
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
  void lastTrashSummaryChanged();
  void isTrashingDeleteCandidatesChanged();
  void deleteCandidateTrashReviewLoadMoreTaskChanged();
  void serviceChanged();
  void needsLiveServicePreparationChanged();
  void errorMessageChanged();

  // The projections' inputs changed; emitted at most once per event-loop turn, after the field
  // signals of that turn.
  void derivedValuesChanged();

 private:
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

  const std::shared_ptr<CharacterSuggestionExclusionPersisting> characterSuggestionExclusionStore_;
  // Owned by the store; children are not used, so destruction order is the members' order.
  std::unique_ptr<TrashCandidateBrowser> trashReviewBrowser_;
  const std::unique_ptr<ImageLibraryPresentationState> presentation_;
  // What the results model asks of the library state the store still holds
  // (image_library_store_results_dependents.cpp).
  class ResultsDependentsOfStore final : public ResultsDependents {
   public:
    explicit ResultsDependentsOfStore(ImageLibraryStore& store) : store_(store) {}
    std::vector<std::string> searchRootPaths() const override;

   private:
    ImageLibraryStore& store_;
  };
  ResultsDependentsOfStore resultsDependents_{*this};
  // After the filters and the presentation it reads, so it goes before them.
  const std::unique_ptr<ResultsModel> results_;
  // The results model's window and selection under the names the store's own flows use, until
  // those flows have moved into feature models.
  SearchResultWindow* const resultWindow_;
  ResultSelection* const selection_;
  // What the review model asks of the results, the selection, the presentation, the filters and the
  // Trash (image_library_store_review_dependents.cpp).
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
  // After the results it reads, so it goes before them.
  const std::unique_ptr<ReviewModel> review_;

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
  std::optional<ImageTrashSummary> lastTrashSummary_;
  bool isTrashingDeleteCandidates_{false};
  // The records the last move failed on, as they were handed to it: a retry is checked against
  // the files as the person first reviewed them, never as a reload of the review refreshed them.
  std::unordered_map<std::string, RecordRef> firstReviewedTrashRecords_;
  StoreTask<bool> deleteCandidateTrashReviewLoadMoreTask_;
};

}  // namespace lorvex
