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

#include <QCoreApplication>

#include "event_loop.h"
#include "platform/scoped_environment_variable.h"
#include "store/library_store_composition.h"
#include "store/store_idle.h"

namespace lorvex {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Runs the event loop, waiting in the kernel between events, until `done` holds or `limit` passes.
bool waitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

bool windowHolds(const ImageLibraryStore& store, const std::string& path) {
  return store.resultWindow().index(path).has_value();
}

class LibraryStoreIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::application();
    fixtures_ = fs::path(LORVEX_FIXTURES_DIR);
    if (!fs::is_directory(fixtures_)) GTEST_SKIP() << "no shared fixtures at " << fixtures_;
    std::string pattern = (fs::temp_directory_path() / "lorvex-store-integration-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    userFolders_.emplace(root_ / "user");
    pictures_ = root_ / "pictures";
    fs::create_directories(pictures_);
    int copied = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fixtures_)) {
      if (!entry.is_regular_file() || entry.path().extension() != ".png") continue;
      fs::copy_file(entry.path(), pictures_ / (std::to_string(copied++) + "-" + entry.path().filename().string()));
      if (firstCopy_.empty()) firstCopy_ = pictures_ / (std::to_string(copied - 1) + "-" + entry.path().filename().string());
    }
    ASSERT_GT(copied, 0);
  }

  void TearDown() override {
    userFolders_.reset();
    if (!root_.empty()) {
      std::error_code ignored;
      fs::remove_all(root_, ignored);
    }
  }

  fs::path fixtures_;
  fs::path root_;
  fs::path pictures_;
  fs::path firstCopy_;
  std::optional<testing::ScopedUserFolders> userFolders_;
};

TEST_F(LibraryStoreIntegrationTest, LaunchRegisterAndAFileWrittenLaterAppear) {
  auto store = makeLibraryStoreInFolder(root_ / "library");
  store->startLaunchWorkflow();
  ASSERT_TRUE(waitUntil([&] { return !store->launchWorkflowTask() && !store->needsLiveServicePreparation(); },
                        std::chrono::seconds(30)));
  ASSERT_FALSE(store->errorMessage().has_value()) << *store->errorMessage();

  int progressValues = 0;
  QObject::connect(store.get(), &ImageLibraryStore::indexingProgressChanged, [&] {
    if (store->indexingProgress()) ++progressValues;
  });
  auto registration = store->registerFolders({pictures_.string()});
  ASSERT_TRUE(waitUntil([&] { return registration.isReady(); }, std::chrono::seconds(60)));
  ASSERT_FALSE(store->errorMessage().has_value()) << *store->errorMessage();
  EXPECT_GT(progressValues, 0);
  ASSERT_TRUE(store->lastScanSummary().has_value());
  const auto indexed = store->lastScanSummary()->indexedImageCount;
  EXPECT_GT(indexed, 0);
  EXPECT_EQ(static_cast<std::int64_t>(store->resultWindow().records().size()), indexed);
  EXPECT_TRUE(windowHolds(*store, fs::canonical(firstCopy_).string()) || windowHolds(*store, firstCopy_.string()));
  ASSERT_EQ(store->registeredFolderSummaries().size(), 1u);

  // Written through a temporary name and renamed, as a generator saves its output.
  const fs::path written = pictures_ / "written-later.png";
  fs::copy_file(firstCopy_, pictures_ / ".written-later.png.part");
  fs::rename(pictures_ / ".written-later.png.part", written);
  const auto canonical = fs::canonical(written).string();
  EXPECT_TRUE(waitUntil([&] { return windowHolds(*store, canonical) || windowHolds(*store, written.string()); },
                        std::chrono::seconds(15)))
      << "the written file never reached the results";
  EXPECT_FALSE(store->errorMessage().has_value());
  store->stopBackgroundLibrarySync();
  EXPECT_TRUE(waitUntilStoreIdle(*store, std::chrono::seconds(30)));
}

}  // namespace
}  // namespace lorvex
