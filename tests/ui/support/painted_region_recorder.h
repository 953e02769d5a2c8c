// Records the regions the widgets it is installed on are asked to paint, and a plain widget that
// counts its own paints and what they covered.
//
// Thread safety: GUI thread.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPaintEvent>
#include <QRegion>
#include <QWidget>

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

class PaintCounter : public QWidget {
 public:
  int paints = 0;
  QRegion painted;

 protected:
  void paintEvent(QPaintEvent* event) override {
    ++paints;
    painted += event->region();
  }
};

}  // namespace lorvex::ui::testing
