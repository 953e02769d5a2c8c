#include "ui/common/key_taking_control.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>

namespace lorvex::ui {

bool isKeyTakingControl(const QWidget* focusWidget) {
  return qobject_cast<const QAbstractButton*>(focusWidget) != nullptr ||
         qobject_cast<const QComboBox*>(focusWidget) != nullptr ||
         qobject_cast<const QAbstractSlider*>(focusWidget) != nullptr;
}

}  // namespace lorvex::ui
