// The store's state: what a new store holds, the change-only rule of its setters (and the two
// fields that signal on every set), the derived undo flag, and the selection and slideshow kept in
// step with the result window.
#include "store/image_library_store.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "event_loop.h"
#include "list_stores.h"
#include "services/unavailable_image_library_service.h"
#include "store/presentation/transient_image_library_ui_preference_store.h"
#include "store/trash/trash_model_test_access.h"
#include "store_records.h"

namespace lorvex {
namespace {

using testing::records;

using testing::ListExclusionStore;
using testing::ListFilterTagStore;

struct StoreSetup {
  std::vector<std::string> filterTags{};
  std::vector<std::string> exclusions{};
  ImageLibraryUIPreferences preferences = kDefaultUIPreferences;
  std::optional<std::string> errorMessage{};
  bool needsLiveServicePreparation = true;
};

struct Fixture {
  explicit Fixture(StoreSetup setup = {})
      : service(std::make_shared<UnavailableImageLibraryService>()),
        store(
            service, setup.errorMessage, ProductFeatureAvailability{.isTagConceptEnabled = true},
            std::make_shared<ListExclusionStore>(setup.exclusions),
            std::make_shared<ListFilterTagStore>(setup.filterTags),
            std::make_shared<TransientImageLibraryUIPreferenceStore>(setup.preferences), 3'000'000'000,
            [] { return std::make_shared<UnavailableImageLibraryService>(); },
            setup.needsLiveServicePreparation, clock) {
    testing::application();
  }
  FakeStoreClock clock;
  std::shared_ptr<ImageLibraryServicing> service;
  ImageLibraryStore store;
};

// Counts a signal's emissions and what the getter read at each.
template <typename T>
struct Observed {
  int count = 0;
  std::vector<T> seen;
};

template <typename T>
Observed<T>& observe(ImageLibraryStore& store, void (ImageLibraryStore::*signal)(), std::function<T()> read,
                     Observed<T>& into) {
  QObject::connect(&store, signal, [&into, read] {
    ++into.count;
    into.seen.push_back(read());
  });
  return into;
}

TEST(ImageLibraryStore, ANewStoreHoldsTheInitialValues) {
  Fixture f;
  auto& s = f.store;
  EXPECT_FALSE(s.filters().onlyFavorites());
  EXPECT_FALSE(s.filters().onlyDeleteCandidates());
  EXPECT_EQ(s.filters().searchSort(), ImageSearchSort::modificationDateDescending);
  EXPECT_TRUE(s.filters().selectedFilterTags().empty());
  EXPECT_FALSE(s.filters().selectedModelSource().has_value());
  EXPECT_EQ(s.searchResultsResetCount(), 0);
  EXPECT_FALSE(s.isLoading());
  EXPECT_FALSE(s.refreshSearchTask());
  EXPECT_FALSE(s.loadMoreTask());
  EXPECT_FALSE(s.activeLoadMoreTaskID().has_value());
  EXPECT_EQ(s.activeBackgroundResultRefreshMode(),
            ImageLibraryStore::BackgroundResultRefreshMode::fullWindow);
  EXPECT_FALSE(s.canUndoDeleteCandidateAction());
  EXPECT_EQ(s.feedbackDismissDelayNanos(), 3'000'000'000u);
  EXPECT_TRUE(s.featureAvailability().isTagConceptEnabled);
  EXPECT_EQ(s.service(), f.service);
  EXPECT_EQ(&s.clock(), &f.clock);
  EXPECT_TRUE(s.resultWindow().records().empty());
  EXPECT_FALSE(s.resultWindow().hasMoreRecords());
  EXPECT_EQ(s.resultWindow().loadEpoch(), 0);
  EXPECT_FALSE(s.selection().primaryPath().has_value());
  EXPECT_TRUE(s.selection().selectedPaths().empty());
  EXPECT_TRUE(s.trash().trashReviewBrowser().records().empty());
  EXPECT_EQ(s.deleteCandidateUndoStackEntryCount(), 0u);
}

TEST(ImageLibraryStore, TheInitialiserReadsItsStoresAndArguments) {
  struct Case {
    const char* name;
    StoreSetup setup;
    std::vector<std::string> savedFilterTags;
  };
  const Case cases[] = {
      {"nothing saved", {}, {}},
      {"saved tags normalised",
       {.filterTags = {" cat ", "", "Cat", "blue  sky"}, .exclusions = {"alice"}, .errorMessage = "broken"},
       {"cat", "blue sky"}},
      {"no preparation needed",
       {.filterTags = {"a"}, .preferences = {false, 4, 7.5}, .needsLiveServicePreparation = false},
       {"a"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f(c.setup);
    EXPECT_EQ(f.store.filters().savedFilterTags(), c.savedFilterTags);
    EXPECT_EQ(f.store.suggestions().characterSuggestionExclusions(), c.setup.exclusions);
    EXPECT_EQ(f.store.errorMessage(), c.setup.errorMessage);
    EXPECT_EQ(f.store.needsLiveServicePreparation(), c.setup.needsLiveServicePreparation);
    EXPECT_EQ(f.store.presentation().isLibrarySectionExpanded(),
              c.setup.preferences.isLibrarySectionExpanded);
    EXPECT_EQ(f.store.presentation().slideshowVisibleCount(), c.setup.preferences.slideshowVisibleCount);
    EXPECT_EQ(f.store.presentation().slideshowIntervalSeconds(),
              c.setup.preferences.slideshowIntervalSeconds);
  }
}

// Sets the initial value, `first` twice, `second` twice, the initial value again: a compared field
// signals each change from the value before it once, with the new value already readable.
template <typename T>
void expectChangeOnly(const char* name, void (ImageLibraryStore::*set)(T),
                      std::function<T(const ImageLibraryStore&)> get, void (ImageLibraryStore::*signal)(),
                      T first, T second) {
  SCOPED_TRACE(name);
  Fixture f;
  const T initial = get(f.store);
  Observed<T> observed;
  observe<T>(
      f.store, signal, [&] { return get(f.store); }, observed);
  (f.store.*set)(initial);
  EXPECT_EQ(observed.count, 0) << "an equal value signals nothing";
  (f.store.*set)(first);
  (f.store.*set)(first);
  (f.store.*set)(second);
  (f.store.*set)(second);
  (f.store.*set)(initial);
  std::vector<T> changes;
  T previous = initial;
  for (const T& value : {first, second, initial}) {
    if (!(value == previous)) changes.push_back(value);
    previous = value;
  }
  ASSERT_GE(changes.size(), 2u) << "the case must change the field at least twice";
  EXPECT_EQ(observed.count, static_cast<int>(changes.size()));
  EXPECT_TRUE(observed.seen == changes);
}

TEST(ImageLibraryStore, ComparedFieldsSignalOnlyARealChange) {
  using OptString = std::optional<std::string>;
  using Mode = ImageLibraryStore::BackgroundResultRefreshMode;
  using S = ImageLibraryStore;
  expectChangeOnly<OptString>("errorMessage", &S::setErrorMessage, &S::errorMessage, &S::errorMessageChanged,
                              OptString("a"), OptString(""));
  expectChangeOnly<std::optional<int>>("activeLoadMoreTaskID", &S::setActiveLoadMoreTaskID,
                                       &S::activeLoadMoreTaskID, &S::activeLoadMoreTaskIDChanged,
                                       std::optional<int>(0), std::optional<int>(1));
  expectChangeOnly<int>("loadMoreTaskID", &S::setLoadMoreTaskID, &S::loadMoreTaskID,
                        &S::loadMoreTaskIDChanged, 1, 2);
  expectChangeOnly<Mode>("activeBackgroundResultRefreshMode", &S::setActiveBackgroundResultRefreshMode,
                         &S::activeBackgroundResultRefreshMode, &S::activeBackgroundResultRefreshModeChanged,
                         Mode::leadingPage, Mode::fullWindow);
  expectChangeOnly<std::optional<DeleteCandidateFeedback>>(
      "deleteCandidateFeedback", &S::setDeleteCandidateFeedback, &S::deleteCandidateFeedback,
      &S::deleteCandidateFeedbackChanged, DeleteCandidateFeedback{.affectedCount = 2},
      DeleteCandidateFeedback{.change = DeleteCandidateFeedback::Change::unmarked, .affectedCount = 2});
}

TEST(ImageLibraryStore, TaskHandlesCompareByIdentity) {
  using Task = StoreTask<void>;
  Fixture f;
  int notified = 0;
  QObject::connect(&f.store, &ImageLibraryStore::backgroundResultRefreshTaskChanged, [&] { ++notified; });
  const Task a(std::make_shared<detail::StoreTaskState<void>>());
  const Task b(std::make_shared<detail::StoreTaskState<void>>());
  struct Step {
    Task value;
    int signalsAfter;
  };
  const Step steps[] = {{Task(), 0}, {a, 1}, {a, 1}, {b, 2}, {Task(), 3}, {Task(), 3}};
  for (const auto& step : steps) {
    f.store.setBackgroundResultRefreshTask(step.value);
    EXPECT_EQ(notified, step.signalsAfter);
    EXPECT_TRUE(f.store.backgroundResultRefreshTask() == step.value);
  }
}

TEST(ImageLibraryStore, ServiceAndUndoStackSignalOnEverySet) {
  Fixture f;
  int service = 0, undo = 0;
  QObject::connect(&f.store, &ImageLibraryStore::serviceChanged, [&] { ++service; });
  QObject::connect(&f.store, &ImageLibraryStore::deleteCandidateUndoStackChanged, [&] { ++undo; });
  for (int i = 0; i < 2; ++i) {
    f.store.setService(f.store.service());
    f.store.setDeleteCandidateUndoStack(f.store.deleteCandidateUndoStack());
  }
  EXPECT_EQ(service, 2);
  EXPECT_EQ(undo, 2);
}

TEST(ImageLibraryStore, TheUndoFlagFollowsTheStackAndTheTrashing) {
  const DeleteCandidateUndoAction action{.records = {{"/a", false, 0}, {"/b", true, 3}},
                                         .selectedPath = "/a",
                                         .selectedPaths = {"/a", "/b", "/c"},
                                         .selectionAnchorPath = std::nullopt};
  enum class Op { push, clear, startTrashing, stopTrashing };
  struct Step {
    Op op;
    bool canUndo;
    int flips;
  };
  const Step steps[] = {
      {Op::push, true, 1},           {Op::push, true, 1},         {Op::startTrashing, false, 2},
      {Op::startTrashing, false, 2}, {Op::clear, false, 2},       {Op::push, false, 2},
      {Op::stopTrashing, true, 3},   {Op::stopTrashing, true, 3}, {Op::clear, false, 4},
  };
  Fixture f;
  int flips = 0;
  QObject::connect(&f.store, &ImageLibraryStore::canUndoDeleteCandidateActionChanged, [&] { ++flips; });
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    auto stack = f.store.deleteCandidateUndoStack();
    switch (steps[i].op) {
      case Op::push:
        stack.push_back(action);
        f.store.setDeleteCandidateUndoStack(stack);
        break;
      case Op::clear:
        f.store.setDeleteCandidateUndoStack({});
        break;
      case Op::startTrashing:
        TrashModelTestAccess::setIsTrashingDeleteCandidates(f.store.trash(), true);
        break;
      case Op::stopTrashing:
        TrashModelTestAccess::setIsTrashingDeleteCandidates(f.store.trash(), false);
        break;
    }
    EXPECT_EQ(f.store.canUndoDeleteCandidateAction(), steps[i].canUndo);
    EXPECT_EQ(flips, steps[i].flips);
    // Two records, three selected paths, one focused path, no anchor.
    EXPECT_EQ(f.store.deleteCandidateUndoStackEntryCount(), f.store.deleteCandidateUndoStack().size() * 6);
  }
}

TEST(ImageLibraryStore, TheSelectionFollowsTheWindowAndAnEmptyWindowClosesTheSlideshow) {
  struct Case {
    const char* name;
    std::vector<std::string> after;
    int fallbackIndex;
    std::optional<std::string> focus;
    bool slideshowPresented;
  };
  const Case cases[] = {
      {"focus survives", {"/a", "/b"}, 0, "/b", true},
      {"focus lost, fallback", {"/a", "/c", "/d"}, 2, "/d", true},
      {"fallback past the end", {"/a"}, 5, "/a", true},
      {"nothing left", {}, 0, std::nullopt, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.store.resultWindow().replaceRecords(records({"/a", "/b", "/c"}), false, 0);
    f.store.selection().selectSingle("/b");
    f.store.presentation().setIsSlideshowPresented(true);
    f.store.presentation().setIsSlideshowPlaying(true);
    f.store.resultWindow().replaceRecords(records(c.after), false, c.fallbackIndex);
    EXPECT_EQ(f.store.selection().primaryPath(), c.focus);
    EXPECT_EQ(f.store.presentation().isSlideshowPresented(), c.slideshowPresented);
    EXPECT_EQ(f.store.presentation().isSlideshowPlaying(), c.slideshowPresented);
  }
}

}  // namespace
}  // namespace lorvex
