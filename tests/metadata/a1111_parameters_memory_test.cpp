// How much memory the A1111 parser holds while it reads a hostile "parameters" text. This test
// counts every allocation made through operator new, so it lives in an executable of its own.
#include <gtest/gtest.h>

#include <string>

#include "metadata/provider_parsers.h"
#include "support/allocation_counter.h"

namespace lorvex {
namespace {

// Peak memory allocated while parsing, beyond what was live before.
std::size_t parsingPeak(const PNGTextMetadata& metadata, std::optional<GenerationMetadata>& record) {
  const std::size_t before = testing::resetAllocationPeak();
  record = A1111GenerationMetadataProviderParser{}.parse(metadata, {});
  return testing::allocationPeak() - before;
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
