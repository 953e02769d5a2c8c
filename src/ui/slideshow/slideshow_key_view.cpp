#include "ui/slideshow/slideshow_key_view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>

namespace lorvex::ui {

SlideshowKeyView::SlideshowKeyView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("slideshow.keys"));
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  qApp->installEventFilter(this);
}

SlideshowKeyView::~SlideshowKeyView() {
  qApp->removeEventFilter(this);
}

bool SlideshowKeyView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !isEnabledForKeys_) return false;
  auto* receiver = qobject_cast<QWidget*>(watched);
  if (receiver == nullptr || receiver->window() != window()) return false;
  // Only the first delivery counts: a key passed on reaches the parents too, and must not run
  // the action a second time on the way.
  // The window's focus widget, whether or not the window is active right now.
  QWidget* focus = window()->focusWidget();
  if (receiver != (focus != nullptr ? focus : window())) return false;
  // A control of the slideshow (the bar's buttons and steppers) keeps its other keys; a focused
  // text entry, or anything outside the slideshow, keeps them all.
  const bool fromControl = focus != nullptr && focus != this;
  if (fromControl && (parentWidget() == nullptr || !parentWidget()->isAncestorOf(focus) ||
                      focus->testAttribute(Qt::WA_InputMethodEnabled))) {
    return false;
  }
  const auto* key = static_cast<QKeyEvent*>(event);
  // Copied: an action may close the slideshow and schedule this view's deletion.
  const SlideshowKeyCallbacks current = callbacks;
  return handleSlideshowKey(key->key(), key->modifiers(), key->text(), current, fromControl);
}

void SlideshowKeyView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (didRequestInitialFocus_ || window() == nullptr) return;
  didRequestInitialFocus_ = true;
  QTimer::singleShot(0, this, [this] {
    if (window() != nullptr) setFocus(Qt::OtherFocusReason);
  });
}

}  // namespace lorvex::ui
