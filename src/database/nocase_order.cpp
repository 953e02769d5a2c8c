#include "database/nocase_order.h"

#include <algorithm>
#include <cstddef>

namespace lorvex::sql {

namespace {

constexpr int folded(unsigned char byte) {
  return byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
}

}  // namespace

int compareNoCase(std::string_view left, std::string_view right) {
  const std::size_t common = std::min(left.size(), right.size());
  for (std::size_t index = 0; index < common; ++index) {
    const auto a = static_cast<unsigned char>(left[index]);
    const auto b = static_cast<unsigned char>(right[index]);
    // SQLite's comparison stops at a NUL in the left text; what follows it is not compared.
    if (a == 0 || folded(a) != folded(b)) {
      const int order = folded(a) - folded(b);
      if (order != 0) return order;
      return left.size() < right.size() ? -1 : left.size() > right.size() ? 1 : 0;
    }
  }
  return left.size() < right.size() ? -1 : left.size() > right.size() ? 1 : 0;
}

}  // namespace lorvex::sql
