#include "ui/common/busy_indicator.h"

#include <QPainter>

#include "ui/common/animations.h"
#include "ui/common/ui_roles.h"

namespace lorvex::ui {

namespace {
constexpr int kSpokes = 12;
constexpr int kStepMs = 80;
}  // namespace

BusyIndicator::BusyIndicator(Size size, QWidget* parent) : QWidget(parent), size_(size) {
  setFixedSize(sizeHint());
  setAttribute(Qt::WA_TransparentForMouseEvents);
  timer_.setInterval(kStepMs);
  connect(&timer_, &QTimer::timeout, this, [this] {
    step_ = (step_ + 1) % kSpokes;
    update();
  });
}

QSize BusyIndicator::sizeHint() const {
  const int side = size_ == Size::small ? 16 : 32;
  return {side, side};
}

void BusyIndicator::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (animationsEnabled()) timer_.start();
}

void BusyIndicator::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  timer_.stop();
}

void BusyIndicator::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal side = std::min(width(), height());
  painter.translate(width() / 2.0, height() / 2.0);
  const qreal outer = side / 2.0;
  const qreal inner = outer * 0.45;
  const QColor color = roleColor(ColorRole::primary, palette());
  QPen pen(color, std::max(1.5, side / 11.0), Qt::SolidLine, Qt::RoundCap);
  for (int spoke = 0; spoke < kSpokes; ++spoke) {
    // The leading spoke is darkest; the ones behind it fade.
    const int age = (step_ - spoke + kSpokes) % kSpokes;
    pen.setColor(withOpacity(color, 0.85 - 0.6 * age / (kSpokes - 1)));
    painter.setPen(pen);
    painter.save();
    painter.rotate(spoke * 360.0 / kSpokes);
    painter.drawLine(QPointF(0, -inner), QPointF(0, -outer + pen.widthF() / 2.0));
    painter.restore();
  }
}

}  // namespace lorvex::ui
