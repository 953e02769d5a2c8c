#include "store/path_set.h"

#include <functional>
#include <stdexcept>
#include <utility>

namespace lorvex {

PathSet::PathSet(const PathSet& other) noexcept : table_(other.table_) {
  if (table_ != nullptr) table_->references.fetch_add(1, std::memory_order_relaxed);
}

PathSet& PathSet::operator=(const PathSet& other) noexcept {
  if (table_ != other.table_) {
    PathSet copy(other);
    std::swap(table_, copy.table_);
  }
  return *this;
}

PathSet::PathSet(PathSet&& other) noexcept : table_(std::exchange(other.table_, nullptr)) {}

PathSet& PathSet::operator=(PathSet&& other) noexcept {
  if (this != &other) {
    release();
    table_ = std::exchange(other.table_, nullptr);
  }
  return *this;
}

PathSet::~PathSet() {
  release();
}

PathSet::PathSet(std::initializer_list<std::string_view> paths) {
  reserve(paths.size());
  for (const std::string_view path : paths) insert(path);
}

void PathSet::release() noexcept {
  Table* table = std::exchange(table_, nullptr);
  // The last copy to let go frees the storage; the acquire half orders every other copy's reads
  // of it before the delete.
  if (table != nullptr && table->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete table;
}

PathSet::Table& PathSet::writable() {
  if (table_ == nullptr) {
    table_ = new Table;
  } else if (table_->references.load(std::memory_order_acquire) != 1) {
    // Shared: this copy takes storage of its own. A count of 1 read with acquire means every other
    // copy has let go, after its last read, so the storage can be changed in place.
    // With the room the shared one had: the change that comes next is often an insert, which
    // would otherwise grow every array at once.
    auto* own = new Table;
    own->characters.reserve(table_->characters.capacity());
    own->characters = table_->characters;
    own->entries.reserve(table_->entries.capacity());
    own->entries = table_->entries;
    own->buckets = table_->buckets;
    own->size = table_->size;
    own->tombstones = table_->tombstones;
    release();
    table_ = own;
  }
  return *table_;
}

std::size_t PathSet::hashOf(std::string_view path) {
  return std::hash<std::string_view>{}(path);
}

void PathSet::reserve(std::size_t count, std::size_t characters) {
  Table& table = writable();
  table.characters.reserve(table.characters.size() + characters);
  table.entries.reserve(table.entries.size() + count);
  if ((table.size + table.tombstones + count) * 2 > table.buckets.size()) rebuild(table, table.size + count);
}

std::size_t PathSet::find(std::string_view path, std::size_t hash) const {
  if (table_ == nullptr || table_->buckets.empty()) return kNone;
  const std::vector<std::uint32_t>& buckets = table_->buckets;
  const std::size_t mask = buckets.size() - 1;
  // At most half the buckets are taken (live or tombstone), so the probe meets an empty one.
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const std::uint32_t taken = buckets[slot];
    if (taken == kEmpty) return kNone;
    if (taken == kTombstone) continue;
    const Entry& entry = table_->entries[taken - 1];
    if (entry.hash == hash && view(entry) == path) return slot;
  }
}

bool PathSet::insert(std::string_view path, std::size_t hash) {
  if (find(path, hash) != kNone) return false;
  Table& table = writable();
  if ((table.size + table.tombstones + 1) * 2 > table.buckets.size()) {
    // Grow when the live paths fill the table; a table clogged with tombstones is only swept.
    const std::size_t live = table.size + 1;
    rebuild(table, live * 4 > table.buckets.size() ? live * 2 : live);
  }
  if (table.entries.size() >= kTombstone - 1) throw std::length_error("PathSet: too many paths");
  const std::size_t mask = table.buckets.size() - 1;
  std::size_t slot = hash & mask;
  while (table.buckets[slot] != kEmpty && table.buckets[slot] != kTombstone) slot = (slot + 1) & mask;
  if (table.buckets[slot] == kTombstone) --table.tombstones;
  table.entries.push_back(Entry{hash, table.characters.size(), path.size()});
  table.characters.append(path);
  table.buckets[slot] = static_cast<std::uint32_t>(table.entries.size());
  ++table.size;
  return true;
}

std::size_t PathSet::erase(std::string_view path) {
  const std::size_t slot = find(path);
  if (slot == kNone) return 0;
  // A storage of its own is an exact copy: the slot found in the shared one is the same.
  Table& table = writable();
  table.entries[table.buckets[slot] - 1].length = kErased;
  table.buckets[slot] = kTombstone;
  ++table.tombstones;
  --table.size;
  if (table.size == 0) clear();
  return 1;
}

void PathSet::clear() {
  release();
}

void PathSet::rebuild(Table& table, std::size_t capacity) {
  if (table.size != table.entries.size()) {
    // Erased paths leave their characters behind; the rebuild is the moment to drop them.
    std::string characters;
    characters.reserve(table.characters.capacity());
    std::vector<Entry> entries;
    entries.reserve(table.entries.capacity());
    for (const Entry& entry : table.entries) {
      if (entry.length == kErased) continue;
      entries.push_back(Entry{entry.hash, characters.size(), entry.length});
      characters.append(table.characters, entry.offset, entry.length);
    }
    table.characters = std::move(characters);
    table.entries = std::move(entries);
  }
  std::size_t slotCount = 8;
  while (slotCount < capacity * 2 || slotCount < table.size * 2) slotCount *= 2;
  table.buckets.assign(slotCount, kEmpty);
  const std::size_t mask = slotCount - 1;
  for (std::size_t index = 0; index < table.entries.size(); ++index) {
    std::size_t slot = table.entries[index].hash & mask;
    while (table.buckets[slot] != kEmpty) slot = (slot + 1) & mask;
    table.buckets[slot] = static_cast<std::uint32_t>(index + 1);
  }
  table.tombstones = 0;
}

bool operator==(const PathSet& a, const PathSet& b) {
  if (a.table_ == b.table_) return true;
  if (a.size() != b.size()) return false;
  for (const std::string_view path : a) {
    if (!b.contains(path)) return false;
  }
  return true;
}

}  // namespace lorvex
