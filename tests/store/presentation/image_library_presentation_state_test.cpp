// The presentation flags: values held in range and saved after every assignment, popovers that
// exclude each other, and a slideshow that stops playing when it closes.
#include "store/presentation/image_library_presentation_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "store/presentation/transient_image_library_ui_preference_store.h"

namespace lorvex {
namespace {

// Keeps every save, so a test sees what was saved and how often.
class RecordingPreferenceStore final : public ImageLibraryUIPreferencePersisting {
 public:
  explicit RecordingPreferenceStore(ImageLibraryUIPreferences loaded = kDefaultUIPreferences)
      : loaded_(loaded) {}
  ImageLibraryUIPreferences load() override { return loaded_; }
  void save(const ImageLibraryUIPreferences& preferences) override { saves.push_back(preferences); }
  std::vector<ImageLibraryUIPreferences> saves;

 private:
  ImageLibraryUIPreferences loaded_;
};

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(ImageLibraryPresentationState, TheIntervalIsStoredNormalised) {
  struct Case {
    double assigned;
    double expected;
  };
  const Case cases[] = {{0.74, 0.5},  {0.75, 1.0},      {2.24, 2.0},       {-4, 0.5},   {59.8, 60.0},
                        {1000, 60.0}, {kInfinity, 3.0}, {-kInfinity, 3.0}, {kNaN, 3.0}, {1.2, 1.0},
                        {1.25, 1.5},  {0.2, 0.5},       {60.0, 60.0},      {0.5, 0.5},  {3.0, 3.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.assigned);
    auto store = std::make_shared<RecordingPreferenceStore>();
    ImageLibraryPresentationState state(store);
    std::vector<double> observed;
    QObject::connect(&state, &ImageLibraryPresentationState::slideshowIntervalSecondsChanged,
                     [&] { observed.push_back(state.slideshowIntervalSeconds()); });
    state.setSlideshowIntervalSeconds(c.assigned);
    EXPECT_EQ(state.slideshowIntervalSeconds(), c.expected);
    EXPECT_EQ(observed, c.expected == 3.0 ? std::vector<double>{} : std::vector<double>{c.expected});
    ASSERT_EQ(store->saves.size(), 1u);
    EXPECT_EQ(store->saves.back().slideshowIntervalSeconds, c.expected);
  }
}

TEST(ImageLibraryPresentationState, TheCountIsStoredClamped) {
  struct Case {
    int assigned;
    int expected;
  };
  const Case cases[] = {{0, 1}, {-3, 1}, {9, 6}, {4, 4}, {6, 6}, {1, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.assigned);
    auto store = std::make_shared<RecordingPreferenceStore>(ImageLibraryUIPreferences{true, 2, 3.0});
    ImageLibraryPresentationState state(store);
    std::vector<int> observed;
    QObject::connect(&state, &ImageLibraryPresentationState::slideshowVisibleCountChanged,
                     [&] { observed.push_back(state.slideshowVisibleCount()); });
    state.setSlideshowVisibleCount(c.assigned);
    EXPECT_EQ(state.slideshowVisibleCount(), c.expected);
    EXPECT_EQ(observed, std::vector<int>{c.expected});
    ASSERT_EQ(store->saves.size(), 1u);
    EXPECT_EQ(store->saves.back().slideshowVisibleCount, c.expected);
  }
}

TEST(ImageLibraryPresentationState, EveryAssignmentOfAPreferenceSavesEvenWithoutAChange) {
  auto store = std::make_shared<RecordingPreferenceStore>(ImageLibraryUIPreferences{false, 6, 2.5});
  ImageLibraryPresentationState state(store);
  int heard = 0;
  for (auto changed : {&ImageLibraryPresentationState::isLibrarySectionExpandedChanged,
                       &ImageLibraryPresentationState::slideshowVisibleCountChanged,
                       &ImageLibraryPresentationState::slideshowIntervalSecondsChanged})
    QObject::connect(&state, changed, [&] { ++heard; });
  EXPECT_TRUE(store->saves.empty());  // creating saves nothing
  state.increaseSlideshowVisibleCount();
  state.setIsLibrarySectionExpanded(false);
  state.setSlideshowIntervalSeconds(2.5);
  state.decreaseSlideshowVisibleCount();
  EXPECT_EQ(heard, 1);
  EXPECT_EQ(state.slideshowVisibleCount(), 5);
  ASSERT_EQ(store->saves.size(), 4u);
  EXPECT_EQ(store->saves.front(), (ImageLibraryUIPreferences{false, 6, 2.5}));
  EXPECT_EQ(store->saves.back(), (ImageLibraryUIPreferences{false, 5, 2.5}));
  state.setSlideshowVisibleCount(1);
  state.decreaseSlideshowVisibleCount();
  EXPECT_EQ(state.slideshowVisibleCount(), 1);
  EXPECT_EQ(store->saves.size(), 6u);
}

TEST(ImageLibraryPresentationState, ValuesLoadedOutOfRangeAreHeldInRange) {
  ImageLibraryPresentationState state(
      std::make_shared<RecordingPreferenceStore>(ImageLibraryUIPreferences{true, 40, kNaN}));
  EXPECT_EQ(state.slideshowVisibleCount(), 6);
  EXPECT_EQ(state.slideshowIntervalSeconds(), 3.0);
}

TEST(ImageLibraryPresentationState, ThePopoversExcludeEachOther) {
  ImageLibraryPresentationState state(std::make_shared<RecordingPreferenceStore>());
  state.presentTagAdditionPopover();
  EXPECT_TRUE(state.isTagAdditionPopoverPresented());
  EXPECT_FALSE(state.isModelSelectionPopoverPresented());
  state.presentModelSelectionPopover();
  EXPECT_FALSE(state.isTagAdditionPopoverPresented());
  EXPECT_TRUE(state.isModelSelectionPopoverPresented());
  state.presentTagAdditionPopover();
  EXPECT_TRUE(state.isTagAdditionPopoverPresented());
  EXPECT_FALSE(state.isModelSelectionPopoverPresented());
  state.setIsTagAdditionPopoverPresented(false);
  EXPECT_FALSE(state.isTagAdditionPopoverPresented());
}

TEST(ImageLibraryPresentationState, ClosingTheSlideshowStopsPlayback) {
  struct Case {
    const char* name;
    bool presented;
    bool playing;
    bool assign;
    bool playingAfter;
    int playingSignals;
  };
  const Case cases[] = {
      {"closing while playing", true, true, false, false, 1},
      {"closing while paused", true, false, false, false, 0},
      {"presenting leaves playback as it was (paused)", false, false, true, false, 0},
      {"presenting leaves playback as it was (playing)", false, true, true, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ImageLibraryPresentationState state(std::make_shared<RecordingPreferenceStore>());
    state.setIsSlideshowPlaying(c.playing);
    state.setIsSlideshowPresented(c.presented);
    if (!c.presented) state.setIsSlideshowPlaying(c.playing);
    int playingSignals = 0;
    QObject::connect(&state, &ImageLibraryPresentationState::isSlideshowPlayingChanged,
                     [&] { ++playingSignals; });
    state.setIsSlideshowPresented(c.assign);
    EXPECT_EQ(state.isSlideshowPresented(), c.assign);
    EXPECT_EQ(state.isSlideshowPlaying(), c.playingAfter);
    EXPECT_EQ(playingSignals, c.playingSignals);
  }
}

TEST(ImageLibraryPresentationState, TheFlagsStartClosedAndThePreferencesAsLoaded) {
  ImageLibraryPresentationState state(
      std::make_shared<RecordingPreferenceStore>(ImageLibraryUIPreferences{false, 3, 7.5}));
  EXPECT_FALSE(state.isLibrarySectionExpanded());
  EXPECT_EQ(state.slideshowVisibleCount(), 3);
  EXPECT_EQ(state.slideshowIntervalSeconds(), 7.5);
  EXPECT_FALSE(state.isFilterTagListExpanded());
  EXPECT_FALSE(state.isTagAdditionPopoverPresented());
  EXPECT_FALSE(state.isModelSelectionPopoverPresented());
  EXPECT_FALSE(state.isDeleteCandidateReviewPresented());
  EXPECT_FALSE(state.isDeleteCandidateTrashReviewPresented());
  EXPECT_FALSE(state.isSlideshowPresented());
  EXPECT_FALSE(state.isSlideshowPlaying());
}

TEST(TransientImageLibraryUIPreferenceStore, LoadsTheDefaultsThenWhatWasSaved) {
  TransientImageLibraryUIPreferenceStore store;
  EXPECT_EQ(store.load(), kDefaultUIPreferences);
  EXPECT_EQ(store.load(), (ImageLibraryUIPreferences{true, 1, 3.0}));
  store.save({false, 4, 9.5});
  EXPECT_EQ(store.load(), (ImageLibraryUIPreferences{false, 4, 9.5}));
}

}  // namespace
}  // namespace lorvex
