// The outcome of the last move to the Trash, shown in the review sheet between the candidates and
// the footer: the headline, the first five failures with their reason, how many more failed, and,
// when anything failed, Details (the recovery sheet) and Retry (asks the review sheet to confirm).
// The recovery sheet lists every failure, copies the diagnostics report and offers the same retry,
// closing itself first so that the confirmation appears over the review sheet alone.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "ui/review/trash_summary_presentation.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace lorvex::ui {

class TrashFailureRecoverySheet : public QDialog {
  Q_OBJECT

 public:
  // Window-modal over `parent`; fixed 620 wide, at least 420 high.
  TrashFailureRecoverySheet(const TrashFailureRecoveryPresentation& presentation, bool canRetryFailures,
                            std::function<void()> requestRetryConfirmation, QWidget* parent);

  void setCanRetryFailures(bool canRetryFailures);

 private:
  TrashFailureRecoveryPresentation presentation_;
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
  TrashFailureRecoverySheet* recoverySheet() const { return recoverySheet_; }

 private:
  std::function<void()> requestRetryConfirmation_;
  std::optional<TrashFailureRecoveryPresentation> recovery_;
  bool canRetryFailures_ = false;
  QLabel* headline_ = nullptr;
  QVBoxLayout* failureLines_ = nullptr;
  QLabel* overflow_ = nullptr;
  QWidget* buttons_ = nullptr;
  QPushButton* details_ = nullptr;
  QPushButton* retry_ = nullptr;
  QPointer<TrashFailureRecoverySheet> recoverySheet_;
};

}  // namespace lorvex::ui
