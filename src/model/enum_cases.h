// The cases of an enumeration, counted by the compiler, and the checks that hold a table keyed by
// an enumeration to them. A table with a row per case is checked against the enumeration itself,
// not against a count written beside it, so a case added without its row stops the build in every
// preset, wherever in the enumeration it was added.
//
// Counted enumerations are scoped (enum class) and number their cases 0, 1, 2, … without gaps (the
// default numbering). The build refuses any other enumeration, and one with a case just outside
// that range: within kOutsideProbe values past the last case, or below 0 (a case given a value
// farther off cannot be seen).
//
// Thread safety: compile-time functions only.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <iterator>
#include <limits>
#include <string_view>
#include <type_traits>
#include <utility>

namespace lorvex {

// An enumeration whose cases cannot be mistaken for integers (enum class).
template <typename E>
concept ScopedEnum = std::is_enum_v<E> && !std::is_convertible_v<E, std::underlying_type_t<E>>;

namespace enum_cases_detail {

// How many values past the last case, and below 0, are looked at for a case out of place.
inline constexpr int kOutsideProbe = 64;

// The text the compiler writes for the template's value argument V in the function's signature:
// "lorvex::Fruit::pear" for a case, a cast such as "(lorvex::Fruit)2" for any other value. An
// enumeration in an anonymous namespace is written differently by each compiler: GCC
// "<unnamed>::Fruit::pear", Clang "(anonymous namespace)::Fruit::pear", with their casts
// "(<unnamed>::Fruit)2" and "((anonymous namespace)::Fruit)2".
template <auto V>
constexpr std::string_view valueText() {
  const std::string_view signature = __PRETTY_FUNCTION__;
  constexpr std::string_view marker = "V = ";
  const std::size_t at = signature.find(marker);
  if (at == std::string_view::npos) return {};
  const std::size_t begin = at + marker.size();
  const std::size_t end = signature.find_first_of(";]", begin);
  return end == std::string_view::npos ? std::string_view() : signature.substr(begin, end - begin);
}

// Whether a value's text is a cast: a parenthesised type, then a decimal number.
constexpr bool isCast(std::string_view text) {
  if (text.empty() || text.front() != '(') return false;
  const std::size_t close = text.rfind(')');
  if (close == std::string_view::npos) return false;
  std::string_view number = text.substr(close + 1);
  if (!number.empty() && number.front() == '-') number.remove_prefix(1);
  if (number.empty()) return false;
  for (const char digit : number) {
    if (digit < '0' || digit > '9') return false;
  }
  return true;
}

// Whether V is one of its enumeration's named cases.
template <auto V>
constexpr bool namesCase() {
  const std::string_view text = valueText<V>();
  return !text.empty() && !isCast(text);
}

// A compiler that writes these in another form would count no case, or count every value: the
// build stops here instead. Probed in a named namespace and in an anonymous one (below, at the
// outermost level, where the forms differ most).
enum class Probe { only };
static_assert(namesCase<Probe::only>() && !namesCase<static_cast<Probe>(1)>() &&
                  !namesCase<static_cast<Probe>(-1)>(),
              "this compiler writes template arguments differently: enumCaseCount cannot count cases");

template <typename E, std::underlying_type_t<E> N>
constexpr std::size_t countFrom() {
  if constexpr (namesCase<static_cast<E>(N)>()) {
    return countFrom<E, N + 1>();
  } else {
    return static_cast<std::size_t>(N);
  }
}

// Whether no value of E from First on (at most kOutsideProbe of them, within its underlying type)
// names a case.
template <typename E, long long First, int... I>
constexpr bool namesNoCaseFrom(std::integer_sequence<int, I...>) {
  using U = std::underlying_type_t<E>;
  const auto names = [](auto offset) {
    constexpr long long value = First + decltype(offset)::value;
    if constexpr (value > static_cast<long long>(std::numeric_limits<U>::max())) {
      return false;
    } else {
      return namesCase<static_cast<E>(static_cast<U>(value))>();
    }
  };
  return !(names(std::integral_constant<int, I>{}) || ...);
}

// Whether no value of E below 0 (down to -kOutsideProbe) names a case.
template <typename E, int... I>
constexpr bool namesNoCaseBelowZero(std::integer_sequence<int, I...>) {
  using U = std::underlying_type_t<E>;
  if constexpr (std::is_unsigned_v<U>) {
    return true;
  } else {
    return !(namesCase<static_cast<E>(static_cast<U>(-1 - I))>() || ...);
  }
}

// Whether every case of E lies in 0 … count - 1, as far as the probes reach.
template <typename E, std::size_t Count>
constexpr bool namesCasesOnlyBelow() {
  using Probes = std::make_integer_sequence<int, kOutsideProbe>;
  return namesNoCaseFrom<E, static_cast<long long>(Count) + 1>(Probes{}) && namesNoCaseBelowZero<E>(Probes{});
}

}  // namespace enum_cases_detail

template <ScopedEnum E>
constexpr std::size_t enumCaseCount() {
  constexpr std::size_t count = enum_cases_detail::countFrom<E, 0>();
  static_assert(enum_cases_detail::namesCasesOnlyBelow<E, count>(),
                "a counted enumeration numbers its cases 0, 1, 2, … without gaps: one lies outside");
  return count;
}

// Every case, in case order.
template <ScopedEnum E>
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

// The outermost anonymous namespace, where GCC and Clang write an enumeration's name in forms of
// their own (see valueText).
namespace {
enum class LorvexEnumCasesAnonymousProbe { only };
static_assert(lorvex::enum_cases_detail::namesCase<LorvexEnumCasesAnonymousProbe::only>() &&
                  !lorvex::enum_cases_detail::namesCase<static_cast<LorvexEnumCasesAnonymousProbe>(1)>(),
              "this compiler writes an anonymous namespace's enumerations differently: enumCaseCount "
              "cannot count their cases");
}  // namespace
