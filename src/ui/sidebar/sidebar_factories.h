// The pieces of the sidebar that other view areas build: the delete-candidate Trash toolbar pinned
// under the sidebar, the Trash review sheet, and the tag-concept management page inside the tag
// popover. The window's creator passes these factories in; tests pass simple widgets.
//
// Thread safety: the GUI thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "store/feature_models.h"

class QDialog;
class QWidget;

namespace lorvex::ui {

struct ViewResourceDisplay;

struct FilterSidebarFactories {
  using ConceptManagementFactory = std::function<QWidget*(
      TagConceptsModel& concepts, std::vector<std::string> imagePaths, QWidget* parent)>;

  // The toolbar under the scrolling content, ready while the context and the library are;
  // `presentReview` opens the Trash review.
  std::function<QWidget*(const StoreContext& context, const LibraryModel& library,
                         std::function<void()> presentReview, QWidget* parent)>
      trashToolbar;
  // The review sheet, a dialog the sidebar opens (window-modal, open()) while the presentation's
  // review flag is set and closes when it clears.
  std::function<QDialog*(
      TrashModel& trash, ResultsModel& results, const ImageLibraryPresentationState& presentation,
      const StoreProjections& projections, const ViewResourceDisplay& resourceDisplay, QWidget* parent)>
      trashReviewSheet;
  // The concept management page for the given images (may be none), made afresh on each visit.
  ConceptManagementFactory tagConceptManagement;
};

}  // namespace lorvex::ui
