#include "ui/sidebar/filter_row_button.h"

#include <QPainter>

#include "ui/common/plain_text.h"

namespace lorvex::ui {

FilterRowButton::FilterRowButton(FilterRowMetrics metrics, QWidget* parent)
    : QAbstractButton(parent), metrics_(metrics) {
  setCheckable(true);
  // A click leaves the keyboard where it was (the grid keeps its keys); Tab reaches the row.
  setFocusPolicy(Qt::TabFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setAttribute(Qt::WA_Hover);
}

void FilterRowButton::setPresentation(FilterRowPresentation presentation) {
  if (presentation == presentation_) return;
  const bool textChanged = presentation.text != presentation_.text;
  presentation_ = std::move(presentation);
  if (!presentation_.identifier.empty()) setObjectName(qtText(presentation_.identifier));
  setAccessibleName(qtText(presentation_.accessibleName));
  setText(mnemonicSafe(qtText(presentation_.text)));
  setChecked(presentation_.isSelected);
  if (textChanged) updateGeometry();
  update();
}

QSize FilterRowButton::sizeHint() const {
  return filterRowSizeHint(presentation_, metrics_, font());
}

QSize FilterRowButton::minimumSizeHint() const {
  return {metrics_.markWidth + 40, sizeHint().height()};
}

void FilterRowButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintFilterRow(painter, rect(), presentation_, metrics_, font(), palette(),
                 {isHovered_, hasFocus(), isDown()});
}

void FilterRowButton::enterEvent(QEnterEvent* event) {
  isHovered_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void FilterRowButton::leaveEvent(QEvent* event) {
  isHovered_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

}  // namespace lorvex::ui
