#include "ui/common/turn_end_before_paint.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

#include "store/async/turn_end_call.h"

namespace lorvex::ui {
namespace {

// A layout redone asks its parent's to be redone in a request of its own, one level per round;
// the rounds end when one delivers nothing. Far above any depth of nested layouts in the program: a
// layout that asks again whenever it is redone is left to the event loop after that.
constexpr int kMostLayoutRounds = 64;

// Whether `window` owns `object`, itself or through its owners: the windows it owns included (a
// popover over it).
bool isOwnedBy(const QObject& object, const QObject& window) {
  for (const QObject* owner = object.parent(); owner != nullptr; owner = owner->parent()) {
    if (owner == &window) return true;
  }
  return false;
}

}  // namespace

TurnEndBeforePaint::TurnEndBeforePaint(QObject* parent) : QObject(parent) {
  for (QWidget* widget : QApplication::allWidgets()) {
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) scrollAreas_.emplace_back(area);
  }
  QCoreApplication::instance()->installEventFilter(this);
}

TurnEndBeforePaint::~TurnEndBeforePaint() {
  if (QCoreApplication* application = QCoreApplication::instance()) application->removeEventFilter(this);
}

bool TurnEndBeforePaint::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::PolishRequest || type == QEvent::LayoutRequest || type == QEvent::MetaCall) {
    ++layoutEventsDelivered_;
  } else if (type == QEvent::Polish) {
    if (auto* area = qobject_cast<QAbstractScrollArea*>(watched)) scrollAreas_.emplace_back(area);
  } else if (type == QEvent::UpdateRequest && watched->isWidgetType() && !isCatchingUp_) {
    // A widget's UpdateRequest paints what is dirty in its window.
    const QPointer<QObject> target(watched);
    isCatchingUp_ = true;
    catchUp(*static_cast<QWidget*>(watched));
    isCatchingUp_ = false;
    // The work may have deleted the window (a view rebuilt without it): nothing is left to paint.
    if (target.isNull()) return true;
  }
  return QObject::eventFilter(watched, event);
}

void TurnEndBeforePaint::catchUp(QWidget& window) {
  bool ranWork = runTurnEndWork();
  for (int round = 0; round < kMostLayoutRounds; ++round) {
    const int delivered = layoutEventsDelivered_;
    // Widgets made while hidden take their style when first asked, which may change their size.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::PolishRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    // A scroll area shows or hides a scroll bar its new range asks for in a call it posts to
    // itself, and lays itself out again then. Only sizes changed here can have asked for one.
    if (ranWork || delivered != layoutEventsDelivered_) {
      std::erase_if(scrollAreas_, [](const QPointer<QAbstractScrollArea>& area) { return area.isNull(); });
      // Copied: a call delivered here may show a new area, which is polished and listed then.
      const std::vector<QPointer<QAbstractScrollArea>> areas = scrollAreas_;
      for (const QPointer<QAbstractScrollArea>& area : areas) {
        if (!area.isNull() && isOwnedBy(*area, window))
          QCoreApplication::sendPostedEvents(area, QEvent::MetaCall);
      }
    }
    // Moves and resizes may queue more work of the turn (a grid checking which rows it shows).
    ranWork = runTurnEndWork();
    if (delivered == layoutEventsDelivered_ && !ranWork) break;
  }
  // A widget shown meanwhile asks for its first paint in an event of its own, queued after this
  // paint: delivered now, it is painted in this paint rather than once more after it.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
}

}  // namespace lorvex::ui
