// Saved and selected filter tags: which form a list keeps, when the saved list is written and when
// the results are searched again, and the saved list surviving a restart in a real settings file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/settings.h"
#include "services/user_defaults_filter_tag_store.h"
#include "store/filters/filters_model_test_access.h"
#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/list_stores.h"
#include "store/presentation/transient_image_library_ui_preference_store.h"
#include "store/support/store_harness.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kSuite = "app.lorvex.FilterTagsTest";

// The real settings store, counting its saves.
class CountingFilterTagStore final : public FilterTagPersisting {
 public:
  explicit CountingFilterTagStore(const std::filesystem::path& folder)
      : store_(platform::Settings(kSuite, folder)) {}
  std::vector<std::string> loadFilterTags() const override { return store_.loadFilterTags(); }
  void saveFilterTags(const std::vector<std::string>& tags) override {
    ++saves;
    store_.saveFilterTags(tags);
  }
  int saves = 0;

 private:
  UserDefaultsFilterTagStore store_;
};

struct FilterTagFixture {
  explicit FilterTagFixture(const Strings& saved) {
    platform::Settings(kSuite, folder.path()).setStringArray("filterTags", saved);
    tagStore = std::make_shared<CountingFilterTagStore>(folder.path());
    store = makeStore();
  }

  std::unique_ptr<ImageLibraryStore> makeStore() {
    return std::make_unique<ImageLibraryStore>(
        harness.service, std::nullopt, ProductFeatureAvailability{},
        std::make_shared<testing::ListExclusionStore>(), tagStore,
        std::make_shared<TransientImageLibraryUIPreferenceStore>(kDefaultUIPreferences), 3'000'000'000,
        LiveServiceFactory{}, false, harness.clock, harness.userInitiatedPool, harness.utilityPool);
  }

  // The saved tags as the settings file on disk holds them.
  Strings tagsOnDisk() const {
    platform::Settings(kSuite, folder.path()).flush();  // what the background writer has not written yet
    std::ifstream file(folder.path() / (std::string(kSuite) + ".json"));
    if (!file) return {};
    return nlohmann::json::parse(file).at("filterTags").get<Strings>();
  }

  std::size_t refreshes() const { return harness.service->calls("searchImages").size(); }

  testing::TemporaryFolder folder;
  testing::StoreHarness harness;
  std::shared_ptr<CountingFilterTagStore> tagStore;
  std::unique_ptr<ImageLibraryStore> store;
};

TEST(ImageLibraryStoreFilterTags, ListsSavesAndRefreshes) {
  using Operation = std::function<QCoro::Task<void>(ImageLibraryStore&)>;
  struct Row {
    const char* name;
    Strings saved;
    Strings selected;
    Operation operation;
    Strings savedAfter;
    Strings selectedAfter;
    int saves;
    std::size_t refreshes;
  };
  const auto add = [](std::string tag) {
    return [tag](ImageLibraryStore& s) { return s.filters().addFilterTag(tag); };
  };
  const auto toggle = [](std::string tag) {
    return [tag](ImageLibraryStore& s) { return s.filters().toggleFilterTag(tag); };
  };
  const auto deselect = [](std::string tag) {
    return [tag](ImageLibraryStore& s) { return s.filters().removeSelectedFilterTag(tag); };
  };
  const auto forget = [](std::string tag) {
    return [tag](ImageLibraryStore& s) { return s.filters().removeSavedFilterTag(tag); };
  };
  const std::vector<Row> rows = {
      {"add: the saved form moves to the front and is selected",
       {"Dog", "Cat"},
       {},
       add(" cat "),
       {"Cat", "Dog"},
       {"Cat"},
       1,
       1},
      {"add: a new tag, normalised",
       {"Dog"},
       {},
       add("  black \t  cat\n"),
       {"black cat", "Dog"},
       {"black cat"},
       1,
       1},
      {"add: already saved and selected still saves and refreshes",
       {"Cat"},
       {"Cat"},
       add("CAT"),
       {"Cat"},
       {"Cat"},
       1,
       1},
      {"add: selected tags keep their order, the tag goes last",
       {"B", "A"},
       {"A", "B"},
       add("a"),
       {"A", "B"},
       {"B", "A"},
       1,
       1},
      {"add: caseless match beyond lowercasing",
       {"Straße"},
       {},
       add("STRASSE"),
       {"Straße"},
       {"Straße"},
       1,
       1},
      {"add: no width folding", {"cat"}, {}, add("ＣＡＴ"), {"ＣＡＴ", "cat"}, {"ＣＡＴ"}, 1, 1},
      {"add: blank does nothing", {"Cat"}, {"Cat"}, add(" \t\u3000"), {"Cat"}, {"Cat"}, 0, 0},
      {"toggle: a selected tag is deselected, nothing saved",
       {"Cat"},
       {"Cat"},
       toggle("CAT"),
       {"Cat"},
       {},
       0,
       1},
      {"toggle: an unsaved tag is saved and selected last",
       {"A", "B"},
       {"A", "B"},
       toggle("C"),
       {"C", "A", "B"},
       {"A", "B", "C"},
       1,
       1},
      {"toggle: a saved unselected tag moves to the front",
       {"A", "B"},
       {},
       toggle("b"),
       {"B", "A"},
       {"B"},
       1,
       1},
      {"toggle: blank does nothing", {"A"}, {"A"}, toggle("   "), {"A"}, {"A"}, 0, 0},
      {"deselect: a selected tag, ignoring case and spaces",
       {"Cat", "Dog"},
       {"Cat", "Dog"},
       deselect(" cAT "),
       {"Cat", "Dog"},
       {"Dog"},
       0,
       1},
      {"deselect: a tag that is not selected does not refresh",
       {"Cat"},
       {"Dog"},
       deselect("Cat"),
       {"Cat"},
       {"Dog"},
       0,
       0},
      {"forget: saved and unselected saves the shorter list, no refresh",
       {"Cat", "Dog"},
       {"Dog"},
       forget("cat"),
       {"Dog"},
       {"Dog"},
       1,
       0},
      {"forget: saved and selected leaves both lists, one refresh",
       {"Cat", "Dog"},
       {"Dog", "Cat"},
       forget("CAT"),
       {"Dog"},
       {"Dog"},
       1,
       1},
      {"forget: not saved but selected changes nothing",
       {"Dog"},
       {"Cat"},
       forget("Cat"),
       {"Dog"},
       {"Cat"},
       0,
       0},
      {"forget: blank does nothing", {"Dog"}, {"Dog"}, forget(""), {"Dog"}, {"Dog"}, 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FilterTagFixture f(row.saved);
    ASSERT_EQ(f.store->filters().savedFilterTags(), row.saved);
    FiltersModelTestAccess::setSelectedFilterTags(f.store->filters(), row.selected);
    const int resetsBefore = f.store->results().searchResultsResetCount();
    auto task = row.operation(*f.store);
    f.harness.drainEvents();
    ASSERT_TRUE(task.isReady());
    EXPECT_EQ(f.store->filters().savedFilterTags(), row.savedAfter);
    EXPECT_EQ(f.store->filters().selectedFilterTags(), row.selectedAfter);
    EXPECT_EQ(f.tagStore->saves, row.saves);
    EXPECT_EQ(f.tagsOnDisk(), row.saves > 0 ? row.savedAfter : row.saved);
    ASSERT_EQ(f.refreshes(), row.refreshes);
    if (row.refreshes == 0) continue;
    // A first page of 500 (one more asked) for the selection as it now is, scrolled to the top.
    const auto query = *f.harness.service->calls("searchImages").back().query;
    EXPECT_EQ(query.filterTags, row.selectedAfter);
    EXPECT_EQ(query.limit, 501);
    EXPECT_EQ(query.offset, 0);
    EXPECT_EQ(f.store->results().searchResultsResetCount(), resetsBefore + 1);
  }
}

TEST(ImageLibraryStoreFilterTags, SelectionIsAnsweredIgnoringCaseAndSpaces) {
  FilterTagFixture f({});
  FiltersModelTestAccess::setSelectedFilterTags(f.store->filters(), {"Black Cat", "Straße", "ΟΔΟΣ"});
  const struct {
    const char* tag;
    bool selected;
  } rows[] = {
      {"black cat", true}, {"  BLACK \n CAT ", true},    {"strasse", true},
      {"οδοσ", true},      {"blackcat", false},          {"", false},
      {"   ", false},      {"ＢＬＡＣＫ ＣＡＴ", false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(f.store->filters().isFilterTagSelected(row.tag), row.selected) << row.tag;
}

TEST(ImageLibraryStoreFilterTags, TheSavedListIsWrittenBeforeTheSearchAndOutlivesTheStore) {
  FilterTagFixture f({});
  f.harness.service->hold("searchImages");
  auto add = f.store->filters().addFilterTag(" cat ");
  ASSERT_TRUE(f.harness.service->waitForHeld("searchImages"));
  // Written on the spot, before the search it is followed by has answered.
  EXPECT_EQ(f.tagStore->saves, 1);
  EXPECT_EQ(f.tagsOnDisk(), Strings{"cat"});
  f.harness.service->answerImmediately("searchImages");
  f.harness.service->releaseAll();
  f.harness.drainEvents();
  ASSERT_TRUE(add.isReady());

  // Deselecting never writes the list again.
  auto deselect = f.store->filters().toggleFilterTag("cat");
  f.harness.drainEvents();
  ASSERT_TRUE(deselect.isReady());
  EXPECT_EQ(f.tagStore->saves, 1);

  // A store started again on the same settings folder has the tag saved and none selected.
  f.store.reset();
  CountingFilterTagStore reopened(f.folder.path());
  EXPECT_EQ(reopened.loadFilterTags(), Strings{"cat"});
  f.tagStore = std::make_shared<CountingFilterTagStore>(f.folder.path());
  f.store = f.makeStore();
  EXPECT_EQ(f.store->filters().savedFilterTags(), Strings{"cat"});
  EXPECT_TRUE(f.store->filters().selectedFilterTags().empty());
}

TEST(ImageLibraryStoreFilterTags, RapidTogglesEndWithTheResultsOfTheLastState) {
  FilterTagFixture f({});
  LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(f.store->library(), {"/library"});
  auto records = testing::makeLibraryRecords(3);
  records[0].promptTags = {"cat"};
  records[1].promptTags = {"cat", "dog"};
  records[2].promptTags = {"dog"};
  f.harness.service->setRecords(records);
  f.harness.service->hold("searchImages");
  auto first = f.store->filters().toggleFilterTag("cat");
  ASSERT_TRUE(f.harness.service->waitForHeld("searchImages", 1));
  auto second = f.store->filters().toggleFilterTag("dog");
  ASSERT_TRUE(f.harness.service->waitForHeld("searchImages", 2));
  const auto held = f.harness.service->heldCalls("searchImages");
  ASSERT_EQ(held[0].query->filterTags, Strings{"cat"});
  ASSERT_EQ(held[1].query->filterTags, (Strings{"cat", "dog"}));
  // The answer for ["cat"] comes last and must not replace the one for ["cat", "dog"].
  f.harness.service->release(held[1].id);
  f.harness.drainEvents();
  f.harness.service->release(held[0].id);
  f.harness.drainEvents();
  ASSERT_TRUE(first.isReady());
  ASSERT_TRUE(second.isReady());
  ASSERT_EQ(f.store->results().resultWindow().records().size(), 1u);
  EXPECT_EQ(f.store->results().resultWindow().records()[0]->file.path, records[1].file.path);
}

}  // namespace
}  // namespace lorvex
