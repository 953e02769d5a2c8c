// Concept mutations: what input starts one, one at a time, what the service receives, what each
// outcome leaves (result, error message, refresh, the busy flag), the read-back against loads around
// it, and where a created or renamed concept is placed.
#include <gtest/gtest.h>

#include <algorithm>
#include <any>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "store/concepts/tag_concepts_model_test_access.h"
#include "store/filters/filters_model_test_access.h"
#include "store/library_workflow_fixture.h"

namespace lorvex {
namespace {

using testing::ServiceCall;
using Paths = std::vector<std::string>;
using Concepts = std::vector<TagConcept>;

struct ConceptFixture : testing::LibraryWorkflowFixture {
  ConceptFixture() {
    testing::StoreOptions options;
    options.featureAvailability.isTagConceptEnabled = true;
    store = harness.makeStore(options);
  }
};

// One mutation under way; finish() runs it out and says what it gave: the concept's name or
// "nil", "added" / "not added", or "done" for the ones that give nothing.
struct Mutation {
  std::optional<QCoro::Task<std::optional<TagConcept>>> named = std::nullopt;
  std::optional<QCoro::Task<bool>> alias = std::nullopt;
  std::optional<QCoro::Task<void>> other = std::nullopt;

  bool isReady() const { return named ? named->isReady() : alias ? alias->isReady() : other->isReady(); }
  std::string finish(ConceptFixture& f) {
    if (named) {
      const auto concept_ = f.finish(*named);
      return concept_ ? concept_->displayName : "nil";
    }
    if (alias) return f.finish(*alias) ? "added" : "not added";
    f.finish(*other);
    return "done";
  }
};

struct Operation {
  const char* call;  // the service call it makes
  std::function<Mutation(ImageLibraryStore&, const std::string& input)> start;
  const char* blank;       // input that normalises to nothing
  const char* notStarted;  // what it gives when dropped or when its call fails
  const char* stored;      // what it gives for kInput once the library took the change
  bool takesPaths;
};

// A name, tag or path: names and tags reach the service as "Na me", a path as given, once.
const std::string kInput = "  Na \t me ";

const std::vector<Operation> kOperations = {
    {"createTagConcept",
     [](ImageLibraryStore& s, const std::string& in) {
       return Mutation{.named = s.concepts().createTagConcept(in)};
     },
     " \t\n", "nil", "Na me", false},
    {"renameTagConcept",
     [](ImageLibraryStore& s, const std::string& in) {
       return Mutation{.named = s.concepts().renameTagConcept(5, in)};
     },
     "\u3000", "nil", "Na me", false},
    {"addTagConceptAlias",
     [](ImageLibraryStore& s, const std::string& in) {
       return Mutation{.alias = s.concepts().addTagConceptAlias(5, in)};
     },
     "  ", "not added", "added", false},
    {"removeTagConceptAlias",
     [](ImageLibraryStore& s, const std::string& in) {
       return Mutation{.other = s.concepts().removeTagConceptAlias(5, in)};
     },
     "", "done", "done", false},
    {"assignImagesToTagConcept",
     [](ImageLibraryStore& s, const std::string& in) {
       return Mutation{.other = s.concepts().setManualTagConceptAssignment(5, {in, "", in}, true)};
     },
     "", "done", "done", true},
    {"unassignImagesFromTagConcept",
     [](ImageLibraryStore& s, const std::string& in) {
       return Mutation{.other = s.concepts().setManualTagConceptAssignment(5, {in}, false)};
     },
     "", "done", "done", true},
};

bool namesConcept(const Operation& op) {
  return std::string(op.notStarted) == "nil";
}

TEST(ImageLibraryStoreTagConceptMutations, BlankInputOrABusyStoreStartsNothing) {
  for (const auto& op : kOperations) {
    SCOPED_TRACE(op.call);
    ConceptFixture f;
    int flagSignals = 0;
    QObject::connect(&f.store->concepts(), &TagConceptsModel::isTagConceptMutationInProgressChanged,
                     [&] { ++flagSignals; });
    auto blank = op.start(*f.store, op.blank);
    EXPECT_EQ(blank.finish(f), op.notStarted);
    EXPECT_EQ(flagSignals, 0);
    EXPECT_TRUE(f.service().calls().empty());
    EXPECT_EQ(TagConceptsModelTestAccess::tagConceptGeneration(f.store->concepts()), 0);

    // While this one is held, every other mutation is dropped without a call.
    f.service().hold(op.call);
    auto first = op.start(*f.store, "/held");
    f.service().waitForHeld(op.call);
    EXPECT_TRUE(f.store->concepts().isTagConceptMutationInProgress());
    const auto callsBefore = f.service().calls().size();
    for (const auto& second : kOperations) {
      auto dropped = second.start(*f.store, "/other");
      f.harness.drainEvents();
      EXPECT_TRUE(dropped.isReady()) << second.call;
      EXPECT_EQ(dropped.finish(f), second.notStarted);
    }
    EXPECT_EQ(f.service().calls().size(), callsBefore);
    f.service().releaseAll();
    first.finish(f);
    EXPECT_FALSE(f.store->concepts().isTagConceptMutationInProgress());
  }
}

// Success, a failed service call and a failed read-back, for every mutation: the input the service
// got, what the mutation gives, the message, whether the results were refreshed, the flag down.
TEST(ImageLibraryStoreTagConceptMutations, EveryOutcome) {
  enum class Outcome { succeeds, callFails, readBackFails };
  for (const auto& op : kOperations) {
    for (const Outcome outcome : {Outcome::succeeds, Outcome::callFails, Outcome::readBackFails}) {
      SCOPED_TRACE(std::string(op.call) + " outcome " + std::to_string(static_cast<int>(outcome)));
      ConceptFixture f;
      f.store->context().setErrorMessage("shown earlier");
      if (outcome == Outcome::callFails) f.fail(op.call, testing::libraryFailure("call failed"));
      if (outcome == Outcome::readBackFails)
        f.fail("searchTagConcepts", testing::libraryFailure("read-back failed"));
      const int resets = f.store->results().searchResultsResetCount();
      auto mutation = op.start(*f.store, kInput);
      const std::string given = mutation.finish(f);
      EXPECT_FALSE(f.store->concepts().isTagConceptMutationInProgress());

      const auto calls = f.service().calls(op.call);
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].text, op.takesPaths ? std::nullopt : std::optional<std::string>("Na me"));
      EXPECT_EQ(calls[0].paths, op.takesPaths ? Paths{kInput} : Paths{});
      const bool stored = outcome != Outcome::callFails;
      const bool refreshes = outcome == Outcome::succeeds && !namesConcept(op);
      EXPECT_EQ(given, stored ? op.stored : op.notStarted);
      const auto searches = f.service().calls("searchImages");
      ASSERT_EQ(searches.size(), refreshes ? 1u : 0u);
      if (refreshes) {
        EXPECT_EQ(searches[0].query->limit, 501);
      }
      EXPECT_EQ(f.store->results().searchResultsResetCount(), resets + (refreshes ? 1 : 0));
      const std::optional<std::string> message = outcome == Outcome::callFails ? "call failed"
                                                 : outcome == Outcome::readBackFails
                                                     ? "read-back failed"
                                                     : std::optional<std::string>();
      EXPECT_EQ(f.store->context().errorMessage(), message);
      EXPECT_EQ(f.sawCall("searchTagConcepts"), stored);
    }
  }
}

// A load that may have read the library before the change (started before the mutation or while
// its call ran), answered while the call runs or after the read-back, never shows its answer. A
// load started while the read-back runs and answered first stands: each part of the read-back is
// judged by its own generation, and the other parts still apply.
TEST(ImageLibraryStoreTagConceptMutations, LoadsAroundAMutation) {
  using Aliases = std::vector<TagConceptAlias>;
  using Assigned = std::vector<TagConceptManualAssignment>;
  struct Row {
    const char* name;
    const char* call;
    std::function<QCoro::Task<void>(ImageLibraryStore&)> load;
    std::size_t mutation;
    std::any loaded;
    std::any readBack;
    std::function<bool(const ImageLibraryStore&, const std::any&)> holds;
  };
  const Concepts readBackConcepts = {{5, "Read back", 3}};
  const std::vector<Row> rows = {
      {"concept list", "searchTagConcepts",
       [](ImageLibraryStore& s) { return s.concepts().loadTagConcepts(); }, 0, Concepts{{5, "Loaded", 1}},
       readBackConcepts,
       [](const ImageLibraryStore& s, const std::any& v) {
         return s.concepts().tagConcepts() == std::any_cast<Concepts>(v);
       }},
      {"tag suggestions without text", "searchTagConcepts",
       [](ImageLibraryStore& s) { return s.suggestions().loadTagSuggestions(std::nullopt); }, 1,
       Concepts{{5, "Loaded", 1}}, readBackConcepts,
       [](const ImageLibraryStore& s, const std::any& v) {
         return s.concepts().tagConcepts() == std::any_cast<Concepts>(v) &&
                s.suggestions().tagConceptSuggestions() == std::any_cast<Concepts>(v);
       }},
      {"aliases", "tagConceptAliases",
       [](ImageLibraryStore& s) { return s.concepts().loadTagConceptAliases(5); }, 2, Aliases{{5, "loaded"}},
       Aliases{{5, "read back"}},
       [](const ImageLibraryStore& s, const std::any& v) {
         const auto found = s.concepts().tagConceptAliasesByID().find(5);
         return found != s.concepts().tagConceptAliasesByID().end() &&
                found->second == std::any_cast<Aliases>(v);
       }},
      {"assignments", "tagConceptImageAssignments",
       [](ImageLibraryStore& s) { return s.concepts().loadManualTagConceptAssignments({"/a"}); }, 4,
       Assigned{{5, "/a"}, {6, "/a"}}, Assigned{{5, "/a"}},
       [](const ImageLibraryStore& s, const std::any& v) {
         const auto list = std::any_cast<Assigned>(v);
         return s.concepts().manualTagConceptAssignments() ==
                std::unordered_set<TagConceptManualAssignment>(list.begin(), list.end());
       }},
  };
  enum class Timing {
    beforeAnsweredDuringCall,
    beforeAnsweredLast,
    duringCallAnsweredLast,
    duringReadBackAnsweredFirst
  };
  for (const auto& row : rows) {
    for (const Timing timing : {Timing::beforeAnsweredDuringCall, Timing::beforeAnsweredLast,
                                Timing::duringCallAnsweredLast, Timing::duringReadBackAnsweredFirst}) {
      // A suggestion load does not claim the concept list: the read-back's list part still applies.
      if (timing == Timing::duringReadBackAnsweredFirst && row.mutation == 1) continue;
      SCOPED_TRACE(std::string(row.name) + ", timing " + std::to_string(static_cast<int>(timing)));
      ConceptFixture f;
      const auto& op = kOperations[row.mutation];
      f.answer("searchTagConcepts", readBackConcepts);
      f.service().hold(row.call);
      const bool duringReadBack = timing == Timing::duringReadBackAnsweredFirst;
      if (!duringReadBack) f.service().hold(op.call);
      std::optional<QCoro::Task<void>> load;
      if (timing == Timing::beforeAnsweredDuringCall || timing == Timing::beforeAnsweredLast)
        load = row.load(*f.store);
      auto mutation = op.start(*f.store, "/a");
      f.service().waitForHeld(duringReadBack ? row.call : op.call);
      if (!load) load = row.load(*f.store);
      f.service().waitForHeld(row.call, duringReadBack ? 2 : 1);
      const auto loadCall = f.service().heldCalls(row.call).back().id;
      f.service().answerImmediately(row.call);
      f.service().setAnswer(row.call, [&row](const ServiceCall&) { return row.readBack; });
      if (timing == Timing::beforeAnsweredDuringCall || duringReadBack) {
        f.service().releaseWith(loadCall, row.loaded);
        f.harness.drainEvents();
        EXPECT_EQ(row.holds(*f.store, row.loaded), duringReadBack);
      }
      for (const auto& call : f.service().heldCalls()) {
        if (call.id != loadCall) f.service().release(call.id);
      }
      mutation.finish(f);
      if (timing == Timing::beforeAnsweredLast || timing == Timing::duringCallAnsweredLast) {
        f.service().releaseWith(loadCall, row.loaded);
      }
      f.harness.drainEvents();
      EXPECT_TRUE(load->isReady());
      EXPECT_TRUE(row.holds(*f.store, duringReadBack ? row.loaded : row.readBack));
      EXPECT_EQ(f.store->suggestions().tagConceptSuggestions(), readBackConcepts);
    }
  }
}

// The read-back re-reads the concept list, the suggestions of the text last searched, the named
// concept's aliases, and the assignments of the loaded scope (sorted) or else of the changed paths.
TEST(ImageLibraryStoreTagConceptMutations, WhatTheReadBackReads) {
  struct Row {
    const char* name;
    std::size_t op;
    Paths scope;
    Paths changed;
    std::optional<std::int64_t> aliasConcept;
    std::optional<Paths> assignmentPaths;
  };
  const std::vector<Row> rows = {
      {"create", 0, {}, {"/x"}, std::nullopt, std::nullopt},
      {"alias", 3, {"/c"}, {"/x"}, 5, std::nullopt},
      {"assignment with a scope", 4, {"/c", "/a", "/b"}, {"/a"}, std::nullopt, Paths{"/a", "/b", "/c"}},
      {"assignment without a scope", 5, {}, {"/b"}, std::nullopt, Paths{"/b"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ConceptFixture f;
    auto suggestions = f.store->suggestions().loadTagSuggestions(std::string("  cat "));
    auto scope = f.store->concepts().loadManualTagConceptAssignments(row.scope);
    f.harness.drainEvents();
    f.answer("searchTagConcepts", Concepts{{5, "Cat", 2}});
    f.answer("tagConceptImageAssignments", std::vector<TagConceptManualAssignment>{{5, "/b"}});
    const auto skipped = f.service().calls().size();
    auto mutation = kOperations[row.op].start(*f.store, row.changed[0]);
    mutation.finish(f);
    std::vector<std::optional<std::string>> texts;
    std::optional<std::int64_t> aliasConcept;
    std::optional<Paths> assignmentPaths;
    for (const auto& call : f.service().calls()) {
      if (call.id <= skipped) continue;
      if (call.name == "searchTagConcepts") texts.push_back(call.text);
      if (call.name == "tagConceptAliases") aliasConcept = call.number;
      if (call.name == "tagConceptImageAssignments") assignmentPaths = call.paths;
    }
    EXPECT_EQ(texts, (std::vector<std::optional<std::string>>{std::nullopt, "cat"}));
    EXPECT_EQ(aliasConcept, row.aliasConcept);
    EXPECT_EQ(assignmentPaths, row.assignmentPaths);
    EXPECT_EQ(f.store->concepts().tagConcepts(), (Concepts{{5, "Cat", 2}}));
    EXPECT_EQ(f.store->suggestions().tagConceptSuggestions(), (Concepts{{5, "Cat", 2}}));
    if (row.assignmentPaths) {
      EXPECT_EQ(f.store->concepts().manualTagConceptAssignmentScopePaths(),
                PathSet(row.assignmentPaths->begin(), row.assignmentPaths->end()));
      EXPECT_EQ(f.store->concepts().manualTagConceptAssignmentCount(5, *row.assignmentPaths), 1);
    }
  }
}

// A created or renamed concept stands where the service would list it (more images first, then by
// name ignoring case, then by id) before the read-back comes; a selected one is renamed in place in
// id order without a search.
TEST(ImageLibraryStoreTagConceptMutations, WhereAChangedConceptStands) {
  struct Row {
    const char* name;
    Concepts before;
    TagConcept stored;
    std::vector<std::int64_t> order;
  };
  const std::vector<Row> rows = {
      {"more images first", {{1, "b", 5}, {2, "a", 1}}, {3, "z", 3}, {1, 3, 2}},
      {"then by name ignoring case", {{1, "beta", 2}, {2, "Delta", 2}}, {3, "Charlie", 2}, {1, 3, 2}},
      {"the same name ignoring case by id", {{4, "STRASSE", 2}, {6, "x", 2}}, {3, "Straße", 2}, {3, 4, 6}},
      {"a renamed concept moves", {{1, "A", 5}, {2, "B", 3}, {5, "C", 1}}, {1, "Z", 1}, {2, 5, 1}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ConceptFixture f;
    f.store->concepts().setTagConcepts(row.before);
    const Concepts selected = {{1, "A", 5}, {5, "old", 1}, {9, "C", 1}};
    FiltersModelTestAccess::setSelectedTagConcepts(f.store->filters(), selected);
    f.answer("renameTagConcept", row.stored);
    f.service().hold("searchTagConcepts");
    auto rename = f.store->concepts().renameTagConcept(row.stored.id, "given");
    f.service().waitForHeld("searchTagConcepts");
    std::vector<std::int64_t> order;
    for (const auto& c : f.store->concepts().tagConcepts()) order.push_back(c.id);
    EXPECT_EQ(order, row.order);
    EXPECT_NE(std::find(f.store->concepts().tagConcepts().begin(), f.store->concepts().tagConcepts().end(),
                        row.stored),
              f.store->concepts().tagConcepts().end());
    Concepts expectedSelection = selected;
    for (auto& c : expectedSelection) {
      if (c.id == row.stored.id) c = row.stored;
    }
    EXPECT_EQ(f.store->filters().selectedTagConcepts(), expectedSelection);
    f.service().answerImmediately("searchTagConcepts");
    f.service().releaseAll();
    f.finish(rename);
    EXPECT_FALSE(f.sawCall("searchImages"));
  }
}

}  // namespace
}  // namespace lorvex
