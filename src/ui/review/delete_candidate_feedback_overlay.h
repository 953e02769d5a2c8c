// The banner that reports the last marking or unmarking of delete candidates, laid over a host
// view (the workspace, the slideshow) at its top centre: 16 from the top, at most 560 wide. It
// follows the review model: shown while it holds feedback, Undo present while the feedback allows
// undo and the model can undo now, gone when the model clears the feedback (its own timer, the
// close button, or a newer marking replacing it). Without feedback it is hidden and lets every
// click through to the content beneath.
//
// Its buttons take no focus from a click, and after either of them has acted the banner says so
// (actionTaken), so the host can hand the keyboard back to the content the banner is about. Both
// close the banner, Undo once its restore is applied (until then Undo stays in place, disabled):
// the rest of a double-click on either of them is taken by the banner even when it has closed
// meanwhile, and never reaches the control that lay under it.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

#include "ui/common/app_localization.h"
#include "ui/review/delete_candidate_feedback_click_rule.h"

class QLabel;
class QPushButton;
class QToolButton;

namespace lorvex {
class ReviewModel;
}

namespace lorvex::ui {

class WrappedTextLabel;

class DeleteCandidateFeedbackOverlay : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTopInset = 16;
  static constexpr int kSideInset = 16;
  static constexpr int kMaximumWidth = 560;

  // A child of `host` that keeps itself in place over it. `undoAction` is the host's undo.
  DeleteCandidateFeedbackOverlay(ReviewModel& review, std::function<void()> undoAction, QWidget* host,
                                 const AppLocalization* localization = nullptr);

  // Reads the model again; called on every change of its feedback or undo flag.
  void refresh();

 Q_SIGNALS:
  // Undo or close has run.
  void actionTaken();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  class ClickRemainder;

  void placeOverHost();
  // A click on one of the buttons has acted: the rest of its double-click, if one comes, is the
  // banner's.
  void takeRestOfClick();

  QPointer<ReviewModel> review_;
  std::function<void()> undoAction_;
  const AppLocalization* localization_;
  QLabel* icon_ = nullptr;
  WrappedTextLabel* message_ = nullptr;
  WrappedTextLabel* detail_ = nullptr;
  QPushButton* undo_ = nullptr;
  QToolButton* close_ = nullptr;
  // The last press on Undo or close, until its click has acted.
  std::optional<FeedbackButtonPress> buttonPress_;
  ClickRemainder* clickRemainder_ = nullptr;
};

// The hosts' factory (the workspace, the slideshow): the banner over `host`, owned by it; `undoAction`
// is the host's undo.
QWidget* makeDeleteCandidateFeedbackOverlay(ReviewModel& review, std::function<void()> undoAction,
                                            QWidget* host);

}  // namespace lorvex::ui
