#include "ui/slideshow/slideshow_floating_controls_presentation.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/results/echo_localization.h"

namespace lorvex::ui {
namespace {

using Focus = SlideshowControlFocus;

ReviewState review(bool favorite, bool deleteCandidate) {
  ReviewState state;
  state.favorite = favorite;
  state.deleteCandidate = deleteCandidate;
  return state;
}

SlideshowControlsState stateWith(std::optional<ReviewState> review, bool canReview) {
  SlideshowControlsState state;
  state.positionText = "3 / 10";
  state.focusedReviewState = review;
  state.canReviewFocusedRecord = canReview;
  return state;
}

TEST(SlideshowFloatingControlsPresentation, ReviewButtonsFollowTheFocusedRecordAndTheReviewGate) {
  const auto localization = testing::echoLocalization();
  const struct {
    std::string name;
    SlideshowControlsState state;
    SlideshowButtonPresentation favorite;
    SlideshowButtonPresentation deleteCandidate;
  } cases[] = {
      {"no focused record",
       stateWith(std::nullopt, false),
       {Focus::favorite, "review.favorite", "star", false, false},
       {Focus::deleteCandidate, "review.deleteCandidate", "trash", false, false}},
      {"unmarked and reviewable",
       stateWith(review(false, false), true),
       {Focus::favorite, "review.favorite", "star", false, true},
       {Focus::deleteCandidate, "review.deleteCandidate", "trash", false, true}},
      {"both marks",
       stateWith(review(true, true), true),
       {Focus::favorite, "review.favorite.unfavorite", "star.slash", true, true},
       {Focus::deleteCandidate, "review.deleteCandidate.remove", "trash.slash", true, true}},
      // Two or more images shown: the store refuses review, the marks still show.
      {"marked while several are shown",
       stateWith(review(true, false), false),
       {Focus::favorite, "review.favorite.unfavorite", "star.slash", true, false},
       {Focus::deleteCandidate, "review.deleteCandidate", "trash", false, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto presentation = makeSlideshowFloatingControlsPresentation(c.state, localization);
    EXPECT_EQ(presentation.favorite, c.favorite);
    EXPECT_EQ(presentation.deleteCandidate, c.deleteCandidate);
    EXPECT_EQ(presentation.positionText, "3 / 10");
  }
}

TEST(SlideshowFloatingControlsPresentation, PlaybackAndTheFixedButtons) {
  const auto localization = testing::echoLocalization();
  SlideshowControlsState state;
  const auto paused = makeSlideshowFloatingControlsPresentation(state, localization);
  EXPECT_EQ(paused.playback,
            (SlideshowButtonPresentation{Focus::playback, "slideshow.play", "play.fill", false, true}));
  EXPECT_EQ(paused.previous, (SlideshowButtonPresentation{Focus::previous, "slideshow.previous",
                                                          "chevron.left", false, true}));
  EXPECT_EQ(paused.next,
            (SlideshowButtonPresentation{Focus::next, "slideshow.next", "chevron.right", false, true}));
  EXPECT_EQ(paused.close,
            (SlideshowButtonPresentation{Focus::close, "common.close", "xmark.circle", false, true}));
  state.isPlaying = true;
  const auto playing = makeSlideshowFloatingControlsPresentation(state, localization);
  EXPECT_EQ(playing.playback,
            (SlideshowButtonPresentation{Focus::playback, "slideshow.pause", "pause.fill", true, true}));
}

TEST(SlideshowFloatingControlsPresentation, CountAndIntervalTexts) {
  const auto localization = testing::echoLocalization();
  const struct {
    int count;
    double interval;
    std::string countText;
    std::string intervalText;
  } cases[] = {
      {1, 3.0, "slideshow.visibleCount.one(#1)", "slideshow.interval.seconds(#3.000000)"},
      {2, 0.5, "slideshow.visibleCount.other(#2)", "slideshow.interval.seconds(#0.500000)"},
      {6, 60.0, "slideshow.visibleCount.other(#6)", "slideshow.interval.seconds(#60.000000)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    SlideshowControlsState state;
    state.visibleCount = c.count;
    state.intervalSeconds = c.interval;
    const auto presentation = makeSlideshowFloatingControlsPresentation(state, localization);
    EXPECT_EQ(presentation.visibleCount,
              (SlideshowValueGroupPresentation{"slideshow.visibleCount.label", c.countText,
                                               "slideshow.visibleCount.control"}));
    EXPECT_EQ(presentation.interval,
              (SlideshowValueGroupPresentation{"slideshow.interval.label", c.intervalText,
                                               "slideshow.interval.control"}));
  }
}

TEST(SlideshowFloatingControlsPresentation, RealTablesFormatTheCountAndInterval) {
  // The live table's formats: an integer count and one decimal of seconds.
  SlideshowControlsState state;
  state.visibleCount = 4;
  state.intervalSeconds = 2.5;
  const auto presentation = makeSlideshowFloatingControlsPresentation(state, AppLocalization::live());
  EXPECT_NE(presentation.visibleCount.value.find('4'), std::string::npos);
  EXPECT_NE(presentation.interval.value.find("2"), std::string::npos);
  EXPECT_NE(presentation.interval.value.find("5"), std::string::npos);
}

}  // namespace
}  // namespace lorvex::ui
