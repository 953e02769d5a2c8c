// The results column: the grid with a selection, the filter chips with marked tiles, a tile's
// context menu and the preview over the window, over the real library (or, for the chips, images
// of the scene's own); and from the scripted service the empty states (first run, a folder to
// allow again, indexing, no results under a filter) and a search running over loaded results.
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scene_registry.h"
#include "store/filters/filters_model_test_access.h"
#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"
#include "support/png_image.h"
#include "ui/results/quick_look_preview_overlay.h"
#include "ui/results/results_grid_list_view.h"
#include "ui/results/results_grid_view.h"
#include "ui/support/store_view_models.h"

namespace lorvex::screens {
namespace {

constexpr QSize kColumnSize(1000, 680);

// The results column with actions that do nothing: the scenes only look.
std::unique_ptr<ui::ResultsGridView> resultsColumn(SceneContext& context) {
  return std::make_unique<ui::ResultsGridView>(ui::testing::resultsGridListModels(*context.store),
                                               context.store->filters(), ui::ResultsGridViewActions{},
                                               context.localization);
}

// Patterned PNGs of several shapes in the scene's folder, as library records.
std::vector<ImageRecord> patternImages(const std::filesystem::path& folder, int count) {
  std::vector<ImageRecord> records;
  const std::pair<std::uint32_t, std::uint32_t> shapes[] = {{512, 768}, {768, 512}, {640, 640}, {448, 832}};
  for (int i = 0; i < count; ++i) {
    testing::PNGImageSpec spec;
    spec.width = shapes[i % 4].first;
    spec.height = shapes[i % 4].second;
    spec.colorType = testing::PNGColorType::rgb;
    ImageRecord record;
    record.file.path = (folder / ("generation " + std::to_string(1000 + i) + ".png")).string();
    std::ofstream(record.file.path, std::ios::binary) << testing::encodePNGImage(spec);
    record.file.fileSize = static_cast<std::int64_t>(std::filesystem::file_size(record.file.path));
    record.file.modificationDate = 1'765'000'000.0 - i;
    records.push_back(std::move(record));
  }
  return records;
}

// Selects three records from `first` on (counted from the end when negative), as a person would
// with a click and a Shift-click; the focus ends on the last of them.
void selectSome(ImageLibraryStore& store, int first = 1) {
  const auto& records = store.results().resultWindow().records();
  const int count = static_cast<int>(records.size());
  if (count < 2) return;
  const int start = std::clamp(first < 0 ? count + first : first, 0, count - 1);
  store.results().selection().selectSingle(records[static_cast<std::size_t>(start)]->file.path);
  store.results().extendSelection(
      records[static_cast<std::size_t>(std::min(start + 2, count - 1))]->file.path);
}

std::unique_ptr<QWidget> buildGrid(SceneContext& context) {
  selectSome(*context.store, -4);
  return resultsColumn(context);
}

std::unique_ptr<QWidget> buildChips(SceneContext& context) {
  std::vector<ImageRecord> records = patternImages(context.scratch, 9);
  for (ImageRecord& record : records) record.reviewState.favorite = true;
  if (context.makeFakeStoreWithResults(std::move(records)) == nullptr) return nullptr;
  ImageLibraryStore& store = *context.store;
  // The filters are set on the store without a new search (the scene's images carry no tags):
  // the chips show what a search under them would narrow to.
  FiltersModelTestAccess::setSelectedFilterTags(
      store.filters(), {"masterpiece", "very long tag name with many words that will not fit in one chip"});
  FiltersModelTestAccess::setSelectedAspectFilters(store.filters(), {ImageAspectFilter::portrait});
  FiltersModelTestAccess::setOnlyFavorites(store.filters(), true);
  selectSome(store);
  return resultsColumn(context);
}

QWidget* openTileMenu(SceneContext& context, QWidget& root) {
  auto* grid = root.findChild<ui::ResultsGridListView*>("results.grid");
  if (grid == nullptr || grid->gridModel().rowCount() < 3) return nullptr;
  const QPoint centre = grid->tileRect(2).center().toPoint();
  QContextMenuEvent event(QContextMenuEvent::Mouse, centre, grid->viewport()->mapToGlobal(centre));
  QApplication::sendEvent(grid->viewport(), &event);
  context.settle();
  return grid->contextMenu();
}

std::unique_ptr<QWidget> buildPreview(SceneContext& context) {
  selectSome(*context.store, -4);
  auto root = std::make_unique<QWidget>();
  auto* layout = new QVBoxLayout(root.get());
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(resultsColumn(context).release());
  if (const std::optional<std::string> url = context.store->results().selectedRecordFileURL()) {
    auto* overlay = new ui::QuickLookPreviewOverlay(context.store->results(), context.store->review(),
                                                    context.store->concepts(), context.store->context(), *url,
                                                    {}, root.get(), context.localization);
    overlay->show();
  }
  return root;
}

std::unique_ptr<QWidget> buildFirstRun(SceneContext& context) {
  context.makeFakeStoreWithResults({});
  return resultsColumn(context);
}

std::unique_ptr<QWidget> buildAccessDenied(SceneContext& context) {
  if (context.makeFakeStoreWithResults({}) == nullptr) return nullptr;
  RegisteredFolderSummary denied;
  denied.path = (context.scratch / "Pictures" / "NovelAI").string();
  denied.displayName = "NovelAI";
  denied.state = RegisteredFolderAccessState::accessDenied;
  LibraryModelTestAccess::setRegisteredFolderSummaries(context.store->library(), {denied});
  return resultsColumn(context);
}

std::unique_ptr<QWidget> buildIndexing(SceneContext& context) {
  if (context.makeFakeStoreWithResults({}) == nullptr) return nullptr;
  ImageLibraryIndexingProgress progress;
  progress.phase = ImageLibraryIndexingPhase::indexing;
  progress.processedCount = 1280;
  progress.totalCount = 4096;
  LibraryModelTestAccess::setIsLibrarySyncInProgress(context.store->library(), true);
  LibraryModelTestAccess::setIndexingProgress(context.store->library(), progress);
  return resultsColumn(context);
}

std::unique_ptr<QWidget> buildNoResults(SceneContext& context) {
  if (context.makeFakeStoreWithResults(patternImages(context.scratch, 3)) == nullptr) return nullptr;
  ImageLibraryStore* store = context.store;
  FiltersModelTestAccess::setOnlyFavorites(store->filters(), true);
  FiltersModelTestAccess::setSelectedFilterTags(store->filters(), {"1girl"});
  store->context().startDetached([store] { return store->results().refreshResults(500, true); });
  context.settle();
  return resultsColumn(context);
}

std::unique_ptr<QWidget> buildSearching(SceneContext& context) {
  if (context.makeFakeStoreWithResults(patternImages(context.scratch, 12)) == nullptr) return nullptr;
  ImageLibraryStore* store = context.store;
  context.harness->service->hold("searchImages");
  store->context().startDetached([store] { return store->results().refreshResults(500, true); });
  context.harness->service->waitForHeld("searchImages", 1);
  return resultsColumn(context);
}

const bool registered = registerScene({.name = "results.grid",
                                       .source = SceneSource::library,
                                       .size = kColumnSize,
                                       .build = buildGrid,
                                       .afterShow = {}}) &&
                        registerScene({.name = "results.chips",
                                       .source = SceneSource::fakeService,
                                       .size = kColumnSize,
                                       .build = buildChips,
                                       .afterShow = {}}) &&
                        registerScene({.name = "results.contextMenu",
                                       .source = SceneSource::fakeService,
                                       .size = kColumnSize,
                                       .build = buildChips,
                                       .afterShow = openTileMenu}) &&
                        registerScene({.name = "results.preview",
                                       .source = SceneSource::library,
                                       .size = kColumnSize,
                                       .build = buildPreview,
                                       .afterShow = {}}) &&
                        registerScene({.name = "results.firstRun",
                                       .source = SceneSource::fakeService,
                                       .size = kColumnSize,
                                       .build = buildFirstRun,
                                       .afterShow = {}}) &&
                        registerScene({.name = "results.accessDenied",
                                       .source = SceneSource::fakeService,
                                       .size = kColumnSize,
                                       .build = buildAccessDenied,
                                       .afterShow = {}}) &&
                        registerScene({.name = "results.indexing",
                                       .source = SceneSource::fakeService,
                                       .size = kColumnSize,
                                       .build = buildIndexing,
                                       .afterShow = {},
                                       .storeStaysBusy = true}) &&
                        registerScene({.name = "results.noResults",
                                       .source = SceneSource::fakeService,
                                       .size = kColumnSize,
                                       .build = buildNoResults,
                                       .afterShow = {}}) &&
                        registerScene({.name = "results.searching",
                                       .source = SceneSource::fakeService,
                                       .size = kColumnSize,
                                       .build = buildSearching,
                                       .afterShow = {},
                                       .storeStaysBusy = true});

}  // namespace
}  // namespace lorvex::screens
