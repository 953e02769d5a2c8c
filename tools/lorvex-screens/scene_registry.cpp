#include "scene_registry.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <map>
#include <stdexcept>
#include <system_error>

#include "store/async/store_task.h"
#include "store/store_idle.h"
#include "ui/support/ui_test_application.h"

namespace lorvex::screens {

namespace {

std::vector<Scene>& scenes() {
  static std::vector<Scene> all;
  return all;
}

constexpr std::chrono::seconds kSettleTimeout{60};

}  // namespace

SceneContext::SceneContext(const ui::AppLocalization& localization, std::string language,
                           std::filesystem::path scratch)
    : localization(localization), language(std::move(language)), scratch(std::move(scratch)) {
  std::filesystem::create_directories(this->scratch);
}

SceneContext::~SceneContext() {
  ownedStore.reset();
  ownedHarness.reset();
  std::error_code error;
  std::filesystem::remove_all(scratch, error);
}

ImageLibraryStore& SceneContext::makeFakeStore(testing::StoreOptions options) {
  if (harness == nullptr) throw std::logic_error("makeFakeStore outside a fake-service scene");
  ownedStore = harness->makeStore(std::move(options));
  store = ownedStore.get();
  return *store;
}

ImageLibraryStore* SceneContext::makeFakeStoreWithResults(std::vector<ImageRecord> records,
                                                          testing::StoreOptions options) {
  // Each folder with as many images as the records hold, as the library would count them.
  std::map<std::string, std::int64_t> folders;
  for (const ImageRecord& record : records) {
    ++folders[std::filesystem::path(record.file.path).parent_path().string()];
  }
  std::vector<RegisteredFolderSummary> summaries;
  for (const auto& [folder, count] : folders) {
    RegisteredFolderSummary summary;
    summary.path = folder;
    summary.displayName = std::filesystem::path(folder).filename().string();
    summary.indexedImageCount = count;
    summaries.push_back(summary);
  }
  if (harness == nullptr) throw std::logic_error("makeFakeStoreWithResults outside a fake-service scene");
  harness->service->setRecords(std::move(records));
  harness->service->setRegisteredFolderSummaries(std::move(summaries));
  ImageLibraryStore& made = makeFakeStore(std::move(options));
  ImageLibraryStore* self = &made;
  auto loadFolders = startStoreTask(made.context().scope(), [self](std::stop_token) {
    return self->library().loadRegisteredFolderSummaries();
  });
  if (!settle()) return nullptr;
  auto search = startStoreTask(made.context().scope(), [self](std::stop_token stop) {
    return self->results().refreshResults(500, true, stop);
  });
  if (!settle()) return nullptr;
  return self;
}

bool SceneContext::settle() {
  const auto deadline = std::chrono::steady_clock::now() + kSettleTimeout;
  // A decode may end after the store went idle and start a thumbnail request, and the other way
  // round: go round until both hold at once.
  for (int round = 0; round < 50; ++round) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (harness != nullptr && !harness->drainEvents()) return false;
    if (store != nullptr && harness == nullptr && !waitUntilStoreIdle(*store, kSettleTimeout)) return false;
    if (!ui::testing::drainUiEvents(std::chrono::duration_cast<std::chrono::milliseconds>(kSettleTimeout)))
      return false;
    const bool storeQuiet = store == nullptr || storeStaysBusy || isStoreSettled(*store);
    if (storeQuiet && (harness == nullptr || harness->drainEvents()) && ui::testing::drainUiEvents())
      return true;
  }
  return false;
}

bool registerScene(Scene scene) {
  scenes().push_back(std::move(scene));
  return true;
}

std::vector<const Scene*> registeredScenes() {
  std::vector<const Scene*> sorted;
  for (const Scene& scene : scenes()) sorted.push_back(&scene);
  std::sort(sorted.begin(), sorted.end(), [](const Scene* a, const Scene* b) { return a->name < b->name; });
  return sorted;
}

}  // namespace lorvex::screens
