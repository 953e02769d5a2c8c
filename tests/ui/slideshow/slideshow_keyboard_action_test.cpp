#include "ui/slideshow/slideshow_keyboard_action.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace lorvex::ui {
namespace {

using Action = SlideshowKeyboardAction;

TEST(SlideshowKeyAction, LogicalKeysAndModifiersMapToActions) {
  const Qt::KeyboardModifiers none;
  const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
  const Qt::KeyboardModifiers alt = Qt::AltModifier;
  const Qt::KeyboardModifiers meta = Qt::MetaModifier;
  const Qt::KeyboardModifiers keypad = Qt::KeypadModifier;
  const struct {
    std::string name;
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    std::optional<Action> action;
  } cases[] = {
      {"escape", Qt::Key_Escape, none, "\x1b", Action::close},
      {"space", Qt::Key_Space, none, " ", Action::togglePlayback},
      {"left", Qt::Key_Left, none, "", Action::previous},
      {"right", Qt::Key_Right, none, "", Action::next},
      {"up", Qt::Key_Up, none, "", Action::increaseVisibleCount},
      {"down", Qt::Key_Down, none, "", Action::decreaseVisibleCount},
      {"keypad up", Qt::Key_Up, keypad, "", Action::increaseVisibleCount},
      {"f", Qt::Key_F, none, "f", Action::toggleFavorite},
      {"d", Qt::Key_D, none, "d", Action::toggleDeleteCandidate},
      // Shift alone does not stop the table; letters compare ignoring case.
      {"shift f", Qt::Key_F, shift, "F", Action::toggleFavorite},
      {"shift d", Qt::Key_D, shift, "D", Action::toggleDeleteCandidate},
      {"shift space", Qt::Key_Space, shift, " ", Action::togglePlayback},
      {"shift left", Qt::Key_Left, shift, "", Action::previous},
      // A letter key whose text is missing or another letter is not the slideshow's.
      {"f without text", Qt::Key_F, none, "", std::nullopt},
      {"f typing another letter", Qt::Key_F, none, "a", std::nullopt},
      {"ctrl z", Qt::Key_Z, ctrl, "\x1a", Action::undoDeleteCandidate},
      {"ctrl z with keypad flag", Qt::Key_Z, ctrl | keypad, "\x1a", Action::undoDeleteCandidate},
      {"ctrl shift z", Qt::Key_Z, ctrl | shift, "\x1a", std::nullopt},
      {"ctrl alt z", Qt::Key_Z, ctrl | alt, "", std::nullopt},
      {"meta z", Qt::Key_Z, meta, "z", std::nullopt},
      {"plain z", Qt::Key_Z, none, "z", std::nullopt},
      {"alt up", Qt::Key_Up, alt, "", Action::increaseInterval},
      {"alt down", Qt::Key_Down, alt, "", Action::decreaseInterval},
      {"alt up with keypad", Qt::Key_Up, alt | keypad, "", Action::increaseInterval},
      {"alt down with keypad", Qt::Key_Down, alt | keypad, "", Action::decreaseInterval},
      {"alt shift up", Qt::Key_Up, alt | shift, "", std::nullopt},
      {"alt left", Qt::Key_Left, alt, "", std::nullopt},
      {"alt f", Qt::Key_F, alt, "f", std::nullopt},
      {"alt escape", Qt::Key_Escape, alt, "", std::nullopt},
      {"meta space", Qt::Key_Space, meta, " ", std::nullopt},
      {"ctrl space", Qt::Key_Space, ctrl, " ", std::nullopt},
      {"ctrl right", Qt::Key_Right, ctrl, "", std::nullopt},
      {"ctrl f", Qt::Key_F, ctrl, "\x06", std::nullopt},
      {"meta d", Qt::Key_D, meta, "d", std::nullopt},
      {"ctrl up", Qt::Key_Up, ctrl, "", std::nullopt},
      {"return", Qt::Key_Return, none, "\r", std::nullopt},
      {"tab", Qt::Key_Tab, none, "\t", std::nullopt},
      {"letter a", Qt::Key_A, none, "a", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(slideshowKeyAction(c.key, c.modifiers, c.text), c.action);
  }
}

// Records every callback in call order; the three review callbacks answer as told.
struct CallLog {
  std::vector<std::string> calls;
  bool reviewAnswer = true;

  SlideshowKeyCallbacks callbacks(bool withActions = true) {
    SlideshowKeyCallbacks c;
    c.onRevealControls = [this] { calls.push_back("reveal"); };
    if (!withActions) return c;
    c.onPrevious = [this] { calls.push_back("previous"); };
    c.onNext = [this] { calls.push_back("next"); };
    c.onTogglePlayback = [this] { calls.push_back("playback"); };
    c.onIncreaseVisibleCount = [this] { calls.push_back("count+"); };
    c.onDecreaseVisibleCount = [this] { calls.push_back("count-"); };
    c.onIncreaseInterval = [this] { calls.push_back("interval+"); };
    c.onDecreaseInterval = [this] { calls.push_back("interval-"); };
    c.onToggleFavorite = [this] { return calls.push_back("favorite"), reviewAnswer; };
    c.onToggleDeleteCandidate = [this] { return calls.push_back("deleteCandidate"), reviewAnswer; };
    c.onUndoDeleteCandidate = [this] { return calls.push_back("undo"), reviewAnswer; };
    c.onClose = [this] { calls.push_back("close"); };
    return c;
  }
};

TEST(SlideshowKeyAction, PerformingCallsTheActionThenRevealsWhereTheActionAsks) {
  using Calls = std::vector<std::string>;
  const struct {
    std::string name;
    Action action;
    bool withActions;
    bool reviewAnswer;
    bool handled;
    Calls calls;
  } cases[] = {
      {"close does not reveal", Action::close, true, true, true, {"close"}},
      {"previous does not reveal", Action::previous, true, true, true, {"previous"}},
      {"next does not reveal", Action::next, true, true, true, {"next"}},
      {"playback reveals after acting", Action::togglePlayback, true, true, true, {"playback", "reveal"}},
      {"more images", Action::increaseVisibleCount, true, true, true, {"count+", "reveal"}},
      {"fewer images", Action::decreaseVisibleCount, true, true, true, {"count-", "reveal"}},
      {"longer interval", Action::increaseInterval, true, true, true, {"interval+", "reveal"}},
      {"shorter interval", Action::decreaseInterval, true, true, true, {"interval-", "reveal"}},
      {"favorite taken", Action::toggleFavorite, true, true, true, {"favorite", "reveal"}},
      {"delete candidate taken",
       Action::toggleDeleteCandidate,
       true,
       true,
       true,
       {"deleteCandidate", "reveal"}},
      {"undo taken", Action::undoDeleteCandidate, true, true, true, {"undo", "reveal"}},
      // A review action that did not take effect lets the key travel on, unrevealed.
      {"favorite refused", Action::toggleFavorite, true, false, false, {"favorite"}},
      {"delete candidate refused", Action::toggleDeleteCandidate, true, false, false, {"deleteCandidate"}},
      {"undo refused", Action::undoDeleteCandidate, true, false, false, {"undo"}},
      // Without callbacks: the plain actions are still handled, the revealing ones still reveal,
      // and the review ones pass on.
      {"space without a callback", Action::togglePlayback, false, true, true, {"reveal"}},
      {"up without a callback", Action::increaseVisibleCount, false, true, true, {"reveal"}},
      {"down without a callback", Action::decreaseVisibleCount, false, true, true, {"reveal"}},
      {"escape without a callback", Action::close, false, true, true, {}},
      {"left without a callback", Action::previous, false, true, true, {}},
      {"favorite without a callback", Action::toggleFavorite, false, true, false, {}},
      {"undo without a callback", Action::undoDeleteCandidate, false, true, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CallLog log;
    log.reviewAnswer = c.reviewAnswer;
    EXPECT_EQ(performSlideshowKeyAction(c.action, log.callbacks(c.withActions)), c.handled);
    EXPECT_EQ(log.calls, c.calls);
  }
}

TEST(SlideshowKeyAction, KeysWithoutAnActionCallNothingAndAreNotHandled) {
  CallLog log;
  EXPECT_FALSE(handleSlideshowKey(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, "", log.callbacks()));
  EXPECT_FALSE(handleSlideshowKey(Qt::Key_Space, Qt::MetaModifier, " ", log.callbacks()));
  EXPECT_TRUE(log.calls.empty());
  EXPECT_TRUE(handleSlideshowKey(Qt::Key_Up, Qt::AltModifier | Qt::KeypadModifier, "", log.callbacks()));
  EXPECT_EQ(log.calls, (std::vector<std::string>{"interval+", "reveal"}));
}

// From a focused control only the bar's shortcuts act; the control keeps its arrows, Escape and
// chords.
TEST(SlideshowKeyAction, FromAControlOnlySpaceFAndDAct) {
  CallLog log;
  EXPECT_FALSE(handleSlideshowKey(Qt::Key_Up, Qt::NoModifier, "", log.callbacks(), true));
  EXPECT_FALSE(handleSlideshowKey(Qt::Key_Left, Qt::NoModifier, "", log.callbacks(), true));
  EXPECT_FALSE(handleSlideshowKey(Qt::Key_Escape, Qt::NoModifier, "", log.callbacks(), true));
  EXPECT_FALSE(handleSlideshowKey(Qt::Key_Down, Qt::AltModifier, "", log.callbacks(), true));
  EXPECT_TRUE(log.calls.empty());
  EXPECT_TRUE(handleSlideshowKey(Qt::Key_Space, Qt::NoModifier, " ", log.callbacks(), true));
  EXPECT_TRUE(handleSlideshowKey(Qt::Key_F, Qt::ShiftModifier, "F", log.callbacks(), true));
  EXPECT_TRUE(handleSlideshowKey(Qt::Key_D, Qt::NoModifier, "d", log.callbacks(), true));
  EXPECT_EQ(log.calls, (std::vector<std::string>{"playback", "reveal", "favorite", "reveal",
                                                 "deleteCandidate", "reveal"}));
}

}  // namespace
}  // namespace lorvex::ui
