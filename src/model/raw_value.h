// Raw values of the enumerations that are stored or exchanged as text or as integers.
//
// An enumeration opts in by specialising RawValueTable with its cases in declaration order and the
// raw value of each; a table that misses a case, or lists one out of order, does not build. Reading
// a raw value back accepts only the listed values, exactly (text is case-sensitive): stored data
// that names no case reads as nothing rather than as a default.
//
// Thread safety: constant tables and pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "model/enum_cases.h"

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

// The table, checked against the enumeration wherever a raw value is written or read.
template <HasRawValues E>
constexpr const auto& rawValueEntries() {
  static_assert(
      holdsEveryCaseInOrder(RawValueTable<E>::entries, [](const auto& entry) { return entry.first; }),
      "RawValueTable entries must list every case once, in case order");
  return RawValueTable<E>::entries;
}

template <HasRawValues E>
constexpr RawValueOf<E> rawValue(E value) {
  for (const auto& [candidate, raw] : rawValueEntries<E>()) {
    if (candidate == value) return raw;
  }
  return RawValueOf<E>{};  // unreachable for a declared case
}

template <HasRawValues E>
constexpr std::optional<E> fromRawValue(RawValueOf<E> raw) {
  for (const auto& [candidate, candidateRaw] : rawValueEntries<E>()) {
    if (candidateRaw == raw) return candidate;
  }
  return std::nullopt;
}

}  // namespace lorvex
