// Raw values of the enumerations that are stored or exchanged as text or as integers.
//
// An enumeration opts in by specialising RawValueTable with its cases in declaration order and the
// raw value of each. Reading a raw value back accepts only the listed values, exactly (text is
// case-sensitive): stored data that names no case reads as nothing rather than as a default.
//
// Thread safety: constant tables and pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace lorvex {

// Specialise with `using Raw = std::string_view` (text) or `std::int64_t` (integer) and
// `static constexpr std::array<std::pair<E, Raw>, N> entries`, one entry per case in case order.
template <typename E>
struct RawValueTable;

template <typename E>
concept HasRawValues = requires {
  RawValueTable<E>::entries;
};

template <HasRawValues E>
using RawValueOf = typename RawValueTable<E>::Raw;

template <HasRawValues E>
constexpr RawValueOf<E> rawValue(E value) {
  for (const auto& [candidate, raw] : RawValueTable<E>::entries) {
    if (candidate == value) return raw;
  }
  return RawValueOf<E>{};  // unreachable for a declared case
}

template <HasRawValues E>
constexpr std::optional<E> fromRawValue(RawValueOf<E> raw) {
  for (const auto& [candidate, candidateRaw] : RawValueTable<E>::entries) {
    if (candidateRaw == raw) return candidate;
  }
  return std::nullopt;
}

// Every case, in case order.
template <HasRawValues E>
constexpr auto allCases() {
  std::array<E, RawValueTable<E>::entries.size()> cases{};
  for (std::size_t i = 0; i < cases.size(); ++i) cases[i] = RawValueTable<E>::entries[i].first;
  return cases;
}

}  // namespace lorvex
