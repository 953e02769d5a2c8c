// Before a window of the program paints, the work queued for the end of the turn runs (the store's
// derived values, the views' once-per-turn rebuilds: TurnEndCall), and every layout waiting to be
// redone is, with the polish of widgets made meanwhile and the scroll bars the new sizes show or
// hide. Qt queues a window's paint when something first changes in it, often before the calls
// that bring the other views up to date and before the layouts that follow their changes; without
// this the window paints a search's result with the inspector and the header still behind, then
// again once they follow, then again after their layouts. With it, what a turn changed reaches the
// screen in one paint, the widgets it showed included.
//
// Thread safety: GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

class QAbstractScrollArea;
class QWidget;

namespace lorvex::ui {

class TurnEndBeforePaint : public QObject {
  Q_OBJECT

 public:
  // Watches the application's events while it lives.
  explicit TurnEndBeforePaint(QObject* parent = nullptr);
  ~TurnEndBeforePaint() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void catchUp(QWidget& window);

  // The scroll areas shown so far (a widget is polished before it first shows), so a catch-up
  // finds a window's areas without walking all of its widgets.
  std::vector<QPointer<QAbstractScrollArea>> scrollAreas_;
  // Polish and layout requests and posted calls delivered, counted to see a round deliver none.
  int layoutEventsDelivered_ = 0;
  bool isCatchingUp_ = false;  // a paint inside the catching up (a nested loop) paints what is there
};

}  // namespace lorvex::ui
