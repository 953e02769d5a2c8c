// The full-screen slideshow: one to six consecutive results on black, the floating controls near
// the bottom edge, the delete-candidate feedback banner, and the keyboard. Navigation, review and
// playback state live in the feature models; the view holds only its own: whether the controls
// show, the pointer over them, which control has keyboard focus, and two timers on the context's
// clock.
//
// Controls. Any pointer movement over the slideshow, any key action that reveals and the banner's
// undo show the controls and hide them again after 2 s of quiet, together with the pointer. While
// the pointer is over the bar or a control has keyboard focus the controls are pinned: they stay
// up and auto-advance waits. (Accessibility focus has no counterpart here; it is always none.)
//
// Auto-advance. While the slideshow is shown and playing, over at least two records, and nothing
// pins the controls, the next group of images comes one interval after the last change of focus,
// count, interval, playback or record count, or after the last step ended. A step that changes
// nothing (the whole list already shown, a page that did not come) still arms the next one, so
// playback never stalls while the play button says it is playing. A running step is never cut
// short by the countdown's restarts; the countdown starts again when it ends.
//
// Thread safety: GUI thread only.
#pragma once

#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

#include "store/async/coroutine_scope.h"
#include "store/async/store_task.h"
#include "ui/common/app_localization.h"
#include "ui/slideshow/slideshow_models.h"
#include "ui/slideshow/slideshow_playback_rules.h"

class QGraphicsOpacityEffect;
class QPropertyAnimation;

namespace lorvex::ui {

class LocalImageLoader;
class MouseActivityReader;
class SlideshowFloatingControls;
class SlideshowImageStrip;
class SlideshowKeyView;

class SlideshowView : public QWidget {
  Q_OBJECT

 public:
  // Makes the delete-candidate feedback overlay over `review`'s feedback as a child of `host`, whose
  // undo button calls `undo`. The overlay places itself over its host; the view keeps it above the
  // images and the controls.
  using FeedbackOverlayFactory =
      std::function<QWidget*(ReviewModel& review, std::function<void()> undo, QWidget* host)>;

  // The distance of the controls from the bottom edge.
  static constexpr int kControlsBottomMargin = 32;
  // Fade durations of the controls.
  static constexpr double kRevealSeconds = 0.16;
  static constexpr double kHideSeconds = 0.22;

  // `closeAction` ends the slideshow (the app clears the presentation's flag). Images load through
  // `loader`, by default the slideshow's (slideshow_image_decoding.h).
  SlideshowView(SlideshowModels models, std::function<void()> closeAction,
                FeedbackOverlayFactory feedbackOverlay = {}, const AppLocalization* localization = nullptr,
                LocalImageLoader* loader = nullptr, QWidget* parent = nullptr);
  ~SlideshowView() override;

  bool controlsVisible() const { return controlsVisible_; }
  bool areControlsPinned() const;
  std::optional<SlideshowControlFocus> focusedControl() const { return focusedControl_; }
  // A countdown to the next automatic step is running.
  bool isAutoAdvancePending() const;

  SlideshowFloatingControls* floatingControls() const { return controls_; }
  SlideshowImageStrip* imageStrip() const { return strip_; }
  SlideshowKeyView* keyView() const { return keyView_; }
  QWidget* feedbackOverlay() const { return overlay_; }

  // Shows the controls, then hides them after 2 s of quiet (unless pinned, then they stay).
  void revealControls();
  void restartAutoAdvance();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void connectPresentation();
  void showControlsPersistently();
  void setControlsShown(bool shown);
  void controlsOpacityDidChange();
  void hideControlsAfterQuiet();
  void pointerEnteredControls();
  void pointerLeftControls();
  void focusDidChange();
  void stopAutoAdvance();
  void autoAdvanceStepEnded();
  void refreshImages();
  void refreshControls();
  void loadNextPageForFocus();
  void placeChildren();
  void recordsDidChange();
  bool mayAutoAdvance() const;

  QCoro::Task<void> runControlsHide(std::stop_token stop);
  QCoro::Task<void> runAutoAdvanceCountdown(std::int64_t delay, std::stop_token stop);
  static QCoro::Task<void> runAutoAdvanceStep(ReviewModel* review, QPointer<SlideshowView> view,
                                              std::stop_token stop);

  SlideshowModels models_;
  std::function<void()> closeAction_;
  const AppLocalization& localization_;
  SlideshowImageStrip* strip_ = nullptr;
  SlideshowFloatingControls* controls_ = nullptr;
  QWidget* overlay_ = nullptr;
  SlideshowKeyView* keyView_ = nullptr;
  MouseActivityReader* activityReader_ = nullptr;
  QGraphicsOpacityEffect* controlsOpacity_ = nullptr;
  QPropertyAnimation* controlsFade_ = nullptr;

  bool controlsVisible_ = false;
  bool isPointerOverControls_ = false;
  std::optional<SlideshowControlFocus> focusedControl_;
  const std::optional<SlideshowControlFocus> accessibilityFocusedControl_;
  bool didAppear_ = false;
  bool stepInFlight_ = false;
  std::size_t lastRecordCount_ = 0;
  StoreTask<void> hideControlsTask_;
  StoreTask<void> autoAdvanceTask_;
  // Stops a step still running when the view goes.
  std::stop_source stepStop_;
  std::vector<QMetaObject::Connection> presentationConnections_;

  // Last: its timers end before any member they use goes.
  CoroutineScope scope_;
};

}  // namespace lorvex::ui
