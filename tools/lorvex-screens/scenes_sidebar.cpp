// The sidebar's scenes: the library with folders, an empty library, a folder needing access, a
// sync under way, both popovers, the scan-failure sheet, the error line (a folder gone, a library
// the system stopped taking writes for), the note of a library rebuilt after damage and the
// indexing card.
// They run over the scripted service, so each state is exactly the one named.
#include <sqlite3.h>

#include <QApplication>
#include <QDialog>
#include <QVBoxLayout>
#include <cerrno>

#include "database/sqlite_image_repository_error.h"
#include "scene_registry.h"
#include "services/image_library_service_error.h"
#include "store/filters/filters_model_test_access.h"
#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"
#include "support/library_file_name.h"
#include "ui/sidebar/filter_sidebar.h"
#include "ui/sidebar/indexing_progress_card.h"
#include "ui/sidebar/scan_failure_sheet.h"
#include "ui/sidebar/suggestion_popovers.h"
#include "ui/support/store_view_models.h"

namespace lorvex::screens {
namespace {

using State = RegisteredFolderAccessState;

constexpr QSize kSidebarSize{300, 760};

std::vector<RegisteredFolderSummary> sampleFolders(const std::string& home) {
  return {
      {home + "/Pictures/NovelAI", "NovelAI", State::available, 12480, 3, std::nullopt, std::nullopt},
      {home + "/Pictures/ComfyUI outputs 2024", "ComfyUI outputs 2024", State::available, 3021, 0,
       std::nullopt, std::nullopt},
      {"/media/usb/old renders", "old renders", State::missing, 412, 412, "The folder is not reachable.",
       std::nullopt},
  };
}

std::unique_ptr<ui::FilterSidebar> makeSidebar(SceneContext& context) {
  auto sidebar = std::make_unique<ui::FilterSidebar>(
      ui::testing::filterSidebarModels(*context.store), ui::ViewResourceDisplay{}, [] {},
      [](const std::string&) {}, ui::FilterSidebarFactories{}, context.localization);
  return sidebar;
}

void fillFilters(ImageLibraryStore& store) {
  FiltersModelTestAccess::setSavedFilterTags(
      store.filters(), {"1girl", "blue sky", "very long tag that does not fit the sidebar at all, really",
                        "夕焼け", "night", "rain", "city"});
  FiltersModelTestAccess::setSelectedFilterTags(store.filters(), {"blue sky", "夕焼け"});
  store.filters().setSelectedModelSource(std::string("nai-diffusion-4-full"));
  FiltersModelTestAccess::setSelectedAspectFilters(store.filters(), {ImageAspectFilter::portrait});
  FiltersModelTestAccess::setOnlyFavorites(store.filters(), true);
}

// A busy store (a sync, indexing) never counts as settled, so the scenes that show one keep a
// store of their own behind the widget, out of the framework's sight; it goes after the widgets.
class BusyStoreHost : public QWidget {
 public:
  BusyStoreHost() : store(harness.makeStore()) {}
  ~BusyStoreHost() override {
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) delete child;
  }
  testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
};

Scene busyScene(
    std::string name, QSize size,
    std::function<QWidget*(ImageLibraryStore&, const ui::AppLocalization&, QWidget& host)> build) {
  Scene scene;
  scene.name = std::move(name);
  scene.source = SceneSource::widgetsOnly;
  scene.size = size;
  scene.build = [build = std::move(build)](SceneContext& context) -> std::unique_ptr<QWidget> {
    auto host = std::make_unique<BusyStoreHost>();
    auto* layout = new QVBoxLayout(host.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(build(*host->store, context.localization, *host));
    return host;
  };
  return scene;
}

Scene sidebarScene(std::string name, std::function<void(SceneContext&)> prepare) {
  Scene scene;
  scene.name = std::move(name);
  scene.source = SceneSource::fakeService;
  scene.size = kSidebarSize;
  scene.build = [prepare = std::move(prepare)](SceneContext& context) -> std::unique_ptr<QWidget> {
    context.makeFakeStore();
    prepare(context);
    auto sidebar = makeSidebar(context);
    sidebar->applyStoreState();
    return sidebar;
  };
  return scene;
}

const bool registered = [] {
  registerScene(sidebarScene("sidebar.library", [](SceneContext& context) {
    LibraryModelTestAccess::setRegisteredFolderSummaries(context.store->library(),
                                                         sampleFolders("/home/ann"));
    fillFilters(*context.store);
  }));
  registerScene(sidebarScene("sidebar.emptyLibrary", [](SceneContext&) {}));
  // The column at its minimum and its ideal width with everything long at once: a large library, a
  // folder whose access is no longer valid (a two-line error), files that could not be read, a
  // long model name.
  for (const auto& [name, width] : {std::pair{"sidebar.minimumWidth", ui::FilterSidebar::kMinimumWidth},
                                    std::pair{"sidebar.idealWidth", ui::FilterSidebar::kIdealWidth}}) {
    Scene scene = sidebarScene(name, [](SceneContext& context) {
      auto folders = sampleFolders("/home/ann");
      folders[0].indexedImageCount = 104923;
      folders[1].indexedImageCount = 15100;
      folders[1].state = State::bookmarkInvalid;
      folders[1].lastError = context.language == "ja"
                                 ? "このフォルダへの保存されたアクセスは有効ではなくなりました。"
                                 : "The saved access to this folder is no longer valid.";
      LibraryModelTestAccess::setRegisteredFolderSummaries(context.store->library(), folders);
      LibraryModelTestAccess::setLastScanSummary(context.store->library(),
                                                 ImageLibraryScanSummary{20, 8, 12, {}});
      fillFilters(*context.store);
      context.store->filters().setSelectedModelSource(
          std::string("nai-diffusion-4-5-full-anime-v2-curated-preview"));
      context.store->context().setErrorMessage(
          std::make_exception_ptr(ImageLibraryServiceError::registeredFolderUnavailable(
              "/home/ann/Pictures/NovelAI/exports/2024-06-01_session_with_a_very_long_unbroken_name")));
    });
    scene.size = QSize(width, 900);
    registerScene(scene);
  }
  registerScene(sidebarScene("sidebar.accessRequired", [](SceneContext& context) {
    auto folders = sampleFolders("/home/ann");
    folders[1].state = State::bookmarkInvalid;
    folders[1].lastError = "The saved access to this folder is no longer valid.";
    folders[1].lastErrorNotice = ErrorNotice{ErrorNoticeKind::folderBookmarkInvalid, {}};
    folders[0].state = State::accessDenied;
    folders[0].lastError = "フォルダを読み取れません。";
    folders[0].lastErrorNotice = ErrorNotice{ErrorNoticeKind::folderUnreadable, {}, "EACCES"};
    LibraryModelTestAccess::setRegisteredFolderSummaries(context.store->library(), folders);
  }));
  registerScene(busyScene(
      "sidebar.checking", kSidebarSize,
      [](ImageLibraryStore& store, const ui::AppLocalization& localization, QWidget& host) {
        LibraryModelTestAccess::setRegisteredFolderSummaries(store.library(), sampleFolders("/home/ann"));
        LibraryModelTestAccess::setIsLibrarySyncInProgress(store.library(), true);
        const ImageLibraryIndexingProgress progress{
            ImageLibraryIndexingPhase::indexing, 1200, 2048, 1190, 10, std::nullopt};
        LibraryModelTestAccess::setIndexingProgress(store.library(), progress);
        auto* sidebar = new ui::FilterSidebar(
            ui::testing::filterSidebarModels(store), ui::ViewResourceDisplay{}, [] {},
            [](const std::string&) {}, ui::FilterSidebarFactories{}, localization, &host);
        sidebar->applyStoreState();
        return sidebar;
      }));
  registerScene(sidebarScene("sidebar.libraryRebuilt", [](SceneContext& context) {
    LibraryModelTestAccess::setRegisteredFolderSummaries(context.store->library(),
                                                         sampleFolders("/home/ann"));
    LibraryModelTestAccess::setLibraryRecoveryNotice(
        context.store->library(),
        LibraryRecoveryNotice{LibraryRecoveryNotice::Kind::damagedLibraryRebuilt,
                              lorvex::testing::libraryFileName(".pre-v4-v4-1700000000"), 1284});
  }));
  // Nothing could be read from the damaged file: said plainly, with no count.
  registerScene(sidebarScene("sidebar.libraryRebuiltNoMarks", [](SceneContext& context) {
    LibraryModelTestAccess::setRegisteredFolderSummaries(context.store->library(),
                                                         sampleFolders("/home/ann"));
    LibraryModelTestAccess::setLibraryRecoveryNotice(
        context.store->library(),
        LibraryRecoveryNotice{LibraryRecoveryNotice::Kind::damagedLibraryRebuilt,
                              lorvex::testing::libraryFileName(".pre-v4-v4-1700000000"), 0, false});
  }));
  registerScene(sidebarScene("sidebar.errorLine", [](SceneContext& context) {
    LibraryModelTestAccess::setRegisteredFolderSummaries(context.store->library(),
                                                         sampleFolders("/home/ann"));
    // As the library reports it: its own fixed Japanese text, which the line shows in the
    // window's language.
    context.store->context().setErrorMessage(std::make_exception_ptr(
        ImageLibraryServiceError::registeredFolderUnavailable("/home/ann/Pictures/private")));
    LibraryModelTestAccess::setLastScanSummary(context.store->library(),
                                               ImageLibraryScanSummary{20, 18, 2, {}});
  }));

  // A library the system stopped taking writes for, once without the system's reason (SQLite's
  // own words, "disk I/O error", whose "I/O" stays on one line) and once with it.
  for (const int systemErrorNumber : {0, EPERM}) {
    registerScene(
        sidebarScene(systemErrorNumber == 0 ? "sidebar.errorLineLibraryIO" : "sidebar.errorLineLibraryEPERM",
                     [systemErrorNumber](SceneContext& context) {
                       LibraryModelTestAccess::setRegisteredFolderSummaries(context.store->library(),
                                                                            sampleFolders("/home/ann"));
                       context.store->context().setErrorMessage(
                           std::make_exception_ptr(SQLiteImageRepositoryV3Error::stepFailed(
                               "disk I/O error", SQLITE_IOERR_WRITE, systemErrorNumber)));
                     }));
  }

  Scene tagPopover = sidebarScene("sidebar.tagPopover", [](SceneContext& context) {
    context.harness->service->setTagSuggestions(
        {{"1girl", 4210}, {"blue sky", 1312}, {"夕焼け", 980}, {"long hair", 870}, {"smile", 1}});
    fillFilters(*context.store);
  });
  tagPopover.afterShow = [](SceneContext& context, QWidget& root) -> QWidget* {
    context.store->presentation().presentTagAdditionPopover();
    context.settle();
    return static_cast<ui::FilterSidebar&>(root).tagPopover();
  };
  registerScene(tagPopover);

  Scene modelPopover = sidebarScene("sidebar.modelPopover", [](SceneContext& context) {
    context.harness->service->setModelSuggestions(
        {{"nai-diffusion-4-full", 8012}, {"nai-diffusion-3", 2210}, {"sdxl_base_1.0", 1}});
    fillFilters(*context.store);
  });
  modelPopover.afterShow = [](SceneContext& context, QWidget& root) -> QWidget* {
    context.store->presentation().presentModelSelectionPopover();
    context.settle();
    return static_cast<ui::FilterSidebar&>(root).modelPopover();
  };
  registerScene(modelPopover);

  Scene sheet = sidebarScene("sidebar.scanFailureSheet", [](SceneContext& context) {
    LibraryModelTestAccess::setRegisteredFolderSummaries(context.store->library(),
                                                         sampleFolders("/home/ann"));
    std::vector<ImageLibraryScanFailure> failures = {
        // As the scan writes them: the system's text and its name, the chunk a PNG broke in.
        {"/home/ann/Pictures/NovelAI/private/0001.png", "Unable to open file: Permission denied (EACCES)",
         ImageLibraryScanFailure::Kind::permission},
        {"/home/ann/Pictures/NovelAI/broken.png", "invalidChunk (iTXt)",
         ImageLibraryScanFailure::Kind::metadata},
        {"/home/ann/Pictures/NovelAI/gone.png", "Unable to open file: No such file or directory (ENOENT)",
         ImageLibraryScanFailure::Kind::missing},
        // A subfolder the walk could not open.
        {"/home/ann/Pictures/NovelAI/shared", "Unable to read folder: Permission denied (EACCES)",
         ImageLibraryScanFailure::Kind::permission},
    };
    LibraryModelTestAccess::setLastScanSummary(context.store->library(),
                                               ImageLibraryScanSummary{1520, 1516, 4, failures});
    LibraryModelTestAccess::setLastScanDiagnosticContext(
        context.store->library(),
        ImageLibraryScanDiagnosticContext{ImageLibraryScanDiagnosticSource::manualSync,
                                          {"/home/ann/Pictures/NovelAI"},
                                          std::nullopt,
                                          1765000000.0});
  });
  const auto showSheet = [](SceneContext& context, QWidget& root) -> QWidget* {
    auto& sidebar = static_cast<ui::FilterSidebar&>(root);
    sidebar.requests().presentScanFailureDiagnostics();
    context.settle();
    return sidebar.scanFailureSheet();
  };
  sheet.afterShow = showSheet;
  registerScene(sheet);

  // A background update of one changed file over more folders than the folders line holds: two
  // whole lines, cut in the middle.
  Scene manyFolders = sidebarScene("sidebar.scanFailureSheet.manyFolders", [](SceneContext& context) {
    std::vector<std::string> roots;
    for (const char* name : {"NovelAI", "ComfyUI outputs 2024", "夕焼けの風景", "old renders", "SwarmUI",
                             "A1111 batch 17", "キャラクター設定", "upscaled", "inpainting tests",
                             "NovelAI V4.5 curated", "背景素材", "final picks"}) {
      roots.push_back(std::string("/home/ann/Pictures/") + name);
    }
    LibraryModelTestAccess::setLastScanSummary(
        context.store->library(),
        ImageLibraryScanSummary{1,
                                0,
                                1,
                                {{"/home/ann/Pictures/SwarmUI/broken.png", "invalidChunk (iTXt)",
                                  ImageLibraryScanFailure::Kind::metadata}}});
    LibraryModelTestAccess::setLastScanDiagnosticContext(
        context.store->library(),
        ImageLibraryScanDiagnosticContext{ImageLibraryScanDiagnosticSource::backgroundChangedPaths, roots, 1,
                                          1765000000.0});
  });
  manyFolders.afterShow = showSheet;
  registerScene(manyFolders);

  registerScene(
      busyScene("sidebar.indexingCard", QSize(480, 260),
                [](ImageLibraryStore& store, const ui::AppLocalization& localization, QWidget& host) {
                  LibraryModelTestAccess::setIsIndexing(store.library(), true);
                  const ImageLibraryIndexingProgress progress{
                      ImageLibraryIndexingPhase::indexing, 37, 1520, 37, 0, std::nullopt};
                  LibraryModelTestAccess::setIndexingProgress(store.library(), progress);
                  auto* area = new QWidget(&host);
                  auto* layout = new QVBoxLayout(area);
                  layout->addWidget(new ui::IndexingProgressCard(store.library(), localization, area), 0,
                                    Qt::AlignCenter);
                  return area;
                }));
  return true;
}();

}  // namespace
}  // namespace lorvex::screens
