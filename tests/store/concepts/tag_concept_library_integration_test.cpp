// Tag concepts end to end over the real service and a library in a temporary folder: generated PNGs
// whose prompts carry tags are registered, a concept is made an alias of one tag and selected as a
// filter, and then images are assigned to it by hand and taken back.
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/scoped_environment_variable.h"
#include "store/event_loop.h"
#include "store/library_store_composition.h"
#include "store/store_idle.h"
#include "support/png_builder.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

Paths windowPaths(const ImageLibraryStore& store) {
  Paths paths;
  for (const auto& record : store.results().resultWindow().records()) paths.push_back(record->file.path);
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::optional<TagConcept> listedConcept(const ImageLibraryStore& store, std::int64_t id) {
  for (const auto& concept_ : store.concepts().tagConcepts()) {
    if (concept_.id == id) return concept_;
  }
  return std::nullopt;
}

TEST(TagConceptLibraryIntegration, AConceptFilterFollowsItsAliasAndHandAssignments) {
  testing::application();
  testing::TemporaryFolder root;
  const testing::ScopedUserFolders userFolders(root.path() / "user");
  const fs::path pictures = root.path() / "pictures";
  fs::create_directories(pictures);
  Paths cats;
  Paths others;
  const std::vector<std::pair<std::string, std::string>> images = {
      {"cat-1.png", "cat, blue sky"}, {"cat-2.png", "masterpiece, cat"}, {"cat-3.png", "(cat:1.2), night"},
      {"dog-1.png", "dog, grass"},    {"bird-1.png", "bird, blue sky"},
  };
  for (const auto& [name, prompt] : images) {
    const fs::path path = pictures / name;
    testing::PNGBuilder()
        .ihdr(4, 4)
        .tEXt("parameters",
              prompt + "\nNegative prompt: blurry\nSteps: 20, Sampler: Euler a, CFG scale: 7, Seed: 1")
        .iend()
        .writeTo(path.string());
    (name.starts_with("cat") ? cats : others).push_back(fs::canonical(path).string());
  }
  std::sort(cats.begin(), cats.end());

  auto store = makeLibraryStoreInFolder(root.path() / "library", kFolderLibrarySettingsSuiteName,
                                        LibraryStoreRuntime{.tagConceptsEnabled = true});
  ASSERT_TRUE(QCoro::waitFor(store->library().prepareLiveServiceIfNeeded()));
  QCoro::waitFor(store->library().registerFolders({pictures.string()}));
  ASSERT_FALSE(store->context().errorMessage().has_value()) << *store->context().errorMessage();
  ASSERT_EQ(store->results().resultWindow().records().size(), images.size());

  const std::optional<TagConcept> created =
      QCoro::waitFor(store->concepts().createTagConcept("  Small   cats "));
  ASSERT_TRUE(created.has_value()) << store->context().errorMessage().value_or("");
  EXPECT_EQ(created->displayName, "Small cats");
  ASSERT_TRUE(QCoro::waitFor(store->concepts().addTagConceptAlias(created->id, "cat")))
      << store->context().errorMessage().value_or("");
  ASSERT_EQ(listedConcept(*store, created->id)->imageCount, 3);
  QCoro::waitFor(store->filters().toggleSelectedTagConcept(*listedConcept(*store, created->id)));
  EXPECT_EQ(windowPaths(*store), cats);

  // By hand: the dog joins the filtered results, then leaves again.
  const std::string& dog = others[0];
  QCoro::waitFor(store->concepts().setManualTagConceptAssignment(created->id, {dog}, true));
  Paths withDog = cats;
  withDog.push_back(dog);
  std::sort(withDog.begin(), withDog.end());
  EXPECT_EQ(windowPaths(*store), withDog);
  EXPECT_EQ(store->concepts().manualTagConceptAssignmentCount(created->id, {dog}), 1);
  EXPECT_EQ(listedConcept(*store, created->id)->imageCount, 4);
  QCoro::waitFor(store->concepts().setManualTagConceptAssignment(created->id, {dog}, false));
  EXPECT_EQ(windowPaths(*store), cats);
  EXPECT_EQ(store->concepts().manualTagConceptAssignmentCount(created->id, {dog}), 0);
  EXPECT_FALSE(store->context().errorMessage().has_value()) << *store->context().errorMessage();

  store->library().backgroundSync().stopBackgroundLibrarySync();
  EXPECT_TRUE(waitUntilStoreIdle(*store, std::chrono::seconds(30)));
}

}  // namespace
}  // namespace lorvex
