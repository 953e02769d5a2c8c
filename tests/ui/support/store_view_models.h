// The models a view takes, read off a whole store as the application's composition hands them over:
// for the tests, benchmarks and the screenshot tool that build a view over a store of their own.
#pragma once

#include "store/image_library_store.h"
#include "ui/common/image_context_menu_model.h"
#include "ui/detail/image_detail_panel.h"
#include "ui/results/results_grid_list_models.h"
#include "ui/review/delete_candidate_trash_review_sheet.h"
#include "ui/sidebar/filter_sidebar.h"
#include "ui/slideshow/slideshow_models.h"

namespace lorvex::ui::testing {

inline ImageContextMenuModels imageContextMenuModels(ImageLibraryStore& store) {
  return {store.results(), store.review(), store.concepts(), store.context()};
}

inline ImageDetailPanelModels imageDetailPanelModels(ImageLibraryStore& store) {
  return {store.results(), store.review(),      store.concepts(), store.filters(),
          store.library(), store.projections(), store.context()};
}

inline DeleteCandidateTrashReviewModels deleteCandidateTrashReviewModels(ImageLibraryStore& store) {
  return {store.trash(), store.results(), store.presentation(), store.projections()};
}

inline FilterSidebarModels filterSidebarModels(ImageLibraryStore& store) {
  return {store.library(),     store.results(),  store.filters(),     store.presentation(), store.trash(),
          store.suggestions(), store.concepts(), store.projections(), store.context()};
}

inline ResultsGridListModels resultsGridListModels(ImageLibraryStore& store) {
  return {store.results(),      store.library(),     store.review(), store.concepts(),
          store.presentation(), store.projections(), store.context()};
}

inline SlideshowModels slideshowModels(ImageLibraryStore& store) {
  return {store.results(), store.review(), store.presentation(), store.projections(), store.context()};
}

}  // namespace lorvex::ui::testing
