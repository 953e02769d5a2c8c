// The views the program places in the shell's slots. A slot whose view the program does not have
// yet stays empty here: the shell lays out its container and works without it.
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>

#include "app/shell_views.h"
#include "store/image_library_store.h"
#include "ui/detail/image_detail_panel.h"
#include "ui/detail/tag_concept_management_panel.h"
#include "ui/results/quick_look_preview_overlay.h"
#include "ui/results/results_grid_view.h"
#include "ui/review/delete_candidate_feedback_overlay.h"
#include "ui/review/delete_candidate_trash_review_sheet.h"
#include "ui/review/delete_candidate_trash_sidebar_toolbar.h"
#include "ui/review/delete_candidate_undo_key_filter.h"
#include "ui/sidebar/filter_sidebar.h"
#include "ui/sidebar/indexing_progress_card.h"
#include "ui/slideshow/slideshow_view.h"
#include "ui/slideshow/slideshow_window_presenter.h"

namespace lorvex::app {

namespace {

ui::ResultsGridListModels resultsGridModels(ImageLibraryStore& store) {
  return {store.results(),      store.library(),     store.review(), store.concepts(),
          store.presentation(), store.projections(), store.context()};
}

ResultsGridSlot makeResultsGrid(ImageLibraryStore& store, ResultsGridActions actions, QWidget* parent) {
  auto* grid = new ui::ResultsGridView(resultsGridModels(store), store.filters(),
                                       ui::ResultsGridViewActions{
                                           .showFolderImporter = std::move(actions.showFolderImporter),
                                           .reauthorizeFolder = std::move(actions.reauthorizeFolder),
                                           .showShortcutHelp = std::move(actions.showShortcutHelp),
                                           .showQuickLook = std::move(actions.showQuickLook),
                                       },
                                       ui::AppLocalization::live(), ui::LocalImageLoader::shared(), parent);
  grid->setObjectName(QStringLiteral("resultsGrid"));
  QPointer<ui::ResultsGridView> guarded(grid);
  return {grid,
          [guarded](bool presented) {
            if (guarded) guarded->setQuickLookPresented(presented);
          },
          [guarded] {
            if (guarded) guarded->requestKeyboardFocus();
          }};
}

// The overlay is made for its first file and covers its layer from then on; later files replace
// the shown one.
PreviewOverlaySlot makePreviewOverlay(ImageLibraryStore& store, PreviewActions actions, QWidget* layer) {
  auto overlay = std::make_shared<QPointer<ui::QuickLookPreviewOverlay>>();
  ImageLibraryStore* storePointer = &store;
  return {nullptr, [storePointer, actions = std::move(actions), layer, overlay](const std::string& url) {
            if (*overlay) {
              (*overlay)->setFileURL(url);
            } else {
              *overlay =
                  new ui::QuickLookPreviewOverlay(storePointer->results(), storePointer->review(),
                                                  storePointer->concepts(), storePointer->context(), url,
                                                  ui::QuickLookPreviewActions{
                                                      .showPrevious = actions.showPrevious,
                                                      .showNext = actions.showNext,
                                                      .startSlideshow = actions.startSlideshow,
                                                      .dismiss = actions.dismiss,
                                                  },
                                                  layer);
              (*overlay)->setObjectName(QStringLiteral("quickLookPreview"));
            }
            (*overlay)->setFocus(Qt::OtherFocusReason);
          }};
}

// The banner keeps its own identifier, "review.deleteCandidate.feedback".
QWidget* makeFeedbackOverlay(ImageLibraryStore& store, std::function<void()> undoAction, QWidget* layer) {
  return ui::makeDeleteCandidateFeedbackOverlay(store.review(), std::move(undoAction), layer);
}

// The window's own rule decides (onUndo answers false while the key must pass on), so the filter
// itself stays enabled.
QObject* makeUndoKey(QWidget& window, std::function<bool()> onUndo) {
  auto* filter = new ui::DeleteCandidateUndoKeyFilter(&window);
  filter->setOnUndo(std::move(onUndo));
  return filter;
}

// The slideshow window follows the store's flag; its content is made each time it opens, with the
// banner over it.
QObject* makeSlideshowPresenter(ImageLibraryStore& store, std::function<void()> close, QWidget* anchor) {
  ImageLibraryStore* storePointer = &store;
  return new ui::SlideshowWindowPresenter(
      store.presentation(),
      [storePointer, close = std::move(close)]() -> std::unique_ptr<QWidget> {
        return std::make_unique<ui::SlideshowView>(
            ui::SlideshowModels{storePointer->results(), storePointer->review(), storePointer->presentation(),
                                storePointer->projections(), storePointer->context()},
            close, &ui::makeDeleteCandidateFeedbackOverlay);
      },
      anchor, anchor);
}

// The sidebar, given the review's Trash toolbar and review sheet. The tag-concept page of the tag
// popover waits for the inspector's part of the ui layer (concepts are off in the application).
QWidget* makeFilterSidebar(ImageLibraryStore& store, const ui::ViewResourceDisplay& resourceDisplay,
                           std::function<void()> showFolderImporter,
                           std::function<void(const std::string&)> reauthorizeFolder, QWidget* parent) {
  ui::FilterSidebarFactories factories;
  factories.trashToolbar = &ui::makeDeleteCandidateTrashSidebarToolbar;
  factories.trashReviewSheet = &ui::makeDeleteCandidateTrashReviewSheet;
  // Shown only while tag concepts are switched on.
  factories.tagConceptManagement = ui::tagConceptManagementPanelFactory();
  auto* sidebar =
      new ui::FilterSidebar(ui::FilterSidebarModels{store.library(), store.results(), store.filters(),
                                                    store.presentation(), store.trash(), store.suggestions(),
                                                    store.concepts(), store.projections(), store.context()},
                            resourceDisplay, std::move(showFolderImporter), std::move(reauthorizeFolder),
                            std::move(factories), ui::AppLocalization::live(), parent);
  sidebar->setObjectName(QStringLiteral("filterSidebar"));
  return sidebar;
}

// The card sits in the middle of its layer, over the disabled (or, while no library is open,
// hidden) split view.
QWidget* makeIndexingCard(ImageLibraryStore& store, const ui::ViewResourceDisplay& resourceDisplay,
                          QWidget* layer) {
  auto* card =
      new ui::IndexingProgressCard(store.library(), ui::AppLocalization::live(), layer, resourceDisplay);
  if (auto* layout = qobject_cast<QVBoxLayout*>(layer->layout())) {
    layout->addWidget(card, 0, Qt::AlignCenter);
  }
  return card;
}

QWidget* makeDetailPanel(ImageLibraryStore& store, QWidget* parent) {
  return new ui::ImageDetailPanel({store.results(), store.review(), store.concepts(), store.filters(),
                                   store.library(), store.projections(), store.context()},
                                  nullptr, parent);
}

InspectorToggleSlot makeInspectorToggle(std::function<void(bool)> toggled, QWidget* parent) {
  auto* toggle = new ui::ImageDetailPanelToggleButton(nullptr, parent);
  QObject::connect(toggle, &ui::ImageDetailPanelToggleButton::presentedChangeRequested, toggle,
                   [toggled = std::move(toggled)](bool presented) { toggled(presented); });
  return {toggle, [toggle = QPointer(toggle)](bool presented) {
            if (toggle) toggle->setPresented(presented);
          }};
}

}  // namespace

ShellViews liveShellViews() {
  ShellViews views;
  views.resultsGrid = &makeResultsGrid;
  views.previewOverlay = &makePreviewOverlay;
  views.feedbackOverlay = &makeFeedbackOverlay;
  views.undoKey = &makeUndoKey;
  views.slideshowPresenter = &makeSlideshowPresenter;
  views.filterSidebar = &makeFilterSidebar;
  views.indexingCard = &makeIndexingCard;
  views.detailPanel = &makeDetailPanel;
  views.inspectorToggle = &makeInspectorToggle;
  return views;
}

}  // namespace lorvex::app
