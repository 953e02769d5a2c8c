// The delete-candidate banner: what each marking publishes, the countdown restarted only by a new
// publication, and countdowns that end late clearing nothing newer.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store/filters/filters_model_test_access.h"
#include "store/review_fixture.h"

namespace lorvex {
namespace {

using testing::libraryImage;
using testing::libraryImages;
using testing::ReviewFixture;
using Change = DeleteCandidateFeedback::Change;

constexpr std::int64_t kSecond = 1'000'000'000;

TEST(ImageLibraryStoreDeleteCandidateFeedback, EachMarkingPublishesWhatItDid) {
  struct Case {
    std::string name;
    bool deleteCandidateFilter;
    std::vector<ImageRecord> window;
    std::function<void(ImageLibraryStore&, const std::vector<RecordRef>&)> operation;
    std::optional<DeleteCandidateFeedback> published;
  };
  const auto unmarked = libraryImages(0, 3);
  const std::vector<ImageRecord> marked = {libraryImage(0, false, true), libraryImage(1, false, true),
                                           libraryImage(2, false, true)};
  const std::vector<ImageRecord> mixed = {libraryImage(0, false, true), libraryImage(1), libraryImage(2)};
  const auto mark = [](ImageLibraryStore& s, const auto& r) { s.review().markDeleteCandidates(r); };
  const auto unmark = [](ImageLibraryStore& s, const auto& r) { s.review().setDeleteCandidate(r, false); };
  const std::vector<Case> cases = {
      {"marked in the normal results", false, unmarked, mark,
       DeleteCandidateFeedback{Change::marked, 3, true, true}},
      {"marked under the filter", true, unmarked, mark,
       DeleteCandidateFeedback{Change::marked, 3, false, true}},
      {"unmarked under the filter", true, marked, unmark,
       DeleteCandidateFeedback{Change::unmarked, 3, false, true}},
      {"unmarked in the normal results", false, marked, unmark,
       DeleteCandidateFeedback{Change::unmarked, 3, false, true}},
      {"a mixed toggle", false, mixed,
       [](ImageLibraryStore& s, const auto& r) { s.review().toggleDeleteCandidate(r); }, std::nullopt},
      {"only the changed ones count", false, mixed, mark,
       DeleteCandidateFeedback{Change::marked, 2, true, true}},
      {"a favorite", false, unmarked,
       [](ImageLibraryStore& s, const auto& r) { s.review().toggleFavorite(r); }, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(c.window);
    FiltersModelTestAccess::setOnlyDeleteCandidates(f.store->filters(), c.deleteCandidateFilter);
    const std::vector<RecordRef> loaded = f.store->results().resultWindow().records();
    c.operation(*f.store, loaded);
    ASSERT_EQ(f.callCount("updateReviewStates"), 1u);
    EXPECT_EQ(f.store->review().deleteCandidateFeedback(), c.published);
    EXPECT_EQ(static_cast<bool>(f.store->review().deleteCandidateFeedbackDismissTask()),
              c.published.has_value());
  }
}

TEST(ImageLibraryStoreDeleteCandidateFeedback, TheBannerClearsTheDelayAfterItsNewestPublication) {
  struct Step {
    std::int64_t at;  // nanoseconds since the first marking
    std::function<void(ReviewFixture&)> action;
  };
  struct Case {
    std::string name;
    std::vector<Step> steps;
    std::int64_t shownUntil;  // the banner is still there just before this time and gone at it
    int affectedAtEnd;        // of the banner as last seen
  };
  const auto markOne = [](int number) {
    return [number](ReviewFixture& f) { f.store->review().markDeleteCandidates(f.loaded({number})); };
  };
  const std::vector<Case> cases = {
      {"one marking", {{0, markOne(0)}}, 3 * kSecond, 1},
      {"a second marking a second later",
       {{0, markOne(0)},
        {kSecond,
         [](ReviewFixture& f) {
           f.store->review().markDeleteCandidates(f.loaded({1, 2}));
         }}},
       4 * kSecond,
       2},
      {"a mixed toggle keeps the countdown",
       {{0, markOne(0)},
        {kSecond,
         [](ReviewFixture& f) {
           f.store->review().toggleDeleteCandidate(f.loaded({1, 5}));
         }}},
       3 * kSecond,
       1},
      {"a favorite keeps the countdown",
       {{0, markOne(0)},
        {kSecond, [](ReviewFixture& f) { f.store->review().toggleFavorite(f.loaded({1})); }}},
       3 * kSecond,
       1},
      {"the banner stays while an undo's restore runs, and a failed one restarts its delay",
       {{0, markOne(0)},
        {2 * kSecond,
         [](ReviewFixture& f) {
           f.harness.service->hold("restoreDeleteCandidateStates");
           f.store->review().undoLastDeleteCandidateAction();
           ASSERT_TRUE(f.harness.service->waitForHeld("restoreDeleteCandidateStates"));
         }},
        {12 * kSecond,
         [](ReviewFixture& f) {
           f.harness.service->fail(f.harness.service->heldCalls("restoreDeleteCandidateStates")[0].id,
                                   testing::libraryFailure("busy"));
         }}},
       15 * kSecond,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto library = libraryImages(0, 5);
    library.push_back(libraryImage(5, false, true));
    ReviewFixture f(library);
    std::int64_t now = 0;
    for (const Step& step : c.steps) {
      f.harness.clock.advance(step.at - now);
      now = step.at;
      step.action(f);
      f.harness.drainEvents();
      ASSERT_TRUE(f.store->review().deleteCandidateFeedback().has_value());
    }
    f.harness.clock.advance(c.shownUntil - 1 - now);
    f.harness.drainEvents();
    ASSERT_TRUE(f.store->review().deleteCandidateFeedback().has_value());
    EXPECT_EQ(f.store->review().deleteCandidateFeedback()->affectedCount, c.affectedAtEnd);
    f.harness.clock.advance(1);
    f.harness.drainEvents();
    EXPECT_FALSE(f.store->review().deleteCandidateFeedback().has_value());
    EXPECT_FALSE(f.store->review().deleteCandidateFeedbackDismissTask());
    EXPECT_EQ(f.harness.clock.pendingSleeperCount(), 0u);
  }
}

TEST(ImageLibraryStoreDeleteCandidateFeedback, ACountdownEndingAfterTheBannerClosedClearsNothingNewer) {
  ReviewFixture f(libraryImages(0, 5));
  f.store->review().markDeleteCandidates(f.loaded({0}));
  const int generation = f.store->review().deleteCandidateFeedbackDismissGeneration();
  f.harness.clock.advance(2 * kSecond);
  // Closed and published again before the first countdown hears it was stopped: its deadline
  // comes first.
  f.store->review().dismissDeleteCandidateFeedback();
  EXPECT_FALSE(f.store->review().deleteCandidateFeedback().has_value());
  EXPECT_FALSE(f.store->review().deleteCandidateFeedbackDismissTask());
  EXPECT_EQ(f.store->review().deleteCandidateFeedbackDismissGeneration(), generation + 1);
  f.store->review().markDeleteCandidates(f.loaded({1}));
  f.harness.clock.advance(kSecond);
  f.harness.drainEvents();
  ASSERT_TRUE(f.store->review().deleteCandidateFeedback().has_value());
  EXPECT_EQ(f.store->review().deleteCandidateFeedback()->affectedCount, 1);
  f.harness.clock.advance(2 * kSecond);
  f.harness.drainEvents();
  EXPECT_FALSE(f.store->review().deleteCandidateFeedback().has_value());
}

}  // namespace
}  // namespace lorvex
