// ImageLibraryStore: the composition of the library's feature models, which every view and
// command is handed its models from. It owns the context they share (context(): the service, the
// scope its flows run in, the clock, the pools and the error line) and each model (concepts(),
// filters(), library(), results(), review(), trash(), suggestions(), presentation(), and the
// projections that combine several of them), and wires their reactions to each other in one place
// (image_library_store_features.cpp). It forwards nothing of a model: callers use the model. Of the
// library's state it holds only the search roots, which read the library and the results. It does
// no file or database work itself: everything goes through the context's service.
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
#include "store/projections/store_projections.h"
#include "store/record_ref.h"
#include "store/results/results_model.h"
#include "store/review/review_model.h"
#include "store/review_update.h"
#include "store/suggestions/suggestions_model.h"
#include "store/trash/trash_model.h"

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
  TrashModel& trash() const { return *trash_; }
  SuggestionsModel& suggestions() const { return *suggestions_; }

  // The presentation flags and UI preferences. Set once, never changed.
  ImageLibraryPresentationState& presentation() const { return *presentation_; }
  // What the views read that combines several models, and the one signal to read it again.
  StoreProjections& projections() const { return *projections_; }

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

 private:
  // ---- Composition ----

  // Connects the feature models' reactions to each other and to the store; called once, by the
  // constructor (image_library_store_features.cpp).
  void wireFeatureModels();

  CreatingThread creatingThread_;
  // Shared by every feature model, and outlives them; the destructor ends its flows first.
  const std::unique_ptr<StoreContext> context_;

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
    void followRelocatedRecords(const std::vector<RecordRelocation>& relocations) override;
    bool refreshResultsDuringIndexing() override;
    bool isTrashingDeleteCandidates() const override;

   private:
    ImageLibraryStore& store_;
  };
  LibraryDependentsOfStore libraryDependents_{*this};
  const std::unique_ptr<LibraryModel> library_;

  const std::unique_ptr<SuggestionsModel> suggestions_;
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
  // What the review model asks of the Trash and of the store's projections
  // (image_library_store_review_dependents.cpp).
  class ReviewDependentsOfStore final : public ReviewDependents {
   public:
    explicit ReviewDependentsOfStore(ImageLibraryStore& store) : store_(store) {}
    bool isTrashingDeleteCandidates() const override;
    QCoro::Task<void> waitUntilNoPageLoadOrTrashMove(std::stop_token stop) override;
    bool canReviewFocusedRecord() const override;

   private:
    ImageLibraryStore& store_;
  };
  ReviewDependentsOfStore reviewDependents_{*this};
  // After the results it reads, so it goes before them.
  const std::unique_ptr<ReviewModel> review_;
  // What the trash model asks of the library, the results, folder monitoring, the undo history and
  // the sidebar (image_library_store_trash_dependents.cpp).
  class TrashDependentsOfStore final : public TrashDependents {
   public:
    explicit TrashDependentsOfStore(ImageLibraryStore& store) : store_(store) {}
    TrashReviewQueryScope trashReviewQueryScope() const override;
    QCoro::Task<TrashDependents::FetchedRecords> fetchRecords(ImageSearchQuery query,
                                                              std::stop_token stop) override;
    bool isLibraryUnprepared() const override;
    bool isLibraryIndexing() const override;
    bool isLibrarySyncInProgress() const override;
    QCoro::Task<void> waitForLibrarySyncToEnd(std::stop_token stop) override;
    std::optional<int> resultIndex(const std::string& path) const override;
    void removeTrashedRecordsFromResults(const PathSet& trashed, int fallbackSelectionIndex) override;
    void ignoreTrashedPathsInFolderMonitoring(const std::vector<std::string>& trashedPaths) override;
    void rereadChangedFiles(const std::vector<std::string>& paths) override;
    void clearDeleteCandidateUndoStack() override;
    void dismissDeleteCandidateFeedback() override;
    QCoro::Task<void> reloadFolderSummaries() override;

   private:
    ImageLibraryStore& store_;
  };
  TrashDependentsOfStore trashDependents_{*this};
  const std::unique_ptr<TrashModel> trash_;
  const std::unique_ptr<StoreProjections> projections_;
};

}  // namespace lorvex
