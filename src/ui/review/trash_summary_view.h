// The outcome of the last move to the Trash, shown in the review sheet between the candidates and
// the footer: the headline, the first five failures with their reason, how many more failed, and,
// when anything failed, Details (the recovery sheet) and Retry (asks the review sheet to confirm).
// The recovery sheet lists every failure, copies the diagnostics report and offers the same retry,
// closing itself first so that the confirmation appears over the review sheet alone.
//
// A move that failed alike for a whole volume leaves thousands of failures: the recovery sheet's
// list is a list view over a model that builds a row only when the view asks for it, laid out a
// batch at a time, and painted by a delegate. A click on a row makes its path selectable text.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QAbstractListModel>
#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "ui/review/trash_summary_presentation.h"

class QLabel;
class QListView;
class QPushButton;
class QVBoxLayout;

namespace lorvex::ui {

class WrappedTextLabel;

// One row per failure of the presentation, in its order.
class TrashFailureRecoveryListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  enum Role {
    MessageRole = Qt::UserRole + 1,
    DisplayPathRole,
    IdentifierRole,  // "deleteCandidateReview.recovery.row.<row id>", as automation finds a row
  };

  explicit TrashFailureRecoveryListModel(TrashFailureRecoveryPresentation presentation,
                                         QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  // Qt::DisplayRole is the file name.
  QVariant data(const QModelIndex& index, int role) const override;
  // Editable: the path becomes selectable text in a read-only editor.
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // The row at `row`, built when first asked after another row was (a paint asks for several
  // roles of one row in turn).
  const TrashFailureRecoveryRow& rowAt(int row) const;

  TrashFailureRecoveryPresentation presentation_;
  mutable int builtRow_ = -1;
  mutable TrashFailureRecoveryRow built_;
};

class TrashFailureRecoverySheet : public QDialog {
  Q_OBJECT

 public:
  // Window-modal over `parent`; fixed 620 wide, at least 420 high.
  TrashFailureRecoverySheet(const TrashFailureRecoveryPresentation& presentation, bool canRetryFailures,
                            std::function<void()> requestRetryConfirmation, QWidget* parent);

  void setCanRetryFailures(bool canRetryFailures);
  QListView* failureList() const { return list_; }

 private:
  TrashFailureRecoveryPresentation presentation_;
  QListView* list_ = nullptr;
  std::function<void()> requestRetryConfirmation_;
  QPushButton* retry_ = nullptr;
};

class TrashSummaryView : public QWidget {
  Q_OBJECT

 public:
  TrashSummaryView(std::function<void()> requestRetryConfirmation, QWidget* parent = nullptr);

  // Shows the outcome; the recovery sheet, when open, keeps the outcome it was opened with until
  // it is opened again.
  void setSummary(const TrashSummaryPresentation& presentation,
                  const TrashFailureRecoveryPresentation& recovery, bool canRetryFailures);
  // Opens the recovery sheet (the Details button).
  void presentRecovery();
  TrashFailureRecoverySheet* recoverySheetForTest() const { return recoverySheet_; }

 private:
  std::function<void()> requestRetryConfirmation_;
  std::optional<TrashFailureRecoveryPresentation> recovery_;
  bool canRetryFailures_ = false;
  WrappedTextLabel* headline_ = nullptr;
  QVBoxLayout* failureLines_ = nullptr;
  QLabel* overflow_ = nullptr;
  QWidget* buttons_ = nullptr;
  QPushButton* details_ = nullptr;
  QPushButton* retry_ = nullptr;
  QPointer<TrashFailureRecoverySheet> recoverySheet_;
};

}  // namespace lorvex::ui
