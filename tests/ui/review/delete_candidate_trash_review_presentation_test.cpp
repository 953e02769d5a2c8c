#include "ui/review/delete_candidate_trash_review_presentation.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ui/results/echo_localization.h"
#include "ui/review/delete_candidate_trash_action.h"

namespace lorvex::ui {
namespace {

using Reason = DeleteCandidateTrashDisabledReason;
using testing::echoLocalization;

DeleteCandidateTrashReviewPresentation presentation(int loaded, int selected,
                                                    std::optional<Reason> selectedReason = std::nullopt,
                                                    std::optional<Reason> loadedReason = std::nullopt,
                                                    AppLocalization localizer = echoLocalization()) {
  return DeleteCandidateTrashReviewPresentation{
      .lastTrashSummary = std::nullopt,
      .loadedDeleteCandidateCount = loaded,
      .selectedDeleteCandidateCount = selected,
      .isTrashingDeleteCandidates = false,
      .trashSelectedDisabledReason = selectedReason,
      .trashLoadedDisabledReason = loadedReason,
      .localizer = std::move(localizer),
      .resourceDisplay = {},
  };
}

TEST(DeleteCandidateTrashReviewPresentation, CountTextsChooseTheirPluralAndCarryTheCount) {
  const struct {
    int loaded;
    int selected;
    std::string loadedScope;
    std::string selectedScope;
    std::string footer;
  } cases[] = {
      {0, 0, "deleteCandidateReview.trashScope.loaded.other(#0)",
       "deleteCandidateReview.trashScope.selected.other(#0)", "deleteCandidateReview.footerSummary(#0,#0)"},
      {1, 1, "deleteCandidateReview.trashScope.loaded.one(#1)",
       "deleteCandidateReview.trashScope.selected.one(#1)", "deleteCandidateReview.footerSummary(#1,#1)"},
      {2, 0, "deleteCandidateReview.trashScope.loaded.other(#2)",
       "deleteCandidateReview.trashScope.selected.other(#0)", "deleteCandidateReview.footerSummary(#2,#0)"},
      {7, 2, "deleteCandidateReview.trashScope.loaded.other(#7)",
       "deleteCandidateReview.trashScope.selected.other(#2)", "deleteCandidateReview.footerSummary(#7,#2)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.footer);
    const auto p = presentation(c.loaded, c.selected);
    EXPECT_EQ(p.loadedScopeText(), c.loadedScope);
    EXPECT_EQ(p.selectedScopeText(), c.selectedScope);
    EXPECT_EQ(p.footerSummaryText(), c.footer);
  }
}

TEST(DeleteCandidateTrashReviewPresentation, FixedTextsAndAccessibilityTexts) {
  const auto p = presentation(3, 1);
  EXPECT_EQ(p.titleText(), "deleteCandidateReview.title");
  EXPECT_EQ(p.explanationText(), "deleteCandidateReview.explanation");
  EXPECT_EQ(p.movingProgressText(), "deleteCandidateReview.movingProgress");
  EXPECT_EQ(p.bulkActionScopeText(), "deleteCandidateReview.bulkActionScope");
  EXPECT_EQ(p.selectLoadedTitle(), "deleteCandidateReview.selectLoaded");
  EXPECT_EQ(p.trashSelectedTitle(), "deleteCandidateReview.action.trashSelected");
  EXPECT_EQ(p.trashLoadedTitle(), "deleteCandidateReview.action.trashLoaded");
  EXPECT_EQ(p.candidateAccessibilityLabel("b.png", true), "deleteCandidateReview.candidate.selected(b.png)");
  EXPECT_EQ(p.candidateAccessibilityLabel("b.png", false),
            "deleteCandidateReview.candidate.unselected(b.png)");
  EXPECT_EQ(p.selectionAccessibilityValue(true), "deleteCandidateReview.selection.selected");
  EXPECT_EQ(p.selectionAccessibilityValue(false), "deleteCandidateReview.selection.unselected");
}

TEST(DeleteCandidateTrashReviewPresentation, ANilReasonLooksNothingUp) {
  auto lookups = std::make_shared<std::vector<std::string>>();
  const AppLocalization counting([lookups](std::string_view key, const FormatArguments& arguments) {
    lookups->emplace_back(key);
    return testing::echoText(key, arguments);
  });
  const auto p = presentation(0, 0, std::nullopt, Reason::noCandidates, counting);
  EXPECT_EQ(p.trashSelectedDisabledReasonText(), std::nullopt);
  EXPECT_TRUE(lookups->empty());
  EXPECT_EQ(p.trashLoadedDisabledReasonText(), "deleteCandidateReview.disabledReason.noCandidates");
  EXPECT_EQ(*lookups, std::vector<std::string>{"deleteCandidateReview.disabledReason.noCandidates"});
}

TEST(DeleteCandidateTrashReviewPresentation, EveryReasonHasItsOwnKey) {
  const struct {
    Reason reason;
    std::string text;
  } cases[] = {
      {Reason::moveWaitingForScan, "deleteCandidateReview.disabledReason.waitingForScan"},
      {Reason::trashingInProgress, "deleteCandidateReview.disabledReason.trashing"},
      {Reason::libraryNotIndexedYet, "deleteCandidateReview.disabledReason.notYetIndexed"},
      {Reason::indexingInProgress, "deleteCandidateReview.disabledReason.indexing"},
      {Reason::loadingCandidates, "deleteCandidateReview.disabledReason.loading"},
      {Reason::noCandidates, "deleteCandidateReview.disabledReason.noCandidates"},
      {Reason::noSelection, "deleteCandidateReview.disabledReason.noSelection"},
  };
  ASSERT_EQ(std::size(cases), kAllDeleteCandidateTrashDisabledReasons.size());
  std::set<AppLocalizationKey> keys;
  for (const auto& c : cases) {
    EXPECT_EQ(presentation(1, 0, c.reason).trashSelectedDisabledReasonText(), c.text);
    keys.insert(disabledReasonKey(c.reason));
  }
  EXPECT_EQ(keys.size(), kAllDeleteCandidateTrashDisabledReasons.size());
}

TEST(DeleteCandidateTrashReviewPresentation, DisplayPathRedactsTheHomeOnlyInRecordingMode) {
  auto p = presentation(0, 0);
  p.resourceDisplay = ViewResourceDisplay{false, "/home/me"};
  EXPECT_EQ(p.displayPath("/home/me/Pictures/a.png"), "/home/me/Pictures/a.png");
  p.resourceDisplay = ViewResourceDisplay{true, "/home/me"};
  EXPECT_EQ(p.displayPath("/home/me/Pictures/a.png"), "~/Pictures/a.png");
  EXPECT_EQ(p.displayPath("/home/mel/a.png"), "/home/mel/a.png");
}

}  // namespace
}  // namespace lorvex::ui
