// The views the program places in the shell's slots. A slot whose view the program does not have
// yet stays empty here: the shell lays out its container and works without it.
#include "app/shell_views.h"

namespace lorvex::app {

ShellViews liveShellViews() {
  ShellViews views;
  // Seams, each filled once its view is part of the ui layer:
  //   resultsGrid        - the results grid with its header (ui/results)
  //   detailPanel        - the inspector (ui/detail)
  //   inspectorToggle    - the inspector's toolbar button (ui/detail)
  //   filterSidebar      - the filter sidebar with the review toolbar and sheets (ui/sidebar, ui/review)
  //   indexingCard       - the indexing progress card (ui/sidebar)
  //   previewOverlay     - the preview overlay (ui/results)
  //   feedbackOverlay    - the delete-candidate feedback banner (ui/review)
  //   undoKey            - the window's Ctrl+Z filter (ui/review)
  //   slideshowPresenter - the full-screen slideshow window (ui/slideshow)
  return views;
}

}  // namespace lorvex::app
