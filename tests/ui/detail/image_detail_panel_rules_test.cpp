// The inspector's rules: its sections with the concept switch off and on, the preview's cache key,
// the review buttons' titles, symbols and enabling, and the disclosure's tap targets.
#include "ui/detail/image_detail_panel_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lorvex::ui {
namespace {

using S = ImageDetailSection;
using Key = AppLocalizationKey;

TEST(ImageDetailPanelRulesTest, SectionsComeInOrderWithConceptsOnlyWhenSwitchedOn) {
  EXPECT_EQ(imageDetailSections(false, false), std::vector<S>{S::emptyState});
  EXPECT_EQ(imageDetailSections(false, true), std::vector<S>{S::emptyState});
  EXPECT_EQ(imageDetailSections(true, false),
            (std::vector<S>{S::preview, S::reviewControls, S::filterTags, S::metadata}));
  EXPECT_EQ(imageDetailSections(true, true),
            (std::vector<S>{S::preview, S::reviewControls, S::tagConcepts, S::filterTags, S::metadata}));
}

TEST(ImageDetailPanelRulesTest, PreviewCacheKeyNamesTheFileVersion) {
  struct Case {
    double modificationDate;
    const char* text;
  };
  for (const Case& c :
       std::vector<Case>{{5, "5.0"}, {2.25, "2.25"}, {1700000000.5, "1700000000.5"}, {0, "0.0"}}) {
    ImageRecord record;
    record.file = {"/a/b.png", 1234, c.modificationDate};
    EXPECT_EQ(imageDetailPreviewCacheKey(record), std::string("/a/b.png\x1f"
                                                              "1234\x1f") +
                                                      c.text);
  }
}

TEST(ImageDetailPanelRulesTest, ReviewButtonsShowTheActionAPressPerforms) {
  ImageRecord plain;
  ImageRecord marked;
  marked.reviewState.favorite = true;
  marked.reviewState.deleteCandidate = true;
  struct Case {
    const char* name;
    const ImageRecord* record;
    bool canReview;
    ReviewControlsPresentation expected;
  };
  const ReviewButtonPresentation favorite{Key::reviewFavorite, "star"};
  const ReviewButtonPresentation unfavorite{Key::reviewFavoriteUnfavorite, "star.slash"};
  const ReviewButtonPresentation mark{Key::reviewDeleteCandidate, "trash"};
  const ReviewButtonPresentation unmark{Key::reviewDeleteCandidateRemove, "trash.slash"};
  const std::vector<Case> cases = {
      {"nothing focused", nullptr, true, {favorite, mark, false}},
      {"unmarked record", &plain, true, {favorite, mark, true}},
      {"marked record", &marked, true, {unfavorite, unmark, true}},
      {"review not allowed", &marked, false, {unfavorite, unmark, false}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(makeReviewControlsPresentation(c.record, c.canReview), c.expected) << c.name;
}

TEST(ImageDetailPanelRulesTest, OnlyTheHeaderTogglesADisclosure) {
  using T = MetadataLongTextDisclosureTapTarget;
  for (bool expanded : {false, true}) {
    EXPECT_EQ(nextDisclosureExpansion(expanded, T::headerRow), !expanded);
    EXPECT_EQ(nextDisclosureExpansion(expanded, T::copyButton), expanded);
    EXPECT_EQ(nextDisclosureExpansion(expanded, T::expandedText), expanded);
  }
}

}  // namespace
}  // namespace lorvex::ui
