// The bar that floats over the slideshow: the position counter, previous and next, play / pause,
// the image-count group, the interval group, the favourite and delete-candidate buttons and close,
// on one rounded translucent bar. It keeps no state: every change of the models it reads rebuilds
// its presentation, and each control calls one operation of a model or the close callback. Its keys
// (Space, F, D) are the slideshow's key view's, which takes them from a focused control of the bar
// too: the bar binds no shortcut of its own.
//
// Every focusable control carries its identifier ("slideshow.previous" … "slideshow.close") and
// maps back to its SlideshowControlFocus through controlOf().
//
// Thread safety: GUI thread only.
#pragma once

#include <QFont>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "ui/common/app_localization.h"
#include "ui/slideshow/slideshow_floating_controls_presentation.h"
#include "ui/slideshow/slideshow_models.h"

class QLabel;

namespace lorvex::ui {

class FloatingToolbarButton;
class StepperControl;

// Lays out the digits and the labels of the controls in the fonts of their values and steppers, so
// that those font engines are loaded before the first slideshow opens rather than while its
// controls are laid out. Qt's font cache drops an engine no font uses any more: the caller keeps
// the fonts returned for as long as the engines should stay loaded.
std::vector<QFont> warmSlideshowControlFonts(const AppLocalization& localization);

class SlideshowFloatingControls : public QWidget {
  Q_OBJECT

 public:
  // Padding around the controls, their spacing, the bar's corner radius, the counter's minimum
  // width and the controls' height.
  static constexpr int kPadding = 12;
  static constexpr int kSpacing = 12;
  static constexpr int kGroupSpacing = 9;
  static constexpr qreal kCornerRadius = 15;
  static constexpr int kPositionMinimumWidth = 81;
  static constexpr int kControlHeight = 45;
  static constexpr int kVisibleCountMinimumWidth = 104;
  static constexpr int kIntervalMinimumWidth = 66;

  SlideshowFloatingControls(SlideshowModels models, std::function<void()> closeAction,
                            const AppLocalization& localization, QWidget* parent = nullptr);

  // Re-reads the models and shows what they hold now.
  void refresh();
  const SlideshowFloatingControlsPresentation& presentation() const { return presentation_; }

  // The control `widget` is or lies inside; nothing for anything else.
  std::optional<SlideshowControlFocus> controlOf(const QWidget* widget) const;
  QWidget* controlWidget(SlideshowControlFocus control) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  FloatingToolbarButton* addButton(SlideshowControlFocus control, std::function<void()> action);
  QWidget* makeValueGroup(SlideshowControlFocus control, QLabel*& label, QLabel*& value,
                          int valueMinimumWidth, StepperControl*& stepper, double minimum, double maximum,
                          double step);
  static void applyButton(FloatingToolbarButton& button, const SlideshowButtonPresentation& presentation);

  SlideshowModels models_;
  std::function<void()> closeAction_;
  const AppLocalization& localization_;
  SlideshowFloatingControlsPresentation presentation_;
  std::map<SlideshowControlFocus, QWidget*> controls_;
  QLabel* position_ = nullptr;
  FloatingToolbarButton* previous_ = nullptr;
  FloatingToolbarButton* next_ = nullptr;
  FloatingToolbarButton* playback_ = nullptr;
  QLabel* visibleCountLabel_ = nullptr;
  QLabel* visibleCountValue_ = nullptr;
  StepperControl* visibleCountStepper_ = nullptr;
  QLabel* intervalLabel_ = nullptr;
  QLabel* intervalValue_ = nullptr;
  StepperControl* intervalStepper_ = nullptr;
  FloatingToolbarButton* favorite_ = nullptr;
  FloatingToolbarButton* deleteCandidate_ = nullptr;
  FloatingToolbarButton* close_ = nullptr;
};

}  // namespace lorvex::ui
