#include "store/path_set.h"

#include <functional>
#include <stdexcept>
#include <utility>

namespace lorvex {

PathSet::PathSet(PathSet&& other) noexcept
    : characters_(std::move(other.characters_)),
      entries_(std::move(other.entries_)),
      slots_(std::move(other.slots_)),
      size_(std::exchange(other.size_, 0)),
      tombstones_(std::exchange(other.tombstones_, 0)) {
  other.clear();
}

PathSet& PathSet::operator=(PathSet&& other) noexcept {
  if (this != &other) {
    characters_ = std::move(other.characters_);
    entries_ = std::move(other.entries_);
    slots_ = std::move(other.slots_);
    size_ = std::exchange(other.size_, 0);
    tombstones_ = std::exchange(other.tombstones_, 0);
    other.clear();
  }
  return *this;
}

PathSet::PathSet(std::initializer_list<std::string_view> paths) {
  reserve(paths.size());
  for (const std::string_view path : paths) insert(path);
}

std::size_t PathSet::hashOf(std::string_view path) {
  return std::hash<std::string_view>{}(path);
}

void PathSet::reserve(std::size_t count, std::size_t characters) {
  characters_.reserve(characters_.size() + characters);
  entries_.reserve(entries_.size() + count);
  if ((size_ + tombstones_ + count) * 2 > slots_.size()) rebuild(size_ + count);
}

std::size_t PathSet::find(std::string_view path, std::size_t hash) const {
  if (slots_.empty()) return kNone;
  const std::size_t mask = slots_.size() - 1;
  // At most half the slots are taken (live or tombstone), so the probe meets an empty one.
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const std::uint32_t taken = slots_[slot];
    if (taken == kEmpty) return kNone;
    if (taken == kTombstone) continue;
    const Entry& entry = entries_[taken - 1];
    if (entry.hash == hash && view(entry) == path) return slot;
  }
}

bool PathSet::insert(std::string_view path, std::size_t hash) {
  if (find(path, hash) != kNone) return false;
  if ((size_ + tombstones_ + 1) * 2 > slots_.size()) {
    // Grow when the live paths fill the table; a table clogged with tombstones is only swept.
    const std::size_t live = size_ + 1;
    rebuild(live * 4 > slots_.size() ? live * 2 : live);
  }
  if (entries_.size() >= kTombstone - 1) throw std::length_error("PathSet: too many paths");
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = hash & mask;
  while (slots_[slot] != kEmpty && slots_[slot] != kTombstone) slot = (slot + 1) & mask;
  if (slots_[slot] == kTombstone) --tombstones_;
  entries_.push_back(Entry{hash, characters_.size(), path.size()});
  characters_.append(path);
  slots_[slot] = static_cast<std::uint32_t>(entries_.size());
  ++size_;
  return true;
}

std::size_t PathSet::erase(std::string_view path) {
  const std::size_t slot = find(path);
  if (slot == kNone) return 0;
  entries_[slots_[slot] - 1].length = kErased;
  slots_[slot] = kTombstone;
  ++tombstones_;
  --size_;
  if (size_ == 0) clear();
  return 1;
}

void PathSet::clear() {
  characters_.clear();
  entries_.clear();
  slots_.clear();
  size_ = 0;
  tombstones_ = 0;
}

void PathSet::rebuild(std::size_t capacity) {
  if (size_ != entries_.size()) {
    // Erased paths leave their characters behind; the rebuild is the moment to drop them.
    std::string characters;
    characters.reserve(characters_.capacity());
    std::vector<Entry> entries;
    entries.reserve(entries_.capacity());
    for (const Entry& entry : entries_) {
      if (entry.length == kErased) continue;
      entries.push_back(Entry{entry.hash, characters.size(), entry.length});
      characters.append(view(entry));
    }
    characters_ = std::move(characters);
    entries_ = std::move(entries);
  }
  std::size_t slotCount = 8;
  while (slotCount < capacity * 2 || slotCount < size_ * 2) slotCount *= 2;
  slots_.assign(slotCount, kEmpty);
  const std::size_t mask = slotCount - 1;
  for (std::size_t index = 0; index < entries_.size(); ++index) {
    std::size_t slot = entries_[index].hash & mask;
    while (slots_[slot] != kEmpty) slot = (slot + 1) & mask;
    slots_[slot] = static_cast<std::uint32_t>(index + 1);
  }
  tombstones_ = 0;
}

bool operator==(const PathSet& a, const PathSet& b) {
  if (a.size() != b.size()) return false;
  for (const std::string_view path : a) {
    if (!b.contains(path)) return false;
  }
  return true;
}

}  // namespace lorvex
