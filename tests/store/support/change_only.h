// The change-only rule every feature model's observed fields keep, checked one field at a time.
#pragma once

#include <gtest/gtest.h>

#include <QObject>
#include <functional>
#include <vector>

namespace lorvex::testing {

// Sets the initial value, `first` twice, `second` twice and the initial value again: each change
// from the value before it signals once, with the new value already readable; an equal value
// signals nothing.
template <typename Model, typename T>
void expectModelChangeOnly(Model& model, const std::function<void(Model&, T)>& set,
                           const std::function<T(const Model&)>& get, void (Model::*signal)(), T first,
                           T second) {
  const T initial = get(model);
  std::vector<T> seen;
  QObject::connect(&model, signal, [&] { seen.push_back(get(model)); });
  set(model, initial);
  EXPECT_TRUE(seen.empty()) << "an equal value signals nothing";
  std::vector<T> changes;
  T previous = initial;
  for (const T& value : {first, first, second, second, initial}) {
    set(model, value);
    if (!(value == previous)) changes.push_back(value);
    previous = value;
  }
  ASSERT_GE(changes.size(), 2u) << "the case must change the field at least twice";
  EXPECT_TRUE(seen == changes);
}

}  // namespace lorvex::testing
