// The filter sidebar's tag suggestions: overlapping loads of which only the newest applies, the
// concept suggestions only with tag concepts on (and the whole concept list read without text),
// and failures that reach the error message of the newest load only.
#include <gtest/gtest.h>

#include <any>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/library_error.h"
#include "store/image_library_store.h"
#include "store/suggestions/suggestions_model_test_access.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using testing::StoreHarness;
using Tags = std::vector<TagSuggestion>;
using Concepts = std::vector<TagConcept>;

testing::StoreOptions conceptsEnabled(bool enabled) {
  testing::StoreOptions options;
  options.featureAvailability.isTagConceptEnabled = enabled;
  return options;
}

std::exception_ptr failure(const std::string& text) {
  return std::make_exception_ptr(LibraryError(LibraryError::Kind::database, text));
}

TagConcept tagConcept(std::int64_t id, const std::string& name) {
  return TagConcept{.id = id, .displayName = name, .imageCount = 1};
}

// Two loads held until the test answers them; each answer is a list of tags or an error.
TEST(ImageLibraryStoreTagSuggestions, OnlyTheNewestLoadApplies) {
  struct Row {
    const char* name;
    bool newerAnswersFirst;
    bool olderFails;
  };
  const std::vector<Row> rows = {
      {"newer first, older late with tags", true, false},
      {"older first, then newer", false, false},
      {"newer first, older fails late", true, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StoreHarness h;
    auto store = h.makeStore(conceptsEnabled(false));
    h.service->hold("tagSuggestions");
    auto older = store->suggestions().loadTagSuggestions(std::string("cat"));
    auto newer = store->suggestions().loadTagSuggestions(std::string("dog"));
    h.service->waitForHeld("tagSuggestions", 2);
    // Told apart by their text: the pool may start either call first.
    auto held = h.service->heldCalls("tagSuggestions");
    ASSERT_EQ(held.size(), 2u);
    if (held[0].text != "cat") std::swap(held[0], held[1]);
    ASSERT_EQ(held[0].text, "cat");
    EXPECT_EQ(SuggestionsModelTestAccess::tagSuggestionGeneration(store->suggestions()), 2);
    EXPECT_EQ(SuggestionsModelTestAccess::activeTagSuggestionSearchText(store->suggestions()), "dog");
    EXPECT_TRUE(store->suggestions().isTagSuggestionLoading());

    int tagSignals = 0;
    int loadingSignals = 0;
    int errorSignals = 0;
    QObject::connect(&store->suggestions(), &SuggestionsModel::tagSuggestionsChanged, [&] { ++tagSignals; });
    QObject::connect(&store->suggestions(), &SuggestionsModel::isTagSuggestionLoadingChanged,
                     [&] { ++loadingSignals; });
    QObject::connect(&store->context(), &StoreContext::errorMessageChanged, [&] { ++errorSignals; });
    auto answerOlder = [&] {
      if (row.olderFails) {
        h.service->fail(held[0].id, failure("stale failure"));
      } else {
        h.service->releaseWith(held[0].id, Tags{{"cat", 3}});
      }
    };
    if (row.newerAnswersFirst) {
      h.service->releaseWith(held[1].id, Tags{{"dog", 5}});
      h.drainEvents();
      answerOlder();
    } else {
      answerOlder();
      h.drainEvents();
      EXPECT_TRUE(store->suggestions().isTagSuggestionLoading());
      EXPECT_TRUE(store->suggestions().tagSuggestions().empty());
      h.service->releaseWith(held[1].id, Tags{{"dog", 5}});
    }
    h.drainEvents();
    EXPECT_TRUE(older.isReady());
    EXPECT_TRUE(newer.isReady());
    EXPECT_EQ(store->suggestions().tagSuggestions(), (Tags{{"dog", 5}}));
    EXPECT_FALSE(store->suggestions().isTagSuggestionLoading());
    EXPECT_EQ(store->context().errorMessage(), std::nullopt);
    EXPECT_EQ(tagSignals, 1);
    EXPECT_EQ(loadingSignals, 1);
    EXPECT_EQ(errorSignals, 0);
    EXPECT_EQ(SuggestionsModelTestAccess::tagSuggestionGeneration(store->suggestions()), 2);
  }
}

TEST(ImageLibraryStoreTagSuggestions, ConceptsOnlyWhenEnabled) {
  const Concepts all = {tagConcept(1, "Cat"), tagConcept(2, "Dog")};
  const Concepts earlier = {tagConcept(9, "Earlier")};
  struct Row {
    const char* name;
    bool enabled;
    std::optional<std::string> text;
    std::optional<std::string> activeText;
    std::size_t conceptCalls;
    Concepts suggestions;
    Concepts conceptsAfter;
  };
  const std::vector<Row> rows = {
      {"on, no text: the whole list, also as the concept list", true, std::nullopt, std::nullopt, 1, all,
       all},
      {"on, only spaces: read as no text", true, "  \n ", std::nullopt, 1, all, all},
      {"on, text: matching concepts, the concept list kept", true, "  ca t ", "ca t", 1, all, earlier},
      {"off, no text: no concept search and the concept list emptied",
       false,
       std::nullopt,
       std::nullopt,
       0,
       {},
       {}},
      {"off, text: no concept search, the concept list kept", false, "cat", "cat", 0, {}, earlier},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StoreHarness h;
    auto store = h.makeStore(conceptsEnabled(row.enabled));
    // The same lists whatever the text, so that every row reads what the store did with them.
    h.service->setAnswer("tagSuggestions", [](const testing::ServiceCall&) {
      return std::any(Tags{{"cat", 2}});
    });
    h.service->setAnswer("searchTagConcepts", [&all](const testing::ServiceCall&) { return std::any(all); });
    store->concepts().setTagConcepts(earlier);
    auto load = store->suggestions().loadTagSuggestions(row.text);
    h.drainEvents();
    ASSERT_TRUE(load.isReady());
    EXPECT_EQ(SuggestionsModelTestAccess::activeTagSuggestionSearchText(store->suggestions()),
              row.activeText);
    EXPECT_EQ(store->suggestions().tagSuggestions(), (Tags{{"cat", 2}}));
    EXPECT_EQ(store->suggestions().tagConceptSuggestions(), row.suggestions);
    EXPECT_EQ(store->concepts().tagConcepts(), row.conceptsAfter);
    EXPECT_FALSE(store->suggestions().isTagSuggestionLoading());
    // The service is asked with the text as typed, spaces and all, for at most 500 of each.
    const auto tagCalls = h.service->calls("tagSuggestions");
    ASSERT_EQ(tagCalls.size(), 1u);
    EXPECT_EQ(tagCalls[0].text, row.text);
    EXPECT_EQ(tagCalls[0].number, 500);
    const auto conceptCalls = h.service->calls("searchTagConcepts");
    ASSERT_EQ(conceptCalls.size(), row.conceptCalls);
    for (const auto& call : conceptCalls) {
      EXPECT_EQ(call.text, row.text);
      EXPECT_EQ(call.number, 500);
    }
  }
}

// The popover begins as soon as its text changes: a load still running when it does is dropped,
// and the lists stay empty and loading until the next load ends.
TEST(ImageLibraryStoreTagSuggestions, ABeginOutdatesTheLoadInFlight) {
  StoreHarness h;
  auto store = h.makeStore(conceptsEnabled(true));
  SuggestionsModelTestAccess::setTagSuggestions(store->suggestions(), Tags{{"shown", 1}});
  SuggestionsModelTestAccess::setTagConceptSuggestions(store->suggestions(), {tagConcept(4, "Shown")});
  // What the dropped load would have put into the concept lists.
  h.service->setTagConcepts({tagConcept(1, "Late")});
  h.service->hold("tagSuggestions");
  auto load = store->suggestions().loadTagSuggestions(std::nullopt);
  ASSERT_TRUE(h.service->waitForHeld("tagSuggestions"));
  store->suggestions().beginTagSuggestionLoading();
  EXPECT_EQ(SuggestionsModelTestAccess::tagSuggestionGeneration(store->suggestions()), 2);
  EXPECT_TRUE(store->suggestions().isTagSuggestionLoading());
  h.service->releaseWith(h.service->heldCalls("tagSuggestions")[0].id, Tags{{"late", 1}});
  h.drainEvents();
  ASSERT_TRUE(load.isReady());
  EXPECT_TRUE(store->suggestions().tagSuggestions().empty());
  EXPECT_TRUE(store->suggestions().tagConceptSuggestions().empty());
  EXPECT_TRUE(store->concepts().tagConcepts().empty());
  EXPECT_TRUE(store->suggestions().isTagSuggestionLoading());
}

TEST(ImageLibraryStoreTagSuggestions, AFailureShowsItsTextAndLeavesTheListsEmpty) {
  struct Row {
    const char* name;
    const char* failing;
    std::size_t conceptCalls;
  };
  const std::vector<Row> rows = {
      {"the tag read fails: no concept search follows", "tagSuggestions", 0},
      {"the concept search fails", "searchTagConcepts", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StoreHarness h;
    auto store = h.makeStore(conceptsEnabled(true));
    h.service->setTagSuggestions(Tags{{"cat", 2}});
    h.service->setTagConcepts({tagConcept(1, "Cat")});
    const Concepts earlier = {tagConcept(9, "Earlier")};
    store->concepts().setTagConcepts(earlier);
    h.service->setAnswer(row.failing, [](const testing::ServiceCall&) -> std::any {
      std::rethrow_exception(failure("タグ概念ストアを利用できません"));
    });
    auto failed = store->suggestions().loadTagSuggestions(std::nullopt);
    h.drainEvents();
    ASSERT_TRUE(failed.isReady());
    EXPECT_EQ(store->context().errorMessage(), "タグ概念ストアを利用できません");
    EXPECT_FALSE(store->suggestions().isTagSuggestionLoading());
    EXPECT_TRUE(store->suggestions().tagSuggestions().empty());
    EXPECT_TRUE(store->suggestions().tagConceptSuggestions().empty());
    EXPECT_EQ(store->concepts().tagConcepts(), earlier);
    EXPECT_EQ(h.service->calls("searchTagConcepts").size(), row.conceptCalls);

    // The next load that succeeds clears the message.
    h.service->setAnswer(row.failing, nullptr);
    auto next = store->suggestions().loadTagSuggestions(std::string("cat"));
    h.drainEvents();
    ASSERT_TRUE(next.isReady());
    EXPECT_EQ(store->context().errorMessage(), std::nullopt);
    EXPECT_EQ(store->suggestions().tagSuggestions(), (Tags{{"cat", 2}}));
  }
}

// A successful load clears only the message a failed suggestion load showed: another flow's
// failure (a result refresh failing just before the suggestions reload) stays on screen.
TEST(ImageLibraryStoreTagSuggestions, SuccessClearsOnlyItsOwnFailure) {
  struct Row {
    const char* name;
    bool suggestionLoadFails;
    std::optional<std::string> shownAfterwards;  // set by another flow after the failed load
    std::optional<std::string> expected;
  };
  const std::vector<Row> rows = {
      {"its own failure is cleared", true, std::nullopt, std::nullopt},
      {"another flow's failure stays", false, "検索に失敗しました", "検索に失敗しました"},
      {"a newer failure of another flow stays over its own", true, "検索に失敗しました",
       "検索に失敗しました"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StoreHarness h;
    auto store = h.makeStore(conceptsEnabled(false));
    h.service->setTagSuggestions(Tags{{"cat", 2}});
    if (row.suggestionLoadFails) {
      h.service->setAnswer("tagSuggestions", [](const testing::ServiceCall&) -> std::any {
        std::rethrow_exception(failure("suggestions failed"));
      });
      auto failed = store->suggestions().loadTagSuggestions(std::nullopt);
      h.drainEvents();
      ASSERT_EQ(store->context().errorMessage(), "suggestions failed");
      h.service->setAnswer("tagSuggestions", nullptr);
    }
    if (row.shownAfterwards) store->context().setErrorMessage(*row.shownAfterwards);
    auto loaded = store->suggestions().loadTagSuggestions(std::string("cat"));
    h.drainEvents();
    ASSERT_TRUE(loaded.isReady());
    EXPECT_EQ(store->suggestions().tagSuggestions(), (Tags{{"cat", 2}}));
    EXPECT_EQ(store->context().errorMessage(), row.expected);
  }
}

}  // namespace
}  // namespace lorvex
