// The image context menu over a store on the scripted service: which entries it offers for a
// tile inside or outside the selection and for one record, their titles and enabled states, and
// what choosing each one writes, worked out when chosen rather than when the menu was built.
#include "ui/common/image_context_menu_model.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "store/concepts/tag_concepts_model_test_access.h"
#include "store/results/results_model_test_access.h"
#include "store/review_fixture.h"
#include "ui/results/echo_localization.h"
#include "ui/support/store_view_models.h"

namespace lorvex::ui {
namespace {

using lorvex::testing::imagePath;
using lorvex::testing::libraryImage;
using lorvex::testing::ReviewFixture;
using lorvex::testing::StoreOptions;
using Kind = ImageContextMenuEntry::Kind;

// "kind:title:symbol:enabled", submenus followed by their entries in brackets.
std::vector<std::string> describe(const std::vector<ImageContextMenuEntry>& entries) {
  std::vector<std::string> lines;
  for (const ImageContextMenuEntry& entry : entries) {
    if (entry.kind == Kind::separator) {
      lines.push_back("---");
      continue;
    }
    std::string line = entry.title + " [" + entry.symbol + "]" + (entry.isEnabled ? "" : " disabled");
    if (entry.kind == Kind::submenu) {
      line += " {";
      for (const std::string& child : describe(entry.entries)) line += " " + child + ";";
      line += " }";
    }
    lines.push_back(line);
  }
  return lines;
}

const ImageContextMenuEntry& entryTitled(const std::vector<ImageContextMenuEntry>& entries,
                                         const std::string& prefix) {
  for (const ImageContextMenuEntry& entry : entries) {
    if (entry.title.rfind(prefix, 0) == 0) return entry;
  }
  ADD_FAILURE() << "no entry " << prefix;
  static const ImageContextMenuEntry none;
  return none;
}

ReviewState marks(bool favorite, bool deleteCandidate) {
  ReviewState state;
  state.favorite = favorite;
  state.deleteCandidate = deleteCandidate;
  return state;
}

StoreOptions conceptsOn() {
  StoreOptions options;
  options.featureAvailability.isTagConceptEnabled = true;
  return options;
}

struct MenuCase {
  std::string name;
  std::vector<bool> favorites;  // of images 0..3 in the library and window
  std::vector<int> selected;    // focus first; one: the focus alone; empty: nothing selected
  int clicked;
  std::vector<std::string> menu;
};

TEST(ImageContextMenuModel, EntriesForATileInsideOrOutsideTheSelection) {
  const MenuCase cases[] = {
      {"three selected, clicked inside",
       {false, true, false, false},
       {0, 1, 2},
       1,
       {"review.bulkActionTitle(review.favorite.add,#3) [star]",
        "review.bulkActionTitle(review.deleteCandidate.mark,#3) [trash]"}},
      {"all selected favorites",
       {true, true, false, false},
       {0, 1},
       0,
       {"review.bulkActionTitle(review.favorite.remove,#2) [star.slash]",
        "review.bulkActionTitle(review.deleteCandidate.mark,#2) [trash]"}},
      {"clicked outside the selection",
       {false, false, false, true},
       {0, 1},
       3,
       {"common.openInFinder [folder]", "---", "review.favorite.remove [star.slash]",
        "review.deleteCandidate.mark [trash]"}},
      {"lone focus counts as the selection",
       {false, false, false, false},
       {2},
       2,
       {"common.openInFinder [folder]", "---", "review.favorite.add [star]",
        "review.deleteCandidate.mark [trash]"}},
  };
  for (const MenuCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ImageRecord> library;
    for (int i = 0; i < 4; ++i) library.push_back(libraryImage(i, c.favorites[static_cast<std::size_t>(i)]));
    ReviewFixture f(library);
    if (c.selected.size() == 1) {
      f.store->results().selection().setPrimaryPath(imagePath(c.selected.front()));
    } else if (!c.selected.empty()) {
      f.select(c.selected.front(), c.selected);
    }
    const ImageRecord& clicked = library[static_cast<std::size_t>(c.clicked)];
    const auto menu =
        makeImageContextMenu(testing::imageContextMenuModels(*f.store),
                             ImageContextMenuTarget::contextSelection(clicked.file.path, clicked.reviewState),
                             testing::echoLocalization(), {});
    EXPECT_EQ(describe(menu), c.menu);
  }
}

TEST(ImageContextMenuModel, ReviewItemsSetTheMarkOnEveryTargetUnlessAllCarryIt) {
  const struct {
    std::string name;
    std::vector<std::pair<bool, bool>> marksBefore;  // images 0..2
    std::vector<int> selected;
    int clicked;
    std::string item;
    std::vector<std::pair<bool, bool>> marksAfter;
  } cases[] = {
      {"mixed favorites all become favorites",
       {{true, false}, {false, false}, {false, false}},
       {0, 1},
       0,
       "review.bulkActionTitle(review.favorite.add",
       {{true, false}, {true, false}, {false, false}}},
      {"all favorites lose the mark",
       {{true, false}, {true, false}, {true, false}},
       {0, 1, 2},
       2,
       "review.bulkActionTitle(review.favorite.remove",
       {{false, false}, {false, false}, {false, false}}},
      {"outside the selection acts alone",
       {{false, false}, {false, false}, {false, false}},
       {0, 1},
       2,
       "review.favorite.add",
       {{false, false}, {false, false}, {true, false}}},
      {"delete candidates marked",
       {{false, true}, {false, false}, {false, false}},
       {0, 1},
       1,
       "review.bulkActionTitle(review.deleteCandidate.mark",
       {{false, true}, {false, true}, {false, false}}},
      {"delete candidates cleared",
       {{false, true}, {false, true}, {false, false}},
       {0, 1},
       1,
       "review.bulkActionTitle(review.deleteCandidate.remove",
       {{false, false}, {false, false}, {false, false}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ImageRecord> library;
    for (int i = 0; i < 3; ++i) {
      const auto [favorite, deleteCandidate] = c.marksBefore[static_cast<std::size_t>(i)];
      library.push_back(libraryImage(i, favorite, deleteCandidate));
    }
    ReviewFixture f(library);
    f.select(c.selected.front(), c.selected);
    const ImageRecord& clicked = library[static_cast<std::size_t>(c.clicked)];
    const auto menu =
        makeImageContextMenu(testing::imageContextMenuModels(*f.store),
                             ImageContextMenuTarget::contextSelection(clicked.file.path, clicked.reviewState),
                             testing::echoLocalization(), {});
    const PathSet selectionBefore = f.store->results().selection().selectedPaths();
    entryTitled(menu, c.item).action();
    f.harness.drainEvents();
    for (int i = 0; i < 3; ++i) {
      const ReviewState state = f.libraryState(i);
      EXPECT_EQ(std::make_pair(state.favorite, state.deleteCandidate),
                c.marksAfter[static_cast<std::size_t>(i)])
          << "image " << i;
    }
    if (c.item.rfind("review.bulk", 0) != 0) {
      EXPECT_EQ(f.store->results().selection().selectedPaths(), selectionBefore);
    }
  }
}

TEST(ImageContextMenuModel, ATileThatIsNotLoadedOffersDisabledItemsTitledFromWhatItShowed) {
  ReviewFixture f({libraryImage(0), libraryImage(1)}, {0});
  const auto menu =
      makeImageContextMenu(testing::imageContextMenuModels(*f.store),
                           ImageContextMenuTarget::contextSelection(imagePath(1), marks(true, true)),
                           testing::echoLocalization(), {});
  EXPECT_EQ(describe(menu),
            (std::vector<std::string>{"review.favorite.remove [star.slash] disabled",
                                      "review.deleteCandidate.remove [trash.slash] disabled"}));
}

TEST(ImageContextMenuModel, NothingIsReviewedWhileAPageLoads) {
  ReviewFixture f({libraryImage(0), libraryImage(1)});
  ResultsModelTestAccess::setIsLoadingNextPage(f.store->results(), true);
  const RecordRef first = f.store->results().resultWindow().records().front();
  const auto selectionMenu =
      makeImageContextMenu(testing::imageContextMenuModels(*f.store),
                           ImageContextMenuTarget::contextSelection(first->file.path, first->reviewState),
                           testing::echoLocalization(), {});
  const auto singleMenu =
      makeImageContextMenu(testing::imageContextMenuModels(*f.store), ImageContextMenuTarget::single(first),
                           testing::echoLocalization(), {});
  for (const auto* menu : {&selectionMenu, &singleMenu}) {
    EXPECT_FALSE(entryTitled(*menu, "review.favorite").isEnabled);
    EXPECT_FALSE(entryTitled(*menu, "review.deleteCandidate").isEnabled);
  }
  entryTitled(singleMenu, "review.favorite").action();
  f.harness.drainEvents();
  EXPECT_FALSE(f.libraryState(0).favorite);
  EXPECT_EQ(f.callCount("updateReviewStates") + f.callCount("updateReviewState"), 0u);
}

TEST(ImageContextMenuModel, SingleRecordTogglesItsOwnMarkAndRevealsItsFile) {
  ReviewFixture f({libraryImage(0), libraryImage(1, true)});
  f.select(0, {0, 1});
  const RecordRef second = f.store->results().resultWindow().records()[1];
  std::vector<std::string> revealed;
  const auto menu = makeImageContextMenu(testing::imageContextMenuModels(*f.store),
                                         ImageContextMenuTarget::single(second), testing::echoLocalization(),
                                         [&](const std::string& path) { revealed.push_back(path); });
  EXPECT_EQ(describe(menu), (std::vector<std::string>{"common.openInFinder [folder]", "---",
                                                      "review.favorite.remove [star.slash]",
                                                      "review.deleteCandidate.mark [trash]"}));
  menu[0].action();
  EXPECT_EQ(revealed, std::vector<std::string>{imagePath(1)});
  entryTitled(menu, "review.favorite").action();
  f.harness.drainEvents();
  EXPECT_FALSE(f.libraryState(1).favorite);
  EXPECT_FALSE(f.libraryState(0).favorite);  // the selection is not the target
}

TEST(ImageContextMenuModel, ActionsReadTheSelectionWhenChosen) {
  ReviewFixture f({libraryImage(0), libraryImage(1), libraryImage(2)});
  f.select(0, {0, 1});
  const RecordRef first = f.store->results().resultWindow().records().front();
  const auto menu =
      makeImageContextMenu(testing::imageContextMenuModels(*f.store),
                           ImageContextMenuTarget::contextSelection(first->file.path, first->reviewState),
                           testing::echoLocalization(), {});
  f.select(0, {0, 2});  // the selection changed while the menu was open
  entryTitled(menu, "review.bulkActionTitle(review.favorite.add").action();
  f.harness.drainEvents();
  EXPECT_TRUE(f.libraryState(0).favorite);
  EXPECT_FALSE(f.libraryState(1).favorite);
  EXPECT_TRUE(f.libraryState(2).favorite);
}

TEST(ImageContextMenuModel, ActionsOfAMenuWhoseStoreIsGoneDoNothing) {
  ReviewFixture f({libraryImage(0)});
  const RecordRef first = f.store->results().resultWindow().records().front();
  const auto menu =
      makeImageContextMenu(testing::imageContextMenuModels(*f.store), ImageContextMenuTarget::single(first),
                           testing::echoLocalization(), {});
  f.store.reset();
  for (const ImageContextMenuEntry& entry : menu) {
    if (entry.action) entry.action();
  }
  f.harness.drainEvents();
  EXPECT_EQ(f.callCount("updateReviewStates") + f.callCount("updateReviewState"), 0u);
}

TEST(ImageContextMenuModel, ConceptSubmenusFollowTheSwitchTheListAndTheMutationFlag) {
  const std::vector<TagConcept> concepts = {{7, "Cats & Dogs", 3}, {9, "Sky", 1}};
  const std::string submenus =
      "tagConcept.assignment.assign [tag.badge.plus] { Cats & Dogs [tag]; Sky [tag]; }|"
      "tagConcept.assignment.remove [tag.slash] { Cats & Dogs [tag]; Sky [tag]; }";
  const std::string disabledSubmenus =
      "tagConcept.assignment.assign [tag.badge.plus] disabled { Cats & Dogs [tag] disabled; Sky [tag] "
      "disabled; }|"
      "tagConcept.assignment.remove [tag.slash] disabled { Cats & Dogs [tag] disabled; Sky [tag] disabled; }";
  const struct {
    std::string name;
    bool enabled;
    std::vector<TagConcept> concepts;
    bool mutating;
    std::string tail;  // what follows the delete-candidate item
  } cases[] = {
      {"switched off", false, concepts, false, ""},
      {"no concepts", true, {}, false, ""},
      {"offered", true, concepts, false, "---|" + submenus},
      {"mutation running", true, concepts, true, "---|" + disabledSubmenus},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StoreOptions options;
    options.featureAvailability.isTagConceptEnabled = c.enabled;
    ReviewFixture f({libraryImage(0)}, {}, options);
    f.store->concepts().setTagConcepts(c.concepts);
    TagConceptsModelTestAccess::setIsTagConceptMutationInProgress(f.store->concepts(), c.mutating);
    const std::vector<std::string> lines = describe(makeImageContextMenu(
        testing::imageContextMenuModels(*f.store), ImageContextMenuTarget::contextSelection(imagePath(0), {}),
        testing::echoLocalization(), {}));
    std::string tail;
    for (std::size_t i = 4; i < lines.size(); ++i) tail += (tail.empty() ? "" : "|") + lines[i];
    EXPECT_EQ(tail, c.tail);
  }
}

TEST(ImageContextMenuModel, ConceptItemsAssignAndRemoveTheTargetPaths) {
  ReviewFixture f({libraryImage(0), libraryImage(1), libraryImage(2)}, {}, conceptsOn());
  f.store->concepts().setTagConcepts({{7, "Cats", 3}, {9, "Sky", 1}});
  f.select(2, {2, 0});
  const auto menu = makeImageContextMenu(testing::imageContextMenuModels(*f.store),
                                         ImageContextMenuTarget::contextSelection(imagePath(0), {}),
                                         testing::echoLocalization(), {});
  ASSERT_EQ(menu.size(), 5u);
  menu[3].entries[1].action();  // assign to Sky
  f.harness.drainEvents();
  menu[4].entries[0].action();  // remove from Cats
  f.harness.drainEvents();
  const auto assigned = f.harness.service->calls("assignImagesToTagConcept");
  const auto removed = f.harness.service->calls("unassignImagesFromTagConcept");
  ASSERT_EQ(assigned.size(), 1u);
  ASSERT_EQ(removed.size(), 1u);
  // The selected records in window order, whichever tile was clicked.
  EXPECT_EQ(assigned[0].number, 9);
  EXPECT_EQ(assigned[0].paths, (std::vector<std::string>{imagePath(0), imagePath(2)}));
  EXPECT_EQ(removed[0].number, 7);
  EXPECT_EQ(removed[0].paths, (std::vector<std::string>{imagePath(0), imagePath(2)}));
}

TEST(ImageContextMenuModel, ReviewSummaryAndBulkTitle) {
  EXPECT_EQ(summarizeReviewStates({}), (ImageContextMenuReviewSummary{0, false, false}));
  EXPECT_EQ(summarizeReviewStates({marks(true, true), marks(true, false)}),
            (ImageContextMenuReviewSummary{2, true, false}));
  const AppLocalization localizer = testing::echoLocalization();
  EXPECT_EQ(reviewActionTitle(AppLocalizationKey::reviewFavoriteAdd, 0, localizer), "review.favorite.add");
  EXPECT_EQ(reviewActionTitle(AppLocalizationKey::reviewFavoriteAdd, 1, localizer), "review.favorite.add");
  EXPECT_EQ(reviewActionTitle(AppLocalizationKey::reviewFavoriteAdd, 2, localizer),
            "review.bulkActionTitle(review.favorite.add,#2)");
}

}  // namespace
}  // namespace lorvex::ui
