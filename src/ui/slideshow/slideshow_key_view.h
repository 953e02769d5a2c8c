// The slideshow's keyboard: a focusable child that fills the slideshow and lets every mouse event
// through to what lies below. An application event filter turns the key presses of its window
// into slideshow actions (slideshow_keyboard_action.h) while the key view, or nothing, has keyboard
// focus. A focused control of the slideshow (a bar button, a stepper) gets its keys itself, except
// the bar's shortcuts Space, F and D, which act as from the key view; a focused text entry, or a
// control outside the slideshow, gets every key, and other windows' keys are never touched. A key the
// slideshow does not handle travels on as usual.
//
// The view asks for keyboard focus once, on the event loop's next turn after it is first shown in
// a window.
//
// Thread safety: GUI thread only.
#pragma once

#include <QWidget>

#include "ui/slideshow/slideshow_keyboard_action.h"

namespace lorvex::ui {

class SlideshowKeyView : public QWidget {
  Q_OBJECT

 public:
  explicit SlideshowKeyView(QWidget* parent = nullptr);
  ~SlideshowKeyView() override;

  // While false every key passes on.
  void setEnabledForKeys(bool enabled) { isEnabledForKeys_ = enabled; }

  SlideshowKeyCallbacks callbacks;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  bool isEnabledForKeys_ = true;
  bool didRequestInitialFocus_ = false;
};

}  // namespace lorvex::ui
