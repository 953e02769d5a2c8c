// The suggestion debounce on the store's fake clock: keystrokes within the pause cost one load for
// the final text, a blank text loads at once, and an answer for an earlier text never shows.
#include "ui/sidebar/suggestion_load_pipeline.h"

#include <gtest/gtest.h>

#include "store/image_library_store.h"
#include "store/support/store_harness.h"

namespace lorvex::ui {
namespace {

using lorvex::testing::StoreHarness;

constexpr std::int64_t kMillisecond = 1'000'000;

struct Recorded {
  std::vector<std::string> steps;
};

// Steps that record what the pipeline asks for; loads end at once.
SuggestionLoadPipeline::Steps recordingSteps(Recorded& recorded) {
  return {[&recorded] { recorded.steps.push_back("begin"); },
          [&recorded](std::string text) -> QCoro::Task<void> {
            recorded.steps.push_back("load '" + text + "'");
            co_return;
          },
          [](std::string_view text) { return text.find_first_not_of(" \n") == std::string_view::npos; }};
}

TEST(SuggestionLoadPipelineTest, DebouncesTypingAndLoadsBlankTextAtOnce) {
  const struct {
    const char* name;
    std::vector<std::pair<std::int64_t, std::string>> keystrokes;  // (ms after the previous one, text)
    std::int64_t waitAfterMs;
    std::vector<std::string> steps;
  } cases[] = {
      {"three keys within the pause: one load for the final text",
       {{0, "s"}, {100, "sk"}, {249, "sky"}},
       250,
       {"begin", "begin", "begin", "load 'sky'"}},
      {"nothing before the pause has passed", {{0, "s"}}, 249, {"begin"}},
      {"a pause between keys loads each",
       {{0, "s"}, {250, "sk"}},
       250,
       {"begin", "load 's'", "begin", "load 'sk'"}},
      {"blank text at once, untrimmed", {{0, "  "}}, 0, {"begin", "load '  '"}},
      {"cleared text cancels the pending load", {{0, "sk"}, {10, ""}}, 1000, {"begin", "begin", "load ''"}},
  };
  for (const auto& c : cases) {
    StoreHarness harness;
    auto store = harness.makeStore();
    Recorded recorded;
    {
      SuggestionLoadPipeline pipeline(store->context(), recordingSteps(recorded));
      for (const auto& [afterMs, text] : c.keystrokes) {
        harness.clock.advance(afterMs * kMillisecond);
        harness.drainEvents();
        pipeline.run(text);
        harness.drainEvents();
      }
      harness.clock.advance(c.waitAfterMs * kMillisecond);
      harness.drainEvents();
      EXPECT_EQ(recorded.steps, c.steps) << c.name;
    }
  }
}

TEST(SuggestionLoadPipelineTest, ClosingThePopoverDropsThePendingLoad) {
  StoreHarness harness;
  auto store = harness.makeStore();
  Recorded recorded;
  {
    SuggestionLoadPipeline pipeline(store->context(), recordingSteps(recorded));
    pipeline.run("sky");
    harness.drainEvents();
  }
  harness.clock.advance(500 * kMillisecond);
  harness.drainEvents();
  EXPECT_EQ(recorded.steps, (std::vector<std::string>{"begin"}));
}

TEST(SuggestionLoadPipelineTest, AStaleAnswerNeverShowsOverTheStores) {
  StoreHarness harness;
  harness.service->setTagSuggestions({{"sky", 3}});
  auto store = harness.makeStore();
  SuggestionLoadPipeline pipeline(store->context(),
                                  SuggestionLoadPipeline::tagSuggestionSteps(store->suggestions()));
  harness.service->hold("tagSuggestions");

  pipeline.run("s");
  harness.clock.advance(250 * kMillisecond);
  ASSERT_TRUE(harness.service->waitForHeld("tagSuggestions", 1));
  const auto first = harness.service->heldCalls("tagSuggestions").front();
  EXPECT_EQ(first.text, "s");

  pipeline.run("sk");  // begins at once: the list empties, "searching" shows
  harness.drainEvents();
  EXPECT_TRUE(store->suggestions().isTagSuggestionLoading());
  harness.service->releaseWith(first.id, std::vector<TagSuggestion>{{"stale", 9}});
  harness.drainEvents();
  EXPECT_TRUE(store->suggestions().tagSuggestions().empty());
  EXPECT_TRUE(store->suggestions().isTagSuggestionLoading());

  harness.clock.advance(250 * kMillisecond);
  ASSERT_TRUE(harness.service->waitForHeld("tagSuggestions", 1));
  const auto second = harness.service->heldCalls("tagSuggestions").front();
  EXPECT_EQ(second.text, "sk");
  harness.service->releaseWith(second.id, std::vector<TagSuggestion>{{"sky", 3}});
  harness.drainEvents();
  EXPECT_EQ(store->suggestions().tagSuggestions(), (std::vector<TagSuggestion>{{"sky", 3}}));
  EXPECT_FALSE(store->suggestions().isTagSuggestionLoading());
  EXPECT_EQ(harness.service->calls("tagSuggestions").size(), 2u);
}

TEST(SuggestionLoadPipelineTest, ModelStepsTreatSpacesAsBlank) {
  StoreHarness harness;
  auto store = harness.makeStore();
  SuggestionLoadPipeline pipeline(store->context(),
                                  SuggestionLoadPipeline::modelSuggestionSteps(store->suggestions()));
  pipeline.run(" \n ");
  harness.drainEvents();
  const auto calls = harness.service->calls("modelSuggestions");
  ASSERT_EQ(calls.size(), 1u);  // no pause for a blank text
  EXPECT_EQ(calls[0].text, " \n ");
  EXPECT_FALSE(store->suggestions().isModelSuggestionLoading());
}

}  // namespace
}  // namespace lorvex::ui
