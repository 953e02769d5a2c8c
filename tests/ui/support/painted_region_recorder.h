// Records the regions the widgets it is installed on are asked to paint.
//
// Thread safety: GUI thread.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPaintEvent>
#include <QRegion>

namespace lorvex::ui::testing {

class PaintedRegionRecorder : public QObject {
 public:
  QRegion painted;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
    return false;
  }
};

}  // namespace lorvex::ui::testing
