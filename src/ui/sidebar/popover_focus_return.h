// Bringing the keyboard focus back to the control that opened a filter popover once the popover
// has really gone. Each popover (tag, model) has one machine; both read the two presented flags of
// the store's presentation object, so at most one popover is open.
//
// States: idle (no request, content not visible) -> opened by its control (request and focus
// dropped) -> content visible -> content gone with the flag false (request raised) -> focus given
// back or given up (request dropped). A popover closed because the other one opened gives up: the
// focus stays with the other popover. A popover whose flag is set again keeps its request for later.
//
// Giving the focus back happens one event-loop turn later (after the popover's own focus changes
// have settled): restore() answers `focusAfterYield`, the widget yields once and then asks
// shouldFocusAfterYield() whether the focus still belongs to the control.
//
// Thread safety: the main thread only.
#pragma once

namespace lorvex::ui {

struct PopoverFlags {
  bool isOwnPresented = false;
  bool isOtherPresented = false;
};

class PopoverFocusReturn {
 public:
  enum class Decision { none, focusAfterYield };

  bool isRestorationRequestedForTest() const { return isRestorationRequested_; }

  // The control opened the popover: focus and request are dropped (the popover takes the focus).
  void controlOpened() { isRestorationRequested_ = false; }
  // The popover's content came on screen.
  void contentShown() { isContentVisible_ = true; }
  // The content left the screen: visible becomes false, then the focus return runs.
  Decision contentHidden(PopoverFlags flags);
  // The presented flag changed (changes only, not its first value): false raises the request and
  // runs the focus return; true drops the request.
  Decision presentedChanged(bool isPresented, PopoverFlags flags);
  // The focus return: nothing unless requested and the content is gone; nothing (request kept)
  // while the own flag is set; given up while the other flag is set; otherwise the request drops
  // and the focus goes back after one yield.
  Decision restore(PopoverFlags flags);
  // After the yield: the content is still gone and neither popover is presented.
  bool shouldFocusAfterYield(PopoverFlags flags) const;

 private:
  bool isRestorationRequested_ = false;
  bool isContentVisible_ = false;
};

}  // namespace lorvex::ui
