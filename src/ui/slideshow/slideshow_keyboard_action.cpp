#include "ui/slideshow/slideshow_keyboard_action.h"

namespace lorvex::ui {

namespace {

bool textIs(const QString& text, QChar letter) {
  return text.size() == 1 && text.at(0).toLower() == letter;
}

void callIfSet(const std::function<void()>& callback) {
  if (callback) callback();
}

}  // namespace

std::optional<SlideshowKeyboardAction> slideshowKeyAction(int key, Qt::KeyboardModifiers modifiers,
                                                          const QString& text) {
  using Action = SlideshowKeyboardAction;
  const Qt::KeyboardModifiers held = modifiers & ~Qt::KeyboardModifiers(Qt::KeypadModifier);
  const Qt::KeyboardModifiers chord = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

  // Under Ctrl the text is a control character, so the logical key alone names the letter.
  if (held == Qt::ControlModifier) {
    if (key == Qt::Key_Z) return Action::undoDeleteCandidate;
    return std::nullopt;
  }
  if (held == Qt::AltModifier) {
    if (key == Qt::Key_Up) return Action::increaseInterval;
    if (key == Qt::Key_Down) return Action::decreaseInterval;
    return std::nullopt;
  }
  if (held & chord) return std::nullopt;

  switch (key) {
    case Qt::Key_Escape:
      return Action::close;
    case Qt::Key_Space:
      return Action::togglePlayback;
    case Qt::Key_Left:
      return Action::previous;
    case Qt::Key_Right:
      return Action::next;
    case Qt::Key_Up:
      return Action::increaseVisibleCount;
    case Qt::Key_Down:
      return Action::decreaseVisibleCount;
    case Qt::Key_F:
      if (textIs(text, u'f')) return Action::toggleFavorite;
      return std::nullopt;
    case Qt::Key_D:
      if (textIs(text, u'd')) return Action::toggleDeleteCandidate;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

bool isSlideshowBarShortcut(SlideshowKeyboardAction action) {
  using Action = SlideshowKeyboardAction;
  return action == Action::togglePlayback || action == Action::toggleFavorite ||
         action == Action::toggleDeleteCandidate;
}

bool performSlideshowKeyAction(SlideshowKeyboardAction action, const SlideshowKeyCallbacks& callbacks) {
  using Action = SlideshowKeyboardAction;
  const auto revealing = [&callbacks](const std::function<void()>& callback) {
    callIfSet(callback);
    callIfSet(callbacks.onRevealControls);
    return true;
  };
  const auto ifTookEffect = [&callbacks](const std::function<bool()>& callback) {
    if (!callback || !callback()) return false;
    callIfSet(callbacks.onRevealControls);
    return true;
  };
  switch (action) {
    case Action::close:
      callIfSet(callbacks.onClose);
      return true;
    case Action::previous:
      callIfSet(callbacks.onPrevious);
      return true;
    case Action::next:
      callIfSet(callbacks.onNext);
      return true;
    case Action::togglePlayback:
      return revealing(callbacks.onTogglePlayback);
    case Action::increaseVisibleCount:
      return revealing(callbacks.onIncreaseVisibleCount);
    case Action::decreaseVisibleCount:
      return revealing(callbacks.onDecreaseVisibleCount);
    case Action::increaseInterval:
      return revealing(callbacks.onIncreaseInterval);
    case Action::decreaseInterval:
      return revealing(callbacks.onDecreaseInterval);
    case Action::toggleFavorite:
      return ifTookEffect(callbacks.onToggleFavorite);
    case Action::toggleDeleteCandidate:
      return ifTookEffect(callbacks.onToggleDeleteCandidate);
    case Action::undoDeleteCandidate:
      return ifTookEffect(callbacks.onUndoDeleteCandidate);
  }
  return false;
}

bool handleSlideshowKey(int key, Qt::KeyboardModifiers modifiers, const QString& text,
                        const SlideshowKeyCallbacks& callbacks, bool fromControl) {
  const auto action = slideshowKeyAction(key, modifiers, text);
  if (!action.has_value() || (fromControl && !isSlideshowBarShortcut(*action))) return false;
  return performSlideshowKeyAction(*action, callbacks);
}

}  // namespace lorvex::ui
