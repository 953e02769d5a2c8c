#include "database/internal/nocase_order.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lorvex::sql {

namespace {

constexpr int folded(unsigned char byte) {
  return byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
}

constexpr bool hasZeroByte(std::uint64_t word) {
  return ((word - 0x0101010101010101ULL) & ~word & 0x8080808080808080ULL) != 0;
}

int compareLengths(std::size_t left, std::size_t right) {
  return left < right ? -1 : left > right ? 1 : 0;
}

}  // namespace

int compareNoCase(std::string_view left, std::string_view right) {
  const std::size_t common = std::min(left.size(), right.size());
  std::size_t index = 0;
  while (index < common) {
    // Eight identical bytes without a NUL are equal under any folding: tags often share long
    // prefixes, and sorting a page's tags compares them many times.
    if (index + 8 <= common) {
      std::uint64_t a = 0;
      std::uint64_t b = 0;
      std::memcpy(&a, left.data() + index, 8);
      std::memcpy(&b, right.data() + index, 8);
      if (a == b && !hasZeroByte(a)) {
        index += 8;
        continue;
      }
    }
    for (const std::size_t end = std::min(index + 8, common); index < end; ++index) {
      const auto a = static_cast<unsigned char>(left[index]);
      const auto b = static_cast<unsigned char>(right[index]);
      // SQLite's comparison stops at a NUL in the left text; what follows it is not compared.
      if (a == 0 || folded(a) != folded(b)) {
        const int order = folded(a) - folded(b);
        return order != 0 ? order : compareLengths(left.size(), right.size());
      }
    }
  }
  return compareLengths(left.size(), right.size());
}

}  // namespace lorvex::sql
