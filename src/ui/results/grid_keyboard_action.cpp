#include "ui/results/grid_keyboard_action.h"

namespace lorvex::ui {

namespace {

std::optional<GridArrow> arrowOf(int key) {
  switch (key) {
    case Qt::Key_Left:
      return GridArrow::left;
    case Qt::Key_Right:
      return GridArrow::right;
    case Qt::Key_Up:
      return GridArrow::up;
    case Qt::Key_Down:
      return GridArrow::down;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<GridKeyboardAction> gridKeyboardAction(int key, Qt::KeyboardModifiers modifiers) {
  using Kind = GridKeyboardAction::Kind;
  const Qt::KeyboardModifiers held = modifiers & ~Qt::KeyboardModifiers(Qt::KeypadModifier);
  const Qt::KeyboardModifiers chord = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

  if (held == Qt::ControlModifier) {
    if (key == Qt::Key_Z) return GridKeyboardAction{Kind::undoDeleteCandidate};
    if (key == Qt::Key_A) return GridKeyboardAction{Kind::selectAll};
    return std::nullopt;
  }
  if (held & chord) return std::nullopt;

  if (const auto arrow = arrowOf(key)) {
    return GridKeyboardAction{held.testFlag(Qt::ShiftModifier) ? Kind::rangeMove : Kind::move, *arrow};
  }
  switch (key) {
    case Qt::Key_Space:
      return GridKeyboardAction{Kind::space};
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
      return GridKeyboardAction{Kind::deleteSelection};
    default:
      return std::nullopt;
  }
}

}  // namespace lorvex::ui
