#include "ui/sidebar/wrapping_link_button.h"

#include <QEvent>
#include <QPainter>
#include <algorithm>

#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"

namespace lorvex::ui {

namespace {

constexpr int kIconGap = 4;
constexpr int kVerticalPadding = 1;

}  // namespace

WrappingLinkButton::WrappingLinkButton(QWidget* parent) : QPushButton(parent) {
  setFlat(true);
  setAutoDefault(false);
  setFocusPolicy(Qt::TabFocus);
  setCursor(Qt::PointingHandCursor);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  title_ = new WrappedTextLabel({}, this);
  title_->setAttribute(Qt::WA_TransparentForMouseEvents);
  title_->setFocusPolicy(Qt::NoFocus);
}

void WrappingLinkButton::setTitle(const QString& title) {
  setText(mnemonicSafe(title));
  setAccessibleName(title);
  title_->setText(title);
  updateGeometry();
}

int WrappingLinkButton::textLeft() const {
  return icon().isNull() ? 0 : iconSize().width() + kIconGap;
}

int WrappingLinkButton::heightForWidth(int width) const {
  const int text = title_->heightForWidth(std::max(width - textLeft(), 1));
  return std::max(text, icon().isNull() ? 0 : iconSize().height()) + 2 * kVerticalPadding;
}

QSize WrappingLinkButton::sizeHint() const {
  const int width = textLeft() + title_->sizeHint().width();
  return {width, heightForWidth(width)};
}

QSize WrappingLinkButton::minimumSizeHint() const {
  const QSize text = title_->minimumSizeHint();
  return {textLeft() + text.width(), std::max(text.height(), iconSize().height()) + 2 * kVerticalPadding};
}

void WrappingLinkButton::resizeEvent(QResizeEvent* event) {
  QPushButton::resizeEvent(event);
  const int left = textLeft();
  title_->setGeometry(left, kVerticalPadding, std::max(width() - left, 1),
                      title_->heightForWidth(std::max(width() - left, 1)));
}

void WrappingLinkButton::changeEvent(QEvent* event) {
  QPushButton::changeEvent(event);
  if (event->type() == QEvent::FontChange) title_->setFont(font());
  if (event->type() == QEvent::PaletteChange) title_->setPalette(palette());
}

void WrappingLinkButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!icon().isNull()) {
    const QRect iconRect(0,
                         kVerticalPadding + std::max(0, (fontMetrics().height() - iconSize().height()) / 2),
                         iconSize().width(), iconSize().height());
    icon().paint(&painter, iconRect, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
  }
  if (hasFocus()) {
    painter.setPen(QPen(roleColor(ColorRole::accent, palette()), 1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

}  // namespace lorvex::ui
