// The cases of an enumeration, counted by the compiler, and the checks that hold a table keyed by
// an enumeration to them. A table with a row per case is checked against the enumeration itself,
// not against a count written beside it, so a case added without its row stops the build in every
// preset, wherever in the enumeration it was added.
//
// Counted enumerations number their cases 0, 1, 2, … without gaps (the default numbering).
//
// Thread safety: compile-time functions only.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <iterator>
#include <string_view>
#include <type_traits>

namespace lorvex {

namespace enum_cases_detail {

// Whether V is one of its enumeration's named cases. GCC and Clang write a template's value
// argument into the function's signature: a case by its name ("V = lorvex::Fruit::pear"), any
// other value as a cast ("V = (lorvex::Fruit)2").
template <auto V>
constexpr bool namesCase() {
  const std::string_view signature = __PRETTY_FUNCTION__;
  constexpr std::string_view marker = "V = ";
  const std::size_t at = signature.find(marker);
  return at != std::string_view::npos && at + marker.size() < signature.size() &&
         signature[at + marker.size()] != '(';
}

enum class Probe { only };
static_assert(namesCase<Probe::only>() && !namesCase<static_cast<Probe>(1)>(),
              "this compiler writes template arguments differently: enumCaseCount cannot count cases");

template <typename E, std::underlying_type_t<E> N>
constexpr std::size_t countFrom() {
  if constexpr (namesCase<static_cast<E>(N)>()) {
    return countFrom<E, N + 1>();
  } else {
    return static_cast<std::size_t>(N);
  }
}

}  // namespace enum_cases_detail

template <typename E>
requires std::is_enum_v<E>
constexpr std::size_t enumCaseCount() {
  return enum_cases_detail::countFrom<E, 0>();
}

// Every case, in case order.
template <typename E>
requires std::is_enum_v<E>
constexpr std::array<E, enumCaseCount<E>()> allCases() {
  std::array<E, enumCaseCount<E>()> cases{};
  for (std::size_t i = 0; i < cases.size(); ++i) cases[i] = static_cast<E>(i);
  return cases;
}

// Whether `rows` hold one row per case of the enumeration `key` reads from a row, in case order:
// the row of a case is the one at its value.
template <typename Rows, typename Key = std::identity>
constexpr bool holdsEveryCaseInOrder(const Rows& rows, Key key = {}) {
  using E = std::remove_cvref_t<decltype(std::invoke(key, *std::begin(rows)))>;
  if (std::size(rows) != enumCaseCount<E>()) return false;
  std::size_t index = 0;
  for (const auto& row : rows) {
    if (std::invoke(key, row) != static_cast<E>(index++)) return false;
  }
  return true;
}

// Whether `rows` hold one row per case of the enumeration `key` reads from a row, in any order
// (a table in an order of its own, as of precedence or of display).
template <typename Rows, typename Key = std::identity>
constexpr bool holdsEveryCaseOnce(const Rows& rows, Key key = {}) {
  using E = std::remove_cvref_t<decltype(std::invoke(key, *std::begin(rows)))>;
  std::array<bool, enumCaseCount<E>()> seen{};
  if (std::size(rows) != seen.size()) return false;
  for (const auto& row : rows) {
    const auto index = static_cast<std::size_t>(std::invoke(key, row));
    if (index >= seen.size() || seen[index]) return false;
    seen[index] = true;
  }
  return true;
}

}  // namespace lorvex
