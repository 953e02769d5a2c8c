#include "ui/sidebar/popover_focus_return.h"

namespace lorvex::ui {

PopoverFocusReturn::Decision PopoverFocusReturn::contentHidden(PopoverFlags flags) {
  isContentVisible_ = false;
  return restore(flags);
}

PopoverFocusReturn::Decision PopoverFocusReturn::presentedChanged(bool isPresented, PopoverFlags flags) {
  if (isPresented) {
    isRestorationRequested_ = false;
    return Decision::none;
  }
  isRestorationRequested_ = true;
  return restore(flags);
}

PopoverFocusReturn::Decision PopoverFocusReturn::restore(PopoverFlags flags) {
  if (!isRestorationRequested_ || isContentVisible_) return Decision::none;
  if (flags.isOwnPresented) return Decision::none;
  isRestorationRequested_ = false;
  if (flags.isOtherPresented) return Decision::none;
  return Decision::focusAfterYield;
}

bool PopoverFocusReturn::shouldFocusAfterYield(PopoverFlags flags) const {
  return !isContentVisible_ && !flags.isOwnPresented && !flags.isOtherPresented;
}

}  // namespace lorvex::ui
