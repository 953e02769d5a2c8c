// The store's state: what a new store holds, the change-only rule of its setters and the service,
// which signals on every set.
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

namespace lorvex {
namespace {

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
Observed<T>& observe(StoreContext& context, void (StoreContext::*signal)(), std::function<T()> read,
                     Observed<T>& into) {
  QObject::connect(&context, signal, [&into, read] {
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
  EXPECT_FALSE(s.review().canUndoDeleteCandidateAction());
  EXPECT_EQ(s.review().feedbackDismissDelayNanos(), 3'000'000'000u);
  EXPECT_TRUE(s.context().featureAvailability().isTagConceptEnabled);
  EXPECT_EQ(s.context().service(), f.service);
  EXPECT_EQ(&s.context().clock(), &f.clock);
  EXPECT_TRUE(s.trash().trashReviewBrowser().records().empty());
  EXPECT_EQ(s.review().deleteCandidateUndoStackEntryCount(), 0u);
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
    EXPECT_EQ(f.store.context().errorMessage(), c.setup.errorMessage);
    EXPECT_EQ(f.store.context().needsLiveServicePreparation(), c.setup.needsLiveServicePreparation);
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
void expectChangeOnly(const char* name, void (StoreContext::*set)(T),
                      std::function<T(const StoreContext&)> get, void (StoreContext::*signal)(), T first,
                      T second) {
  SCOPED_TRACE(name);
  Fixture f;
  StoreContext& context = f.store.context();
  const T initial = get(context);
  Observed<T> observed;
  observe<T>(
      context, signal, [&] { return get(context); }, observed);
  (context.*set)(initial);
  EXPECT_EQ(observed.count, 0) << "an equal value signals nothing";
  (context.*set)(first);
  (context.*set)(first);
  (context.*set)(second);
  (context.*set)(second);
  (context.*set)(initial);
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
  using S = StoreContext;
  expectChangeOnly<OptString>("errorMessage", &S::setErrorMessage, &S::errorMessage, &S::errorMessageChanged,
                              OptString("a"), OptString(""));
}

}  // namespace
}  // namespace lorvex
