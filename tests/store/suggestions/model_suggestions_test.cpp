// The model popover's suggestions (overlapping loads of which only the newest shows, a begin
// that outdates a load, failures shown and cleared) and the model filter.
#include <gtest/gtest.h>

#include <any>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/library_error.h"
#include "store/image_library_store.h"
#include "store/suggestions/suggestions_model_test_access.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using Models = std::vector<ModelSuggestion>;

std::exception_ptr failure(const std::string& text) {
  return std::make_exception_ptr(LibraryError(LibraryError::Kind::database, text));
}

// Loads "a" and then "b", held until answered; each answer is a list or an error.
TEST(ImageLibraryStoreModelSuggestions, OnlyTheNewestLoadShows) {
  struct Row {
    const char* name;
    bool newerAnswersFirst;
    bool olderFails;
    bool newerFails;
    Models shown;
    std::optional<std::string> error;
  };
  const std::vector<Row> rows = {
      {"newer first, older late", true, false, false, {{"b-model", 5}}, std::nullopt},
      {"older first, newer after", false, false, false, {{"b-model", 5}}, std::nullopt},
      {"a stale failure is ignored", true, true, false, {{"b-model", 5}}, std::nullopt},
      {"the newest failure shows, the older success is dropped", false, false, true, {}, "newer failed"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::StoreHarness h;
    auto store = h.makeStore();
    h.service->hold("modelSuggestions");
    auto older = store->suggestions().loadModelSuggestions("a");
    auto newer = store->suggestions().loadModelSuggestions("b");
    ASSERT_TRUE(h.service->waitForHeld("modelSuggestions", 2));
    auto held = h.service->heldCalls("modelSuggestions");
    if (held[0].text != "a") std::swap(held[0], held[1]);
    ASSERT_EQ(held[0].text, "a");
    int listSignals = 0;
    int loadingSignals = 0;
    QObject::connect(&store->suggestions(), &SuggestionsModel::modelSuggestionsChanged,
                     [&] { ++listSignals; });
    QObject::connect(&store->suggestions(), &SuggestionsModel::isModelSuggestionLoadingChanged,
                     [&] { ++loadingSignals; });
    auto answerOlder = [&] {
      if (row.olderFails) {
        h.service->fail(held[0].id, failure("older failed"));
      } else {
        h.service->releaseWith(held[0].id, Models{{"a-model", 3}});
      }
    };
    auto answerNewer = [&] {
      if (row.newerFails) {
        h.service->fail(held[1].id, failure("newer failed"));
      } else {
        h.service->releaseWith(held[1].id, Models{{"b-model", 5}});
      }
    };
    if (row.newerAnswersFirst) {
      answerNewer();
      h.drainEvents();
      answerOlder();
    } else {
      answerOlder();
      h.drainEvents();
      // Loading goes on until the newest load ends.
      EXPECT_TRUE(store->suggestions().isModelSuggestionLoading());
      EXPECT_TRUE(store->suggestions().modelSuggestions().empty());
      answerNewer();
    }
    h.drainEvents();
    ASSERT_TRUE(older.isReady());
    ASSERT_TRUE(newer.isReady());
    EXPECT_EQ(store->suggestions().modelSuggestions(), row.shown);
    EXPECT_FALSE(store->suggestions().isModelSuggestionLoading());
    EXPECT_EQ(store->context().errorMessage(), row.error);
    EXPECT_EQ(listSignals, row.shown.empty() ? 0 : 1);
    EXPECT_EQ(loadingSignals, 1);
    EXPECT_EQ(SuggestionsModelTestAccess::modelSuggestionGeneration(store->suggestions()), 2);
  }
}

TEST(ImageLibraryStoreModelSuggestions, TheTextReachesTheServiceAsTypedWithLimit100) {
  testing::StoreHarness h;
  h.service->setModelSuggestions({{"nai-v4", 8}, {"sdxl", 2}});
  auto store = h.makeStore();
  auto load = store->suggestions().loadModelSuggestions("  nai ");
  h.drainEvents();
  ASSERT_TRUE(load.isReady());
  const auto calls = h.service->calls("modelSuggestions");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].text, "  nai ");
  EXPECT_EQ(calls[0].number, 100);
}

TEST(ImageLibraryStoreModelSuggestions, ABeginOutdatesTheLoadInFlight) {
  testing::StoreHarness h;
  auto store = h.makeStore();
  SuggestionsModelTestAccess::setModelSuggestions(store->suggestions(), {{"old", 1}});
  h.service->hold("modelSuggestions");
  auto load = store->suggestions().loadModelSuggestions("x");
  ASSERT_TRUE(h.service->waitForHeld("modelSuggestions"));
  store->suggestions().beginModelSuggestionLoading();
  EXPECT_EQ(SuggestionsModelTestAccess::modelSuggestionGeneration(store->suggestions()), 2);
  h.service->releaseWith(h.service->heldCalls("modelSuggestions")[0].id, Models{{"x-model", 1}});
  h.drainEvents();
  ASSERT_TRUE(load.isReady());
  EXPECT_TRUE(store->suggestions().modelSuggestions().empty());
  EXPECT_TRUE(store->suggestions().isModelSuggestionLoading());
}

// A successful load clears only a message that a failed suggestion load put there: a result
// refresh's failure shown meanwhile stays.
TEST(ImageLibraryStoreModelSuggestions, SuccessClearsOnlyASuggestionFailure) {
  struct Row {
    const char* name;
    bool firstLoadFails;
    std::optional<std::string> otherMessage;  // shown after the first load, by someone else
    std::optional<std::string> after;
  };
  const std::vector<Row> rows = {
      {"a suggestion failure is cleared by the next success", true, std::nullopt, std::nullopt},
      {"another failure shown meanwhile survives", true, "search failed", "search failed"},
      {"a message from elsewhere survives a success", false, "search failed", "search failed"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::StoreHarness h;
    auto store = h.makeStore();
    if (row.firstLoadFails) {
      h.service->setAnswer("modelSuggestions", [](const testing::ServiceCall&) -> std::any {
        throw LibraryError(LibraryError::Kind::database, "models failed");
      });
    }
    auto first = store->suggestions().loadModelSuggestions("");
    h.drainEvents();
    ASSERT_TRUE(first.isReady());
    EXPECT_EQ(store->context().errorMessage(),
              row.firstLoadFails ? std::optional<std::string>("models failed") : std::nullopt);
    EXPECT_FALSE(store->suggestions().isModelSuggestionLoading());
    if (row.otherMessage) store->context().setErrorMessage(row.otherMessage);
    h.service->setAnswer("modelSuggestions", [](const testing::ServiceCall&) {
      return std::any(Models{{"m", 1}});
    });
    auto second = store->suggestions().loadModelSuggestions("");
    h.drainEvents();
    ASSERT_TRUE(second.isReady());
    EXPECT_EQ(store->suggestions().modelSuggestions(), (Models{{"m", 1}}));
    EXPECT_EQ(store->context().errorMessage(), row.after);
  }
}

TEST(ImageLibraryStoreModelSuggestions, SelectingAModelSource) {
  struct Row {
    const char* name;
    std::optional<std::string> current;
    std::string text;
    std::optional<std::string> after;
    bool refreshes;
  };
  const std::vector<Row> rows = {
      {"a new model, trimmed", std::nullopt, "  nai-v4 \n", "nai-v4", true},
      {"another model replaces it", "sdxl", "nai-v4", "nai-v4", true},
      {"blank never clears", "nai-v4", "   ", "nai-v4", false},
      {"the current model with spaces: no refresh", "nai-v4", " nai-v4 ", "nai-v4", false},
      {"the same name in another case is another model", "nai-v4", "NAI-V4", "NAI-V4", true},
      {"inner spaces are kept", std::nullopt, " a  b ", "a  b", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::StoreHarness h;
    auto store = h.makeStore();
    store->filters().setSelectedModelSource(row.current);
    auto task = store->filters().selectModelSource(row.text);
    h.drainEvents();
    ASSERT_TRUE(task.isReady());
    EXPECT_EQ(store->filters().selectedModelSource(), row.after);
    const auto searches = h.service->calls("searchImages");
    ASSERT_EQ(searches.size(), row.refreshes ? 1u : 0u);
    if (!row.refreshes) continue;
    EXPECT_EQ(searches[0].query->source, row.after);
    EXPECT_EQ(searches[0].query->limit, 501);
    EXPECT_EQ(store->results().searchResultsResetCount(), 1);
  }
}

}  // namespace
}  // namespace lorvex
