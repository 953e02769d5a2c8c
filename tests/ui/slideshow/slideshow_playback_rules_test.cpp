#include "ui/slideshow/slideshow_playback_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>

namespace lorvex::ui {
namespace {

TEST(SlideshowPlaybackRules, IntervalWritesLandOnHalfSecondsWithinBounds) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double written;
    double stored;
  } cases[] = {
      {0.2, 0.5}, {0.74, 0.5}, {0.75, 1.0}, {59.8, 60.0},
      {75, 60.0}, {inf, 3.0},  {-inf, 3.0}, {std::numeric_limits<double>::quiet_NaN(), 3.0},
      {-4, 0.5},  {3.25, 3.5}, {3.24, 3.0}, {2.75, 3.0},
      {0.5, 0.5}, {60, 60},    {1e300, 60},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.written));
    EXPECT_EQ(normalizeInterval(c.written), c.stored);
  }
}

// The keys' interval change: a half second more or less, then normalised as a write.
TEST(SlideshowPlaybackRules, IntervalStepsFromOddAndBoundValues) {
  const struct {
    double current;
    double step;
    double stored;
  } cases[] = {
      {3.2, +0.5, 3.5}, {60, +0.5, 60},   {0.5, -0.5, 0.5},
      {3.0, -0.5, 2.5}, {59.5, +0.5, 60}, {1.0, -0.5, 0.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.current) + " by " + std::to_string(c.step));
    EXPECT_EQ(normalizeInterval(c.current + c.step), c.stored);
  }
}

TEST(SlideshowPlaybackRules, CountWritesAreKeptWithinOneToSix) {
  const struct {
    int written;
    int stored;
  } cases[] = {{0, 1}, {-3, 1}, {1, 1}, {4, 4}, {6, 6}, {7, 6}, {9, 6}, {std::numeric_limits<int>::min(), 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    EXPECT_EQ(slideshowVisibleCountToWrite(c.written), c.stored);
  }
}

TEST(SlideshowPlaybackRules, ControlsArePinnedByHoverOrEitherFocus) {
  using Focus = SlideshowControlFocus;
  const std::optional<Focus> none;
  EXPECT_FALSE(areSlideshowControlsPinned(false, none, none));
  EXPECT_TRUE(areSlideshowControlsPinned(true, none, none));
  EXPECT_TRUE(areSlideshowControlsPinned(false, Focus::interval, none));
  EXPECT_TRUE(areSlideshowControlsPinned(false, none, Focus::previous));
}

TEST(SlideshowPlaybackRules, AutoAdvanceNeedsShownPlayingTwoRecordsAndNothingPinned) {
  const struct {
    std::string name;
    bool presented, playing;
    std::size_t records;
    bool pinned;
    bool mayAdvance;
  } cases[] = {
      {"playing over two records", true, true, 2, false, true},
      {"many records", true, true, 500, false, true},
      {"one record", true, true, 1, false, false},
      {"no record", true, true, 0, false, false},
      {"paused", true, false, 10, false, false},
      {"closed", false, true, 10, false, false},
      {"pinned", true, true, 10, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(maySlideshowAutoAdvance(c.presented, c.playing, c.records, c.pinned), c.mayAdvance);
  }
}

TEST(SlideshowPlaybackRules, AutoAdvanceDelayIsTheNormalisedIntervalInNanoseconds) {
  EXPECT_EQ(slideshowAutoAdvanceDelayNanoseconds(3.0), 3'000'000'000);
  EXPECT_EQ(slideshowAutoAdvanceDelayNanoseconds(0.5), 500'000'000);
  EXPECT_EQ(slideshowAutoAdvanceDelayNanoseconds(60.0), 60'000'000'000);
  EXPECT_EQ(slideshowAutoAdvanceDelayNanoseconds(std::numeric_limits<double>::quiet_NaN()), 3'000'000'000);
}

TEST(SlideshowPlaybackRules, EveryControlHasItsOwnIdentifier) {
  std::set<std::string> seen;
  for (const auto control : kAllSlideshowControlFocuses) {
    const std::string identifier(slideshowControlIdentifier(control));
    EXPECT_EQ(identifier.rfind("slideshow.", 0), 0U) << identifier;
    EXPECT_TRUE(seen.insert(identifier).second) << identifier;
  }
  EXPECT_EQ(slideshowControlIdentifier(SlideshowControlFocus::visibleCount), "slideshow.visibleCount");
  EXPECT_EQ(slideshowControlIdentifier(SlideshowControlFocus::deleteCandidate), "slideshow.deleteCandidate");
}

}  // namespace
}  // namespace lorvex::ui
