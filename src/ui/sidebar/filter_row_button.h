// One painted filter row of the sidebar (saved tag, aspect, the model row's select part): the
// whole rectangle is the hit area. It is checkable so that automation and screen readers see the
// selected state, but a click never moves the check itself (nextCheckState does nothing): the mark
// moves only when the store has changed and the sidebar sets the new presentation.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QAbstractButton>

#include "ui/sidebar/filter_row_painting.h"
#include "ui/sidebar/filter_row_presentation.h"

namespace lorvex::ui {

class FilterRowButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit FilterRowButton(FilterRowMetrics metrics = FilterRowMetrics::sidebar(), QWidget* parent = nullptr);

  // Applies a presentation; an equal one changes nothing (no repaint).
  void setPresentation(FilterRowPresentation presentation);
  const FilterRowPresentation& presentation() const { return presentation_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void nextCheckState() override {}
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  FilterRowMetrics metrics_;
  FilterRowPresentation presentation_;
  bool isHovered_ = false;
};

}  // namespace lorvex::ui
