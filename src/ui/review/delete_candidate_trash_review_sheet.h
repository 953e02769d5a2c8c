// The Trash review sheet: the delete candidates page by page as selectable tiles, the counts of
// what is loaded and selected, and the two moves to the Trash (the selection, or every loaded
// candidate), each run only from the destructive button of a confirmation. Below the tiles the
// outcome of the last move, with its failures, their details and a retry through the same
// confirmation.
//
// The sheet keeps nothing of the models': every change of them rebuilds what it shows, and every
// action reads the trash model again when it runs, so a button a turn behind the model cannot move
// anything the model no longer allows. It owns only the pending confirmation.
//
// Closing: every way to close it (Cancel, Escape, the window's close button) goes through
// dismissReview(), which is refused while a move runs and otherwise closes the review once. While
// the move still waits for a scan to end (it says so), the same ways call the move off instead and
// the review stays open as it was. When the review is closed elsewhere, the sheet only closes.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QPointer>

#include "store/feature_models.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"
#include "ui/review/trash_confirmation_flow.h"

class QHBoxLayout;
class QLabel;

class QPushButton;
class QStackedWidget;

namespace lorvex::ui {

// What the sheet reads and changes: the review and its moves, the results that fetch the tiles'
// thumbnails, whether the review is shown, and the projections' signal that the review's
// projections may have changed.
struct DeleteCandidateTrashReviewModels {
  TrashModel& trash;
  ResultsModel& results;
  const ImageLibraryPresentationState& presentation;
  const StoreProjections& projections;
};

class BusyIndicator;
struct DeleteCandidateTrashReviewPresentation;
class LoadMoreResultsIndicator;
class LocalImageLoader;
class TrashReviewCandidateGrid;
class TrashReviewCandidateModel;
class TrashSummaryView;

class DeleteCandidateTrashReviewSheet : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMinimumWidth = 900;
  static constexpr int kMinimumHeight = 640;
  static constexpr int kIdealWidth = 1040;
  static constexpr int kIdealHeight = 760;

  DeleteCandidateTrashReviewSheet(DeleteCandidateTrashReviewModels models,
                                  ViewResourceDisplay resourceDisplay, QWidget* parent,
                                  const AppLocalization* localization = nullptr,
                                  LocalImageLoader* loader = nullptr);
  ~DeleteCandidateTrashReviewSheet() override;

  // Records `action` as waiting for confirmation and shows the confirmation; refused when the
  // trash model does not allow that move now.
  void requestTrashConfirmation(DeleteCandidateTrashAction action);
  // The confirmation's destructive button: the pending action, once, as a flow of the model's
  // context.
  void confirmPendingTrashAction();
  // Any other end of the confirmation: nothing moves.
  void cancelPendingTrashAction();
  const TrashConfirmationFlow& confirmationFlowForTest() const { return flow_; }
  QMessageBox* confirmation() const { return confirmation_; }

  // Cancel: closes the review and the sheet, unless a move runs; calls off a move that waits for a
  // scan.
  void dismissReview();
  void reloadCandidates();

  // Reads the models again; runs on every change of them.
  void refresh();

 public Q_SLOTS:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // The steps of construction, top to bottom; each makes its part's widgets, children of the sheet.
  // `texts` words the fixed titles and explanations.
  // The title, the explanation and Reload.
  QHBoxLayout* buildHeader(const DeleteCandidateTrashReviewPresentation& texts);
  // The loaded and selected counts, the activity and the selection buttons.
  QHBoxLayout* buildSelectionBar(const DeleteCandidateTrashReviewPresentation& texts);
  // The stack of the loading, grid and empty pages.
  QStackedWidget* buildCandidatePages(const DeleteCandidateTrashReviewModels& models,
                                      LocalImageLoader* loader);
  QWidget* buildLoadingPage();
  // The candidates' grid, with the load-more row as its last row.
  QWidget* buildGridPage(const DeleteCandidateTrashReviewModels& models, LocalImageLoader* loader);
  QWidget* buildEmptyPage();
  // The outcome of the last move.
  QWidget* buildSummarySection();
  // Cancel, the footer summary and the two trash buttons with their disabled reasons.
  QHBoxLayout* buildFooter(const DeleteCandidateTrashReviewPresentation& texts);
  // Refreshes on every change of the models; follows a review closed elsewhere.
  void connectModels(const DeleteCandidateTrashReviewModels& models);

  // The loading state, the candidates or the empty state, as the review's browser stands.
  void showContentPage();
  void showConfirmation();
  void updateConfirmationMessage();

  QPointer<TrashModel> trash_;
  QPointer<const ImageLibraryPresentationState> presentation_;
  ViewResourceDisplay resourceDisplay_;
  const AppLocalization* localization_;
  TrashConfirmationFlow flow_;
  TrashReviewCandidateModel* model_ = nullptr;

  QPushButton* reload_ = nullptr;
  QLabel* loadedScope_ = nullptr;
  QLabel* selectedScope_ = nullptr;
  BusyIndicator* busy_ = nullptr;
  QLabel* movingProgress_ = nullptr;
  QPushButton* clearSelection_ = nullptr;
  QPushButton* selectLoaded_ = nullptr;
  QStackedWidget* content_ = nullptr;
  QWidget* loadingPage_ = nullptr;
  QWidget* gridPage_ = nullptr;
  QWidget* emptyPage_ = nullptr;
  TrashReviewCandidateGrid* grid_ = nullptr;
  LoadMoreResultsIndicator* loadMore_ = nullptr;
  QWidget* summarySection_ = nullptr;
  TrashSummaryView* summary_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QLabel* footerSummary_ = nullptr;
  QPushButton* trashSelected_ = nullptr;
  QLabel* trashSelectedReason_ = nullptr;
  QPushButton* trashLoaded_ = nullptr;
  QLabel* trashLoadedReason_ = nullptr;
  QPointer<QMessageBox> confirmation_;
  bool isClosing_ = false;
};

// The sidebar's factory: a sheet the sidebar opens with open().
QDialog* makeDeleteCandidateTrashReviewSheet(TrashModel& trash, ResultsModel& results,
                                             const ImageLibraryPresentationState& presentation,
                                             const StoreProjections& projections,
                                             const ViewResourceDisplay& resourceDisplay, QWidget* parent);

}  // namespace lorvex::ui
