// Counts every byte allocated through operator new, for tests that bound how much memory an
// operation holds at its peak. Defines the global allocation functions, so a test that includes
// it must be an executable of its own, and include it from one source file only.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace lorvex::testing {

inline std::atomic<std::size_t> liveBytes{0};
inline std::atomic<std::size_t> peakBytes{0};

// Bytes allocated now.
inline std::size_t allocatedBytes() {
  return liveBytes.load();
}

// Starts a new peak at what is allocated now; returns that.
inline std::size_t resetAllocationPeak() {
  const std::size_t live = liveBytes.load();
  peakBytes.store(live);
  return live;
}

// The most allocated at once since the last reset.
inline std::size_t allocationPeak() {
  return peakBytes.load();
}

namespace allocation_counter {

// Each block carries its size in front of it, so the count needs no sized delete.
inline constexpr std::size_t kHeader = alignof(std::max_align_t);

inline void* allocate(std::size_t size) {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(block) = size;
  const std::size_t live = liveBytes.fetch_add(size) + size;
  std::size_t peak = peakBytes.load();
  while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char*>(block) + kHeader;
}

inline void release(void* pointer) noexcept {
  if (pointer == nullptr) return;
  void* block = static_cast<char*>(pointer) - kHeader;
  liveBytes.fetch_sub(*static_cast<std::size_t*>(block));
  std::free(block);
}

}  // namespace allocation_counter
}  // namespace lorvex::testing

void* operator new(std::size_t size) {
  return lorvex::testing::allocation_counter::allocate(size);
}
void* operator new[](std::size_t size) {
  return lorvex::testing::allocation_counter::allocate(size);
}
void operator delete(void* pointer) noexcept {
  lorvex::testing::allocation_counter::release(pointer);
}
void operator delete[](void* pointer) noexcept {
  lorvex::testing::allocation_counter::release(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
  lorvex::testing::allocation_counter::release(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
  lorvex::testing::allocation_counter::release(pointer);
}
