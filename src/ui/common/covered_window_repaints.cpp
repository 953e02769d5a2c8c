#include "ui/common/covered_window_repaints.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace lorvex::ui {

bool coversCompletely(const WindowCoverFacts& facts) {
  return facts.coverShown && facts.coverFullScreen && (facts.coverActive || facts.coverActivationPending) &&
         facts.coverOpaque && !facts.coveredStaysOnTop && facts.sameScreen && facts.coveredFrame.isValid() &&
         facts.coverFrame.contains(facts.coveredFrame);
}

WindowCoverFacts windowCoverFacts(const QWidget& cover, const QWidget& covered) {
  return {
      .coverShown = cover.isVisible() && !cover.isMinimized(),
      .coverFullScreen = cover.isFullScreen(),
      .coverActive = cover.isActiveWindow(),
      .coverOpaque = !cover.testAttribute(Qt::WA_TranslucentBackground) && cover.windowOpacity() >= 1.0,
      .coveredStaysOnTop = covered.windowFlags().testFlag(Qt::WindowStaysOnTopHint),
      .sameScreen = cover.screen() != nullptr && cover.screen() == covered.screen(),
      .coverFrame = cover.frameGeometry(),
      .coveredFrame = covered.frameGeometry(),
  };
}

CoveredWindowRepaints::CoveredWindowRepaints(QWidget& cover, QWidget& covered, QObject* parent)
    : QObject(parent), cover_(&cover), covered_(&covered) {
  cover.installEventFilter(this);
  covered.installEventFilter(this);
  // Another window of ours (the covered one itself, a dialog) becoming active may come out on top.
  connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] {
    endActivationWait();
    releaseIfUncovered();
  });
}

CoveredWindowRepaints::~CoveredWindowRepaints() {
  if (covered_ != nullptr) covered_->removeEventFilter(this);
  endActivationWait();
  releaseIfUncovered(true);
}

void CoveredWindowRepaints::coverAskedForActivation() {
  if (cover_ == nullptr || !cover_->isVisible() || cover_->windowHandle() == nullptr) return;
  endActivationWait();
  pendingCoverWindow_ = cover_->windowHandle();
  pendingCoverWindow_->installEventFilter(this);
}

void CoveredWindowRepaints::endActivationWait() {
  if (pendingCoverWindow_ != nullptr) pendingCoverWindow_->removeEventFilter(this);
  pendingCoverWindow_ = nullptr;
}

bool CoveredWindowRepaints::coversNow() const {
  if (cover_ == nullptr || covered_ == nullptr) return false;
  WindowCoverFacts facts = windowCoverFacts(*cover_, *covered_);
  facts.coverActivationPending = pendingCoverWindow_ != nullptr;
  return coversCompletely(facts);
}

bool CoveredWindowRepaints::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == pendingCoverWindow_) {
    // The cover's first frame: from now on it is as active as the window system says.
    if (type == QEvent::Expose) {
      endActivationWait();
      releaseIfUncovered();
    }
    return false;
  }
  if (watched == covered_ && type == QEvent::UpdateRequest) {
    // Left unhandled, the request keeps Qt's record of what changed; the one posted on release
    // paints all of it.
    if (!coversNow()) return false;
    holding_ = true;
    return true;
  }
  switch (type) {
    case QEvent::Hide:
      if (watched == cover_) endActivationWait();
      releaseIfUncovered();
      break;
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowStateChange:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
    case QEvent::ScreenChangeInternal:
      releaseIfUncovered();
      break;
    default:
      break;
  }
  return false;
}

void CoveredWindowRepaints::releaseIfUncovered(bool force) {
  if (!holding_ || (!force && coversNow())) return;
  holding_ = false;
  if (covered_ != nullptr)
    QCoreApplication::postEvent(covered_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

}  // namespace lorvex::ui
