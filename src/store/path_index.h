// PathIndex: record path -> position, for the result window. An open-addressing table whose keys
// are the path strings inside the window's records (no copies: a rebuild over 100,000 records makes
// no allocation per record). The window keeps every record whose path is a key alive while it is
// entered, and re-points a key when it replaces a record by a changed copy.
//
// Thread safety: none; the window's thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex {

class PathIndex {
 public:
  // Empties the index, sized for `expectedCount` entries.
  void clear(std::size_t expectedCount);
  // Enters `key` at `position`, replacing the position of an equal key. The string must stay
  // alive, unmoved, while entered.
  void assign(const std::string& key, int position);
  // Points the entry equal to `key` at this string instead (the same text in new storage).
  void repoint(const std::string& key);
  std::optional<int> find(std::string_view key) const;
  bool contains(std::string_view key) const { return find(key).has_value(); }
  std::size_t size() const { return size_; }

 private:
  struct Slot {
    std::uint64_t hash = 0;
    const std::string* key = nullptr;  // null: empty
    int position = 0;
  };

  const Slot* findSlot(std::string_view key, std::uint64_t hash) const;
  void reserveFor(std::size_t count);

  std::vector<Slot> slots_;
  std::size_t size_ = 0;
};

}  // namespace lorvex
