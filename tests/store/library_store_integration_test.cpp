// The store over the real service, a library in a temporary folder, copies of real generator PNGs
// and the real clock: the launch makes the library usable, registering the folder indexes it with
// live progress into the results, and a PNG written into the folder afterwards shows up once
// background sync has passed it on. Skips when the shared fixtures are absent.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "real_pictures_test.h"
#include "store/library/library_model_test_access.h"
#include "store/library_store_composition.h"
#include "store/store_idle.h"

namespace lorvex {
namespace {

namespace fs = std::filesystem;
using testing::waitUntil;

bool windowHolds(const ImageLibraryStore& store, const std::string& path) {
  return store.results().resultWindow().index(path).has_value();
}

class LibraryStoreIntegrationTest : public testing::RealPicturesTest {};

TEST_F(LibraryStoreIntegrationTest, LaunchRegisterAndAFileWrittenLaterAppear) {
  auto store = makeLibraryStoreInFolder(root_ / "library");
  store->library().startLaunchWorkflow();
  ASSERT_TRUE(waitUntil(
      [&] {
        return !LibraryModelTestAccess::launchWorkflowTask(store->library()) &&
               !store->context().needsLiveServicePreparation();
      },
      std::chrono::seconds(30)));
  ASSERT_FALSE(store->context().errorMessage().has_value()) << *store->context().errorMessage();

  int progressValues = 0;
  QObject::connect(&store->library(), &LibraryModel::indexingProgressChanged, [&] {
    if (store->library().indexingProgress()) ++progressValues;
  });
  auto registration = store->library().registerFolders({pictures_.string()});
  ASSERT_TRUE(waitUntil([&] { return registration.isReady(); }, std::chrono::seconds(60)));
  ASSERT_FALSE(store->context().errorMessage().has_value()) << *store->context().errorMessage();
  EXPECT_GT(progressValues, 0);
  ASSERT_TRUE(store->library().lastScanSummary().has_value());
  const auto indexed = store->library().lastScanSummary()->indexedImageCount;
  EXPECT_GT(indexed, 0);
  EXPECT_EQ(static_cast<std::int64_t>(store->results().resultWindow().records().size()), indexed);
  EXPECT_TRUE(windowHolds(*store, fs::canonical(firstCopy_).string()) ||
              windowHolds(*store, firstCopy_.string()));
  ASSERT_EQ(store->library().registeredFolderSummaries().size(), 1u);

  // Written through a temporary name and renamed, as a generator saves its output.
  const fs::path written = pictures_ / "written-later.png";
  fs::copy_file(firstCopy_, pictures_ / ".written-later.png.part");
  fs::rename(pictures_ / ".written-later.png.part", written);
  const auto canonical = fs::canonical(written).string();
  EXPECT_TRUE(
      waitUntil([&] { return windowHolds(*store, canonical) || windowHolds(*store, written.string()); },
                std::chrono::seconds(15)))
      << "the written file never reached the results";
  EXPECT_FALSE(store->context().errorMessage().has_value());
  store->library().backgroundSync().stopBackgroundLibrarySync();
  EXPECT_TRUE(waitUntilStoreIdle(*store, std::chrono::seconds(30)));
}

}  // namespace
}  // namespace lorvex
