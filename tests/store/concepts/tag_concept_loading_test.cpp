// The concept views' loads: the concept list, one concept's aliases and the hand assignments of a
// scope of images. Overlapping loads never show an older answer, the count reads only a complete
// scope, nothing is asked with concepts switched off, and a load clears only its own kind of error.
#include <gtest/gtest.h>

#include <any>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "model/library_error.h"
#include "store/concepts/tag_concepts_model_test_access.h"
#include "store/image_library_store.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using testing::ServiceCall;
using testing::StoreHarness;
using Paths = std::vector<std::string>;
using Assignments = std::unordered_set<TagConceptManualAssignment>;

testing::StoreOptions concepts(bool enabled = true) {
  testing::StoreOptions options;
  options.featureAvailability.isTagConceptEnabled = enabled;
  return options;
}

std::exception_ptr failure(const std::string& text) {
  return std::make_exception_ptr(LibraryError(LibraryError::Kind::database, text));
}

// One kind of load as the tests drive it: how to start it, the service call it makes, an answer
// that tells two loads apart, and what the store shows of it.
struct LoadKind {
  const char* name;
  const char* call;
  std::function<QCoro::Task<void>(ImageLibraryStore&, int which)> start;
  std::function<std::any(int which)> answer;
  std::function<bool(const ImageLibraryStore&, int which)> shows;
};

std::vector<LoadKind> loadKinds() {
  return {
      {"concept list", "searchTagConcepts",
       [](ImageLibraryStore& store, int) { return store.concepts().loadTagConcepts(); },
       [](int which) {
         return std::any(std::vector<TagConcept>{{which, "answer " + std::to_string(which), which}});
       },
       [](const ImageLibraryStore& store, int which) {
         return store.concepts().tagConcepts() ==
                std::vector<TagConcept>{{which, "answer " + std::to_string(which), which}};
       }},
      {"aliases of one concept", "tagConceptAliases",
       [](ImageLibraryStore& store, int) { return store.concepts().loadTagConceptAliases(7); },
       [](int which) {
         return std::any(std::vector<TagConceptAlias>{{7, "tag " + std::to_string(which)}});
       },
       [](const ImageLibraryStore& store, int which) {
         const auto found = store.concepts().tagConceptAliasesByID().find(7);
         return found != store.concepts().tagConceptAliasesByID().end() &&
                found->second == std::vector<TagConceptAlias>{{7, "tag " + std::to_string(which)}};
       }},
      {"hand assignments", "tagConceptImageAssignments",
       [](ImageLibraryStore& store, int which) {
         return store.concepts().loadManualTagConceptAssignments({"/scope/" + std::to_string(which)});
       },
       [](int which) {
         return std::any(std::vector<TagConceptManualAssignment>{{which, "/scope/" + std::to_string(which)}});
       },
       [](const ImageLibraryStore& store, int which) {
         const std::string path = "/scope/" + std::to_string(which);
         return store.concepts().manualTagConceptAssignments() == Assignments{{which, path}} &&
                store.concepts().manualTagConceptAssignmentScopePaths() == PathSet{path};
       }},
  };
}

// Loads 1 and 2 of each kind, both held, answered in either order; the older one may fail.
TEST(ImageLibraryStoreTagConceptLoading, OnlyTheNewestLoadOfAKindApplies) {
  struct Order {
    const char* name;
    bool newerFirst;
    bool olderFails;
  };
  const std::vector<Order> orders = {
      {"newer answers first, older late", true, false},
      {"older answers first", false, false},
      {"newer answers first, older fails late", true, true},
      {"older fails first", false, true},
  };
  for (const auto& kind : loadKinds()) {
    for (const auto& order : orders) {
      SCOPED_TRACE(std::string(kind.name) + ": " + order.name);
      StoreHarness h;
      auto store = h.makeStore(concepts());
      h.service->hold(kind.call);
      auto older = kind.start(*store, 1);
      h.service->waitForHeld(kind.call, 1);
      auto newer = kind.start(*store, 2);
      h.service->waitForHeld(kind.call, 2);
      const auto held = h.service->heldCalls(kind.call);
      ASSERT_EQ(held.size(), 2u);
      auto answerOlder = [&] {
        if (order.olderFails) {
          h.service->fail(held[0].id, failure("stale failure"));
        } else {
          h.service->releaseWith(held[0].id, kind.answer(1));
        }
      };
      if (order.newerFirst) {
        h.service->releaseWith(held[1].id, kind.answer(2));
        h.drainEvents();
        EXPECT_TRUE(kind.shows(*store, 2));
        answerOlder();
      } else {
        answerOlder();
        h.drainEvents();
        EXPECT_FALSE(kind.shows(*store, 1));
        h.service->releaseWith(held[1].id, kind.answer(2));
      }
      h.drainEvents();
      EXPECT_TRUE(older.isReady());
      EXPECT_TRUE(newer.isReady());
      EXPECT_TRUE(kind.shows(*store, 2));
      EXPECT_EQ(store->context().errorMessage(), std::nullopt);
    }
  }
}

TEST(ImageLibraryStoreTagConceptLoading, AliasLoadsOfDifferentConceptsBothApply) {
  StoreHarness h;
  auto store = h.makeStore(concepts());
  h.service->hold("tagConceptAliases");
  auto first = store->concepts().loadTagConceptAliases(1);
  auto second = store->concepts().loadTagConceptAliases(2);
  h.service->waitForHeld("tagConceptAliases", 2);
  // The newer concept answers first; the older one's answer still counts.
  for (const auto& call : h.service->heldCalls("tagConceptAliases")) {
    if (call.number == 2) h.service->releaseWith(call.id, std::vector<TagConceptAlias>{{2, "dog"}});
  }
  h.drainEvents();
  for (const auto& call : h.service->heldCalls("tagConceptAliases")) {
    h.service->releaseWith(call.id, std::vector<TagConceptAlias>{{1, "cat"}});
  }
  h.drainEvents();
  const std::map<std::int64_t, std::vector<TagConceptAlias>> expected = {{1, {{1, "cat"}}},
                                                                         {2, {{2, "dog"}}}};
  EXPECT_EQ(store->concepts().tagConceptAliasesByID(), expected);
  EXPECT_EQ(TagConceptsModelTestAccess::tagConceptAliasGenerations(store->concepts()),
            (std::map<std::int64_t, int>{{1, 1}, {2, 1}}));
}

// The scope changes at once and its assignments empty before the answer; the count answers only
// for images whose assignments are all loaded.
TEST(ImageLibraryStoreTagConceptLoading, AssignmentScopeAndCount) {
  StoreHarness h;
  auto store = h.makeStore(concepts());
  h.service->setAnswer("tagConceptImageAssignments", [](const ServiceCall&) {
    return std::any(std::vector<TagConceptManualAssignment>{{1, "/a"}, {1, "/b"}, {2, "/b"}});
  });
  auto first = store->concepts().loadManualTagConceptAssignments({"/a", "", "/b", "/a", "/c"});
  h.drainEvents();
  const auto calls = h.service->calls("tagConceptImageAssignments");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].paths, (Paths{"/a", "/b", "/c"}));
  EXPECT_EQ(store->concepts().manualTagConceptAssignmentScopePaths(), (PathSet{"/a", "/b", "/c"}));

  struct Row {
    const char* name;
    std::int64_t conceptID;
    Paths paths;
    int count;
  };
  const std::vector<Row> rows = {
      {"every image assigned", 1, {"/a", "/b"}, 2},
      {"one of two", 2, {"/a", "/b"}, 1},
      {"duplicates and empty strings count once", 1, {"/a", "", "/a", "/b", "/b"}, 2},
      {"an image in scope without assignment", 1, {"/c"}, 0},
      {"an image outside the scope reads 0 for all", 1, {"/a", "/z"}, 0},
      {"more images than the scope holds", 1, {"/a", "/b", "/c", "/d"}, 0},
      {"another concept", 3, {"/a", "/b"}, 0},
      {"no paths", 1, {}, 0},
      {"only empty strings", 1, {"", ""}, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(store->concepts().manualTagConceptAssignmentCount(row.conceptID, row.paths), row.count);
  }

  // A new load: the new scope at once, no assignment counted until the answer comes.
  h.service->hold("tagConceptImageAssignments");
  auto second = store->concepts().loadManualTagConceptAssignments({"/b", "/a"});
  EXPECT_EQ(store->concepts().manualTagConceptAssignmentScopePaths(), (PathSet{"/a", "/b"}));
  EXPECT_TRUE(store->concepts().manualTagConceptAssignments().empty());
  EXPECT_EQ(store->concepts().manualTagConceptAssignmentCount(1, {"/a", "/b"}), 0);
  // A failure keeps that: the scope set, nothing assigned.
  h.service->waitForHeld("tagConceptImageAssignments");
  h.service->fail(h.service->heldCalls("tagConceptImageAssignments")[0].id, failure("assignments failed"));
  h.drainEvents();
  EXPECT_EQ(store->context().errorMessage(), "assignments failed");
  EXPECT_EQ(store->concepts().manualTagConceptAssignmentScopePaths(), (PathSet{"/a", "/b"}));
  EXPECT_EQ(store->concepts().manualTagConceptAssignmentCount(1, {"/a"}), 0);

  // No path left: both emptied, no call, the message untouched.
  const int generation = TagConceptsModelTestAccess::manualTagConceptAssignmentGeneration(store->concepts());
  auto empty = store->concepts().loadManualTagConceptAssignments({"", ""});
  h.drainEvents();
  EXPECT_TRUE(empty.isReady());
  EXPECT_TRUE(store->concepts().manualTagConceptAssignmentScopePaths().empty());
  EXPECT_TRUE(store->concepts().manualTagConceptAssignments().empty());
  EXPECT_EQ(TagConceptsModelTestAccess::manualTagConceptAssignmentGeneration(store->concepts()),
            generation + 1);
  EXPECT_EQ(h.service->calls("tagConceptImageAssignments").size(), 2u);
  EXPECT_EQ(store->context().errorMessage(), "assignments failed");
}

// With the feature off the loads ask nothing and read as a library without concepts would.
TEST(ImageLibraryStoreTagConceptLoading, ConceptsOffAsksTheServiceNothing) {
  StoreHarness h;
  auto store = h.makeStore(concepts(false));
  h.service->setTagConcepts({{1, "Cat", 3}});
  store->concepts().setTagConcepts({{9, "Earlier", 1}});
  TagConceptsModelTestAccess::setTagConceptAliasesByID(store->concepts(), {{4, {{4, "old"}}}});
  auto list = store->concepts().loadTagConcepts();
  auto aliases = store->concepts().loadTagConceptAliases(4);
  auto assignments = store->concepts().loadManualTagConceptAssignments({"/a"});
  h.drainEvents();
  EXPECT_TRUE(list.isReady() && aliases.isReady() && assignments.isReady());
  EXPECT_TRUE(h.service->calls().empty());
  EXPECT_TRUE(store->concepts().tagConcepts().empty());
  EXPECT_EQ(store->concepts().tagConceptAliasesByID(),
            (std::map<std::int64_t, std::vector<TagConceptAlias>>{{4, {}}}));
  EXPECT_EQ(store->concepts().manualTagConceptAssignmentScopePaths(), PathSet{"/a"});
  EXPECT_TRUE(store->concepts().manualTagConceptAssignments().empty());
}

// A load that fails shows its text and keeps what was loaded; the next one that succeeds clears
// that text but never a message another flow showed meanwhile.
TEST(ImageLibraryStoreTagConceptLoading, FailuresAndTheirClearing) {
  struct Row {
    const char* name;
    bool loadFailsFirst;
    std::optional<std::string> shownByAnotherFlow;
    std::optional<std::string> expectedAfterSuccess;
  };
  const std::vector<Row> rows = {
      {"its own failure is cleared", true, std::nullopt, std::nullopt},
      {"a refresh failure survives", false, "検索に失敗しました", "検索に失敗しました"},
      {"a refresh failure shown after its own survives", true, "検索に失敗しました", "検索に失敗しました"},
  };
  for (const auto& kind : loadKinds()) {
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(kind.name) + ": " + row.name);
      StoreHarness h;
      auto store = h.makeStore(concepts());
      h.service->setAnswer(kind.call, [&kind](const ServiceCall&) { return kind.answer(1); });
      auto good = kind.start(*store, 1);
      h.drainEvents();
      ASSERT_TRUE(kind.shows(*store, 1));
      if (row.loadFailsFirst) {
        h.service->setAnswer(kind.call, [](const ServiceCall&) -> std::any {
          std::rethrow_exception(failure("タグ概念ストアを利用できません"));
        });
        auto failed = kind.start(*store, 1);
        h.drainEvents();
        EXPECT_EQ(store->context().errorMessage(), "タグ概念ストアを利用できません");
        // Lists stay as loaded; assignments are emptied by the new load before it fails.
        if (std::string(kind.call) != "tagConceptImageAssignments") {
          EXPECT_TRUE(kind.shows(*store, 1));
        }
      }
      if (row.shownByAnotherFlow) store->context().setErrorMessage(*row.shownByAnotherFlow);
      h.service->setAnswer(kind.call, [&kind](const ServiceCall&) { return kind.answer(2); });
      auto next = kind.start(*store, 2);
      h.drainEvents();
      EXPECT_TRUE(kind.shows(*store, 2));
      EXPECT_EQ(store->context().errorMessage(), row.expectedAfterSuccess);
    }
  }
}

}  // namespace
}  // namespace lorvex
