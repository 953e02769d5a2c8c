#include "ui/results/grid_keyboard_action.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace lorvex::ui {
namespace {

using Kind = GridKeyboardAction::Kind;

TEST(GridKeyboardAction, KeysAndModifiersMapToGridActions) {
  const Qt::KeyboardModifiers none;
  const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
  const Qt::KeyboardModifiers alt = Qt::AltModifier;
  const Qt::KeyboardModifiers meta = Qt::MetaModifier;
  const Qt::KeyboardModifiers keypad = Qt::KeypadModifier;
  const auto move = [](GridArrow arrow) { return GridKeyboardAction{Kind::move, arrow}; };
  const auto range = [](GridArrow arrow) { return GridKeyboardAction{Kind::rangeMove, arrow}; };
  const struct {
    std::string name;
    int key;
    Qt::KeyboardModifiers modifiers;
    std::optional<GridKeyboardAction> action;
  } cases[] = {
      {"left", Qt::Key_Left, none, move(GridArrow::left)},
      {"right", Qt::Key_Right, none, move(GridArrow::right)},
      {"up", Qt::Key_Up, none, move(GridArrow::up)},
      {"down", Qt::Key_Down, none, move(GridArrow::down)},
      {"keypad down", Qt::Key_Down, keypad, move(GridArrow::down)},
      {"shift left", Qt::Key_Left, shift, range(GridArrow::left)},
      {"shift down", Qt::Key_Down, shift, range(GridArrow::down)},
      {"shift keypad up", Qt::Key_Up, shift | keypad, range(GridArrow::up)},
      {"space", Qt::Key_Space, none, GridKeyboardAction{Kind::space}},
      {"shift space", Qt::Key_Space, shift, GridKeyboardAction{Kind::space}},
      {"backspace", Qt::Key_Backspace, none, GridKeyboardAction{Kind::deleteSelection}},
      {"delete", Qt::Key_Delete, none, GridKeyboardAction{Kind::deleteSelection}},
      {"keypad delete", Qt::Key_Delete, keypad, GridKeyboardAction{Kind::deleteSelection}},
      {"shift delete", Qt::Key_Delete, shift, GridKeyboardAction{Kind::deleteSelection}},
      {"ctrl z", Qt::Key_Z, ctrl, GridKeyboardAction{Kind::undoDeleteCandidate}},
      {"ctrl a", Qt::Key_A, ctrl, GridKeyboardAction{Kind::selectAll}},
      // Only Ctrl alone undoes or selects; every other chord belongs to the menus.
      {"ctrl shift z", Qt::Key_Z, ctrl | shift, std::nullopt},
      {"ctrl alt a", Qt::Key_A, ctrl | alt, std::nullopt},
      {"meta z", Qt::Key_Z, meta, std::nullopt},
      {"alt a", Qt::Key_A, alt, std::nullopt},
      {"plain z", Qt::Key_Z, none, std::nullopt},
      {"plain a", Qt::Key_A, none, std::nullopt},
      {"ctrl left", Qt::Key_Left, ctrl, std::nullopt},
      {"alt space", Qt::Key_Space, alt, std::nullopt},
      {"meta down", Qt::Key_Down, meta, std::nullopt},
      {"ctrl delete", Qt::Key_Delete, ctrl, std::nullopt},
      {"ctrl space", Qt::Key_Space, ctrl, std::nullopt},
      // Keys the grid does not take propagate.
      {"return", Qt::Key_Return, none, std::nullopt},
      {"escape", Qt::Key_Escape, none, std::nullopt},
      {"home", Qt::Key_Home, none, std::nullopt},
      {"page down", Qt::Key_PageDown, none, std::nullopt},
      {"tab", Qt::Key_Tab, none, std::nullopt},
      {"letter", Qt::Key_F, none, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(gridKeyboardAction(c.key, c.modifiers), c.action);
  }
}

}  // namespace
}  // namespace lorvex::ui
