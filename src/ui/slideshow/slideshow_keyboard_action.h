// The slideshow's keys and what pressing one does. Keys are matched by their logical key (what the
// layout produces), never by scan code; the keypad flag that arrow keys carry on some keyboards
// plays no part. Ctrl alone with Z undoes the last delete-candidate change; Alt alone with Up or
// Down changes the interval; any other chord with Ctrl, Alt or Meta is left alone. Shift does not
// stop the plain keys: Shift+F still toggles the favourite. The letter keys also need their text
// to be that letter (ignoring case), so a key whose text is missing or different passes on.
//
// Performing an action calls the callback the slideshow gave for it:
//   - close, previous and next: handled, controls not revealed;
//   - playback, count and interval: handled and the controls revealed, even without a callback;
//   - favourite, delete candidate and undo: handled only when the callback says it took effect,
//     then the controls are revealed; otherwise the key passes on.
//
// A focused control of the slideshow keeps its own keys (a stepper's arrows, a button's Return),
// but the bar's buttons carry Space, F and D: those keys act wherever the focus is in the
// slideshow, so a person who tabbed onto a control still plays, pauses and marks as before.
//
// Thread safety: pure functions; performSlideshowKeyAction calls the callbacks on the caller's
// thread.
#pragma once

#include <QString>
#include <Qt>
#include <functional>
#include <optional>

namespace lorvex::ui {

enum class SlideshowKeyboardAction {
  close,
  togglePlayback,
  previous,
  next,
  increaseVisibleCount,
  decreaseVisibleCount,
  increaseInterval,
  decreaseInterval,
  toggleFavorite,
  toggleDeleteCandidate,
  undoDeleteCandidate,
};

// `key` is a Qt::Key value and `text` the event's text (QKeyEvent::key() and text()). Nothing
// means the key is not the slideshow's.
std::optional<SlideshowKeyboardAction> slideshowKeyAction(int key, Qt::KeyboardModifiers modifiers,
                                                          const QString& text);

// True for the actions whose keys work while a control of the slideshow has the focus.
bool isSlideshowBarShortcut(SlideshowKeyboardAction action);

// What the slideshow does for each action; an absent callback does nothing.
struct SlideshowKeyCallbacks {
  std::function<void()> onPrevious;
  std::function<void()> onNext;
  std::function<void()> onTogglePlayback;
  std::function<void()> onIncreaseVisibleCount;
  std::function<void()> onDecreaseVisibleCount;
  std::function<void()> onIncreaseInterval;
  std::function<void()> onDecreaseInterval;
  // True when the change took effect.
  std::function<bool()> onToggleFavorite;
  std::function<bool()> onToggleDeleteCandidate;
  std::function<bool()> onUndoDeleteCandidate;
  std::function<void()> onRevealControls;
  std::function<void()> onClose;
};

// Runs the action by the rules above; true when the key was handled (and must not travel on).
bool performSlideshowKeyAction(SlideshowKeyboardAction action, const SlideshowKeyCallbacks& callbacks);

// The key's action performed, when it has one; false for a key that is not the slideshow's. With
// `fromControl` only the bar's shortcuts act and every other key is left to the control.
bool handleSlideshowKey(int key, Qt::KeyboardModifiers modifiers, const QString& text,
                        const SlideshowKeyCallbacks& callbacks, bool fromControl = false);

}  // namespace lorvex::ui
