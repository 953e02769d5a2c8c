#include "ui/slideshow/slideshow_stepper_control.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace lorvex::ui {

namespace {

QToolButton* makeStepButton(const QString& text, const QString& name, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setText(text);
  button->setFocusPolicy(Qt::NoFocus);
  button->setAutoRepeat(true);
  button->setAutoRaise(true);
  button->setFixedSize(26, 26);
  button->setStyleSheet(QStringLiteral(
      "QToolButton { color: rgba(255,255,255,235); background: rgba(255,255,255,36); border: none;"
      " border-radius: 6px; font-size: 17px; }"
      "QToolButton:hover { background: rgba(255,255,255,60); }"
      "QToolButton:pressed { background: rgba(255,255,255,90); }"
      "QToolButton:disabled { color: rgba(255,255,255,80); background: rgba(255,255,255,16); }"));
  return button;
}

}  // namespace

StepperControl::StepperControl(double minimum, double maximum, double step, QWidget* parent)
    : QWidget(parent), minimum_(minimum), maximum_(maximum), step_(step), value_(minimum) {
  setFocusPolicy(Qt::TabFocus);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(3, 3, 3, 3);
  layout->setSpacing(2);
  decrement_ = makeStepButton(QStringLiteral("\u2212"), QStringLiteral("decrement"), this);
  increment_ = makeStepButton(QStringLiteral("+"), QStringLiteral("increment"), this);
  layout->addWidget(decrement_);
  layout->addWidget(increment_);
  connect(decrement_, &QToolButton::clicked, this, [this] { stepBy(-1); });
  connect(increment_, &QToolButton::clicked, this, [this] { stepBy(+1); });
  updateButtons();
}

void StepperControl::setValue(double value) {
  value_ = value;
  updateButtons();
}

void StepperControl::setTitle(const QString& title) {
  setToolTip(title.toHtmlEscaped());
  setAccessibleName(title);
  decrement_->setAccessibleName(title + QStringLiteral(" \u2212"));
  increment_->setAccessibleName(title + QStringLiteral(" +"));
}

void StepperControl::setValueText(const QString& text) {
  setAccessibleDescription(text);
}

void StepperControl::stepBy(int steps) {
  const double requested = value_ + steps * step_;
  if (requested < minimum_ - 1e-9 || requested > maximum_ + 1e-9) return;
  const auto write = onWrite;
  if (write) write(requested);
}

void StepperControl::updateButtons() {
  decrement_->setEnabled(value_ - step_ >= minimum_ - 1e-9);
  increment_->setEnabled(value_ + step_ <= maximum_ + 1e-9);
}

void StepperControl::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers held = event->modifiers() & ~Qt::KeyboardModifiers(Qt::KeypadModifier);
  if (held == Qt::NoModifier && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
    stepBy(event->key() == Qt::Key_Up ? +1 : -1);
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void StepperControl::paintEvent(QPaintEvent*) {
  if (!hasFocus()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPen ring(palette().color(QPalette::Highlight));
  ring.setWidthF(2);
  painter.setPen(ring);
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 8, 8);
}

void StepperControl::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void StepperControl::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

}  // namespace lorvex::ui
