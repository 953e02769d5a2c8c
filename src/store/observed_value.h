// The one rule of every observed property of the store's models: an equal value is stored
// silently, a different one is stored and its change signal sent.
#pragma once

#include <QObject>
#include <utility>

namespace lorvex {

// Returns whether the value changed (and the signal was sent).
template <typename T, typename Owner>
bool assignObserved(T& field, T value, Owner* owner, void (Owner::*changed)()) {
  if (field == value) return false;
  field = std::move(value);
  Q_EMIT(owner->*changed)();
  return true;
}

}  // namespace lorvex
