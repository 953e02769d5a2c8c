// The concepts model's state: the change-only rule of its observed fields, and a store that goes
// while concept flows are suspended (a mutation in its call or its read-back, a load).
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "store/concepts/tag_concepts_model_test_access.h"
#include "store/filters/filters_model_test_access.h"
#include "store/image_library_store.h"
#include "store/support/change_only.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using Access = TagConceptsModelTestAccess;

testing::StoreOptions conceptsOn() {
  testing::StoreOptions options;
  options.featureAvailability.isTagConceptEnabled = true;
  return options;
}

template <typename T>
void expectChangeOnly(const char* name, std::function<void(TagConceptsModel&, T)> set,
                      std::function<T(const TagConceptsModel&)> get, void (TagConceptsModel::*signal)(),
                      T first, T second) {
  SCOPED_TRACE(name);
  testing::StoreHarness h;
  auto store = h.makeStore(conceptsOn());
  testing::expectModelChangeOnly<TagConceptsModel, T>(store->concepts(), set, get, signal, first, second);
}

TEST(TagConceptsModel, ObservedFieldsSignalOnlyARealChange) {
  using Concepts = std::vector<TagConcept>;
  using Aliases = std::map<std::int64_t, std::vector<TagConceptAlias>>;
  using Assignments = std::unordered_set<TagConceptManualAssignment>;
  using M = TagConceptsModel;
  // Same id, another count: a different concept.
  expectChangeOnly<Concepts>("tagConcepts", [](M& m, Concepts v) { m.setTagConcepts(std::move(v)); },
                             &M::tagConcepts, &M::tagConceptsChanged, {{1, "a", 3}}, {{1, "a", 4}});
  // Same key, another alias list.
  expectChangeOnly<Aliases>(
      "tagConceptAliasesByID", [](M& m, Aliases v) { Access::setTagConceptAliasesByID(m, std::move(v)); },
      &M::tagConceptAliasesByID, &M::tagConceptAliasesByIDChanged, {{1, {{1, "cat"}}}}, {{1, {{1, "dog"}}}});
  expectChangeOnly<Assignments>(
      "manualTagConceptAssignments",
      [](M& m, Assignments v) { Access::setManualTagConceptAssignments(m, std::move(v)); },
      &M::manualTagConceptAssignments, &M::manualTagConceptAssignmentsChanged, {{1, "/a"}, {2, "/b"}},
      {{1, "/a"}});
  expectChangeOnly<PathSet>(
      "manualTagConceptAssignmentScopePaths",
      [](M& m, PathSet v) { Access::setManualTagConceptAssignmentScopePaths(m, std::move(v)); },
      &M::manualTagConceptAssignmentScopePaths, &M::manualTagConceptAssignmentScopePathsChanged,
      PathSet{"/a"}, PathSet{"/a", "/b"});
  expectChangeOnly<bool>(
      "isTagConceptMutationInProgress", [](M& m, bool v) { Access::setIsTagConceptMutationInProgress(m, v); },
      &M::isTagConceptMutationInProgress, &M::isTagConceptMutationInProgressChanged, true, false);
}

// Concept flows run in the scope of the store, not of the model: a store that goes while one is
// suspended frees it (the sanitizers see a leaked frame or a touch of the gone model), and the
// late answer of its service call is dropped.
TEST(TagConceptsModel, AStoreGoingMidFlowFreesItsConceptFlows) {
  struct Row {
    const char* name;
    const char* held;  // the service call the flow is suspended on
    std::function<void(TagConceptsModel&)> start;
  };
  const std::vector<Row> rows = {
      {"a rename in its call", "renameTagConcept",
       [](TagConceptsModel& m) {
         m.context().startDetached([&m]() -> QCoro::Task<void> {
           auto frame = co_await m.context().scope().enter();
           co_await m.renameTagConcept(1, "Cats");
         });
       }},
      {"an alias change in its read-back", "searchTagConcepts",
       [](TagConceptsModel& m) {
         m.context().startDetached([&m]() -> QCoro::Task<void> {
           auto frame = co_await m.context().scope().enter();
           co_await m.addTagConceptAlias(1, "cat");
         });
       }},
      {"an assignment load", "tagConceptImageAssignments",
       [](TagConceptsModel& m) {
         m.context().startDetached([&m] { return m.loadManualTagConceptAssignments({"/a"}); });
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::StoreHarness h;
    auto store = h.makeStore(conceptsOn());
    FiltersModelTestAccess::setSelectedTagConcepts(store->filters(), {{1, "Cat", 2}});
    h.service->hold(row.held);
    row.start(store->concepts());
    h.service->waitForHeld(row.held);
    store.reset();
    // The late answer reaches a closed scope and is dropped.
    h.service->releaseAll();
    EXPECT_TRUE(h.drainEvents());
  }
}

}  // namespace
}  // namespace lorvex
