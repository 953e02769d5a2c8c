// What the results area shows over the grid: while a first page is searched, the searching
// indicator (over loaded results too); otherwise, with no records, the empty-results overlay that
// says why the grid is empty and offers the one action that helps (choose a first folder, allow
// access to a folder again, reset the filters). Pure values built from a snapshot of the models;
// widgets only show them and call back.
//
// Thread safety: make and chooseResultsOverlay over plain values are pure; the functions over
// models read them on their thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/indexing_job.h"
#include "model/registered_folder.h"
#include "store/feature_models.h"
#include "ui/common/app_localization.h"
#include "ui/results/active_filter_summary_presentation.h"

namespace lorvex::ui {

struct EmptyResultsPresentationContext {
  std::vector<RegisteredFolderSummary> registeredFolderSummaries;
  bool isLoadingRegisteredFolders = false;
  bool isLibrarySyncOperationInProgress = false;
  std::optional<ImageLibraryIndexingProgress> indexingProgress;
  bool isDeleteCandidateReviewPresented = false;
  // Built without tag concepts: a selected concept alone offers no reset here.
  ActiveFilterSummaryPresentation activeFilterPresentation;

  // The models' state (the folder list counts as loading until it is known:
  // LibraryModel::isCheckingRegisteredFolders); the filter presentation over `localizer` with an
  // empty concept list.
  static EmptyResultsPresentationContext from(const LibraryModel& library, const FiltersModel& filters,
                                              const ImageLibraryPresentationState& presentation,
                                              const AppLocalization& localizer);

  friend bool operator==(const EmptyResultsPresentationContext&,
                         const EmptyResultsPresentationContext&) = default;
};

struct EmptyResultsPrimaryAction {
  struct AllowAccess {
    std::string path;  // the registered folder to authorise again
    friend bool operator==(const AllowAccess&, const AllowAccess&) = default;
  };
  struct ChooseFolder {
    friend bool operator==(const ChooseFolder&, const ChooseFolder&) = default;
  };
  struct ResetFilters {
    friend bool operator==(const ResetFilters&, const ResetFilters&) = default;
  };

  std::variant<AllowAccess, ChooseFolder, ResetFilters> value;

  friend bool operator==(const EmptyResultsPrimaryAction&, const EmptyResultsPrimaryAction&) = default;
};

struct EmptyResultsPresentation {
  std::string title;
  std::string systemImage;  // symbol name shown with the title
  bool showsProgress = false;
  std::string description;
  std::optional<std::string> secondaryDescription;
  std::optional<std::string> primaryActionTitle;
  std::optional<EmptyResultsPrimaryAction> primaryAction;

  // The first state that holds: folders being checked; first run; indexing with no folder yet;
  // a folder that needs access again (the first denied or invalid one, in list order); the open
  // delete-candidate review; indexing with progress; no results (with a reset offer while a
  // filter is active).
  static EmptyResultsPresentation make(const EmptyResultsPresentationContext& context,
                                       const AppLocalization& localizer);

  // The button is shown only with both a title and an action.
  bool showsPrimaryAction() const { return primaryActionTitle.has_value() && primaryAction.has_value(); }

  friend bool operator==(const EmptyResultsPresentation&, const EmptyResultsPresentation&) = default;
};

// The secondary text of the indexing states: nothing known yet, files being discovered (their
// total), or files being indexed (done of total).
std::string indexingProgressText(const std::optional<ImageLibraryIndexingProgress>& progress,
                                 const AppLocalization& localizer);

enum class ResultsOverlay { none, searching, emptyResults };

// A running first-page search wins whether or not records are loaded; an empty window otherwise.
ResultsOverlay chooseResultsOverlay(bool isLoading, bool hasRecords);
ResultsOverlay chooseResultsOverlay(const ResultsModel& results);

// The searching indicator's text.
std::string searchingIndicatorText(const AppLocalization& localizer);

}  // namespace lorvex::ui
