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
  static std::uint64_t hashOf(std::string_view key);

  // Enters `key` (whose hash is `hash`) at `position`, replacing the position of an equal key.
  // The string must stay alive, unmoved, while entered; it is read only when another key has the
  // same hash, so entering a known hash touches no record.
  void assign(const std::string& key, std::uint64_t hash, int position);
  // Points the entry equal to `key` at this string instead (the same text in new storage).
  void repoint(const std::string& key);
  // Asks the processor to fetch the slot a key of this hash starts probing at, ahead of assign.
  void prefetch(std::uint64_t hash) const {
    if (!slots_.empty())
      __builtin_prefetch(&slots_[static_cast<std::uint32_t>(hash) & (slots_.size() - 1)], 1);
  }
  std::optional<int> find(std::string_view key) const { return find(key, hashOf(key)); }
  std::optional<int> find(std::string_view key, std::uint64_t hash) const;
  bool contains(std::string_view key) const { return find(key).has_value(); }
  bool contains(std::string_view key, std::uint64_t hash) const { return find(key, hash).has_value(); }
  std::size_t size() const { return size_; }

 private:
  // 16 bytes: a rebuild writes 100,000 of them at random places, so their size decides how much
  // of the table stays in cache. The tag is the hash's low 32 bits, which also place the slot
  // (tables stay far below 2^32 slots).
  struct Slot {
    const std::string* key = nullptr;  // null: empty
    std::uint32_t tag = 0;
    std::int32_t position = 0;
  };

  const Slot* findSlot(std::string_view key, std::uint32_t tag) const;
  void reserveFor(std::size_t count);

  std::vector<Slot> slots_;
  std::size_t size_ = 0;
};

}  // namespace lorvex
