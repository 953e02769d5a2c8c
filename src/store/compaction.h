// Removing many elements of a vector at once: every kept element after the first removed one
// moves once. The result window removes records this way, and a listener that keeps its own copy
// of the records applies the same removal to it.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace lorvex {

// Removes the elements at `positions` (ascending, each once, all within `items`).
template <typename T>
void removePositions(std::vector<T>& items, const std::vector<int>& positions) {
  if (positions.empty()) return;
  std::size_t write = static_cast<std::size_t>(positions.front());
  std::size_t next = 0;
  for (std::size_t read = write; read < items.size(); ++read) {
    if (next < positions.size() && static_cast<std::size_t>(positions[next]) == read) {
      ++next;
      continue;
    }
    items[write++] = std::move(items[read]);
  }
  items.resize(write);
}

}  // namespace lorvex
