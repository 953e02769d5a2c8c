// A stepper for the slideshow's floating bar: a minus and a plus button side by side, and Up and
// Down while the stepper itself has keyboard focus (Tab reaches it; the buttons never take focus).
// It keeps no value of its own: each step asks its owner to write the shown value plus or minus one
// step, and the owner brings the request into range and shows the stored value again. A button
// whose step would leave the bounds is disabled.
//
// Thread safety: GUI thread only.
#pragma once

#include <QWidget>
#include <functional>

class QToolButton;

namespace lorvex::ui {

class StepperControl : public QWidget {
  Q_OBJECT

 public:
  StepperControl(double minimum, double maximum, double step, QWidget* parent = nullptr);

  // The value shown; set by the owner from the store.
  void setValue(double value);
  double value() const { return value_; }
  double minimum() const { return minimum_; }
  double maximum() const { return maximum_; }
  double step() const { return step_; }

  // Tooltip and accessible name, and the accessible value.
  void setTitle(const QString& title);
  void setValueText(const QString& text);

  // Asked with the requested value (the shown value plus or minus one step).
  std::function<void(double requested)> onWrite;

  QToolButton* decrementButton() const { return decrement_; }
  QToolButton* incrementButton() const { return increment_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void stepBy(int steps);
  void updateButtons();

  double minimum_;
  double maximum_;
  double step_;
  double value_;
  QToolButton* decrement_;
  QToolButton* increment_;
};

}  // namespace lorvex::ui
