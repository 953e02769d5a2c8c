#include "store/path_index.h"

#include <algorithm>
#include <bit>
#include <functional>

namespace lorvex {

namespace {

// At most half full: probes stay short with linear probing.
std::size_t capacityFor(std::size_t count) {
  return std::bit_ceil(std::max<std::size_t>(16, count * 2));
}

}  // namespace

std::uint64_t PathIndex::hashOf(std::string_view key) {
  return std::hash<std::string_view>{}(key);
}

void PathIndex::clear(std::size_t expectedCount) {
  const std::size_t capacity = capacityFor(expectedCount);
  if (slots_.size() == capacity) {
    std::fill(slots_.begin(), slots_.end(), Slot{});
  } else {
    slots_.assign(capacity, Slot{});
  }
  size_ = 0;
}

const PathIndex::Slot* PathIndex::findSlot(std::string_view key, std::uint32_t tag) const {
  if (slots_.empty()) return nullptr;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = tag & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.key == nullptr) return &slot;
    if (slot.tag == tag && *slot.key == key) return &slot;
  }
}

void PathIndex::reserveFor(std::size_t count) {
  if (count * 2 <= slots_.size()) return;
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(capacityFor(count), Slot{});
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.key == nullptr) continue;
    std::size_t i = slot.tag & mask;
    while (slots_[i].key != nullptr) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

void PathIndex::assign(const std::string& key, std::uint64_t hash, int position) {
  reserveFor(size_ + 1);
  const auto tag = static_cast<std::uint32_t>(hash);
  auto* slot = const_cast<Slot*>(findSlot(key, tag));
  if (slot->key == nullptr) ++size_;
  *slot = Slot{&key, tag, position};
}

void PathIndex::repoint(const std::string& key) {
  auto* slot = const_cast<Slot*>(findSlot(key, static_cast<std::uint32_t>(hashOf(key))));
  if (slot != nullptr && slot->key != nullptr) slot->key = &key;
}

std::optional<int> PathIndex::find(std::string_view key, std::uint64_t hash) const {
  const Slot* slot = findSlot(key, static_cast<std::uint32_t>(hash));
  if (slot == nullptr || slot->key == nullptr) return std::nullopt;
  return slot->position;
}

}  // namespace lorvex
