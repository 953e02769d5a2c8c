// Selecting tag concepts as filters: the list kept in id order, matched by id only, and each change
// ending with one fresh first page whose query carries the selected ids.
#include <gtest/gtest.h>

#include <any>
#include <cstdint>
#include <string>
#include <vector>

#include "store/library_workflow_fixture.h"

namespace lorvex {
namespace {

using Ids = std::vector<std::int64_t>;

TEST(ImageLibraryStoreTagConceptFilters, ToggleAndRemove) {
  struct Step {
    bool toggle;  // else remove by id
    TagConcept concept_;
    Ids selected;
    bool searches;
  };
  const std::vector<Step> steps = {
      {true, {9, "Nine", 1}, {9}, true},
      {true, {2, "Two", 1}, {2, 9}, true},
      {true, {5, "Five", 1}, {2, 5, 9}, true},
      {true, {5, "renamed since", 4}, {2, 9}, true},  // matched by id, not by name
      {false, {7, "", 0}, {2, 9}, false},             // not selected: no search
      {false, {2, "", 0}, {9}, true},
      {true, {2, "Two", 1}, {2, 9}, true},
      {true, {2, "Two", 1}, {9}, true},
      {true, {9, "Nine", 1}, {}, true},  // the list ends empty and still searches
  };
  // The fixture's store has tag concepts switched off, as the application has: the popover then
  // offers no concept rows, but the list still follows the calls.
  testing::LibraryWorkflowFixture f;
  // The scripted library does not resolve concepts; the queries are what this test reads.
  f.answer("searchImages", std::vector<ImageRecord>{});
  std::size_t searches = 0;
  int resets = f.store->results().searchResultsResetCount();
  for (const auto& step : steps) {
    SCOPED_TRACE("concept " + std::to_string(step.concept_.id));
    auto change = step.toggle ? f.store->filters().toggleSelectedTagConcept(step.concept_)
                              : f.store->filters().removeSelectedTagConcept(step.concept_.id);
    f.finish(change);
    Ids selected;
    for (const auto& c : f.store->filters().selectedTagConcepts()) selected.push_back(c.id);
    EXPECT_EQ(selected, step.selected);
    const auto calls = f.service().calls("searchImages");
    ASSERT_EQ(calls.size(), searches + (step.searches ? 1 : 0));
    searches = calls.size();
    if (!step.searches) continue;
    EXPECT_EQ(calls.back().query->filterConceptIDs, step.selected);
    EXPECT_EQ(calls.back().query->limit, 501);
    EXPECT_EQ(calls.back().query->offset, 0);
    EXPECT_EQ(f.store->results().searchResultsResetCount(), ++resets);
  }
}

}  // namespace
}  // namespace lorvex
