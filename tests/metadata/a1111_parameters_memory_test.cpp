// How much memory the A1111 parser holds while it reads a hostile "parameters" text. This test
// counts every allocation made through operator new, so it lives in an executable of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "metadata/provider_parsers.h"

namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

// Each block carries its size in front of it, so the count needs no sized delete.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* countedAllocate(std::size_t size) {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(block) = size;
  const std::size_t live = liveBytes.fetch_add(size) + size;
  std::size_t peak = peakBytes.load();
  while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char*>(block) + kHeader;
}

void countedFree(void* pointer) noexcept {
  if (pointer == nullptr) return;
  void* block = static_cast<char*>(pointer) - kHeader;
  liveBytes.fetch_sub(*static_cast<std::size_t*>(block));
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
  return countedAllocate(size);
}
void* operator new[](std::size_t size) {
  return countedAllocate(size);
}
void operator delete(void* pointer) noexcept {
  countedFree(pointer);
}
void operator delete[](void* pointer) noexcept {
  countedFree(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
  countedFree(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
  countedFree(pointer);
}

namespace lorvex {
namespace {

// Peak memory allocated while parsing, beyond what was live before.
std::size_t parsingPeak(const PNGTextMetadata& metadata, std::optional<GenerationMetadata>& record) {
  const std::size_t before = liveBytes.load();
  peakBytes.store(before);
  record = A1111GenerationMetadataProviderParser{}.parse(metadata, {});
  return peakBytes.load() - before;
}

TEST(A1111ParametersMemoryTest, HoldsLittleMoreThanTheTextWhateverItsShape) {
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      // One line view each would hold 16 bytes per line feed.
      {"millions of empty lines", "cat" + std::string(4'000'000, '\n') + "Steps: 20"},
      // One map entry each would hold about a hundred bytes per five-byte pair.
      {"millions of short pairs",
       [] {
         std::string text = "cat\nSteps: 20";
         for (int i = 0; text.size() < 4'000'000; ++i) text += "," + std::to_string(i) + ":v";
         return text;
       }()},
  };
  for (const auto& c : cases) {
    PNGTextMetadata metadata;
    metadata.textChunks["parameters"] = c.text;
    std::optional<GenerationMetadata> record;
    const std::size_t peak = parsingPeak(metadata, record);
    ASSERT_TRUE(record) << c.name;
    EXPECT_EQ(record->prompt, "cat") << c.name;
    EXPECT_EQ(record->steps, 20) << c.name;
    EXPECT_LT(peak, 4 * c.text.size()) << c.name;
  }
}

}  // namespace
}  // namespace lorvex
