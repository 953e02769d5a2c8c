#include "ui/common/animations.h"

#include <cmath>

namespace lorvex::ui {

namespace {
bool enabled = true;
}  // namespace

bool animationsEnabled() {
  return enabled;
}

void setAnimationsEnabled(bool value) {
  enabled = value;
}

int animationDurationMs(double seconds) {
  if (!enabled || !(seconds > 0)) return 0;
  return static_cast<int>(std::lround(seconds * 1000.0));
}

}  // namespace lorvex::ui
