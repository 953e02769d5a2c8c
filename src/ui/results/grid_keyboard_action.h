// Which grid action a key press asks for. Keys are matched by their logical key (what the
// layout produces), never by scan code, so Ctrl+Z undoes on every keyboard layout. The keypad
// flag that arrow keys carry on some keyboards plays no part, and Shift makes an arrow a range
// move but is ignored for Space and the delete keys. Any other combination with Ctrl, Alt or
// Meta is left to the menus and the rest of the window, as is every key without an action.
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <Qt>
#include <optional>

#include "ui/results/results_grid_geometry.h"

namespace lorvex::ui {

struct GridKeyboardAction {
  enum class Kind { move, rangeMove, space, deleteSelection, undoDeleteCandidate, selectAll };

  Kind kind = Kind::move;
  GridArrow direction = GridArrow::left;  // meaningful for move and rangeMove only

  // Every action but the arrows acts on what the grid holds rather than moving through it.
  bool isMove() const { return kind == Kind::move || kind == Kind::rangeMove; }

  friend bool operator==(const GridKeyboardAction&, const GridKeyboardAction&) = default;
};

// `key` is a Qt::Key value (QKeyEvent::key()). Nothing means the key is not the grid's: the
// event propagates.
std::optional<GridKeyboardAction> gridKeyboardAction(int key, Qt::KeyboardModifiers modifiers);

}  // namespace lorvex::ui
