// The application shell: the main window while the library is prepared, when a newer Lorvex made
// it (so it cannot be opened), empty, with its first
// page, with a focused record and with the preview open, its File menu, the folder picker it
// opens, the message when no file manager answers, and the shortcut help and acknowledgments
// windows.
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/acknowledgments_window.h"
#include "app/content_view.h"
#include "app/main_window.h"
#include "app/shortcut_help_sheet.h"
#include "model/image_record.h"
#include "scene_registry.h"
#include "store/library/library_model_test_access.h"
#include "support/png_image.h"
#include "ui/common/reveal_in_file_manager.h"

namespace lorvex::screens {
namespace {

// Scenes never open the picker.
class NoFolderPicker final : public app::FolderPicker {
 public:
  void open(QWidget*, bool, std::function<void(app::FolderPickerResult)>, std::function<void()>) override {}
};

std::vector<ImageRecord> writeImages(const std::filesystem::path& folder, int count) {
  std::filesystem::create_directories(folder);
  std::vector<ImageRecord> records;
  for (int i = 0; i < count; ++i) {
    testing::PNGImageSpec spec;
    spec.width = 240 + static_cast<std::uint32_t>((i % 3) * 80);
    spec.height = 320 - static_cast<std::uint32_t>((i % 2) * 80);
    spec.colorType = testing::PNGColorType::rgb;
    const std::filesystem::path path = folder / ("image " + std::to_string(i + 1) + ".png");
    std::ofstream(path, std::ios::binary) << testing::encodePNGImage(spec);
    ImageRecord record;
    record.file.path = path.string();
    record.file.fileSize = static_cast<std::int64_t>(std::filesystem::file_size(path));
    record.file.modificationDate = 1'700'000'000.0 - i;
    records.push_back(record);
  }
  return records;
}

std::unique_ptr<QWidget> mainWindow(SceneContext& context, app::FolderPicker* folderPicker = nullptr) {
  static app::ShellViews views = app::liveShellViews();
  static NoFolderPicker picker;
  return std::make_unique<app::MainWindow>(
      *context.store, ui::ViewResourceDisplay{}, platform::Settings("shell-scene", context.scratch), views,
      folderPicker != nullptr ? *folderPicker : picker, nullptr, [] {}, context.localization);
}

std::unique_ptr<QWidget> withResults(SceneContext& context, int count) {
  if (context.makeFakeStoreWithResults(writeImages(context.scratch / "Pictures", count)) == nullptr)
    return nullptr;
  return mainWindow(context);
}

app::MainWindow& asMainWindow(QWidget& root) {
  return static_cast<app::MainWindow&>(root);
}

const bool preparing = registerScene({
    .name = "shell.preparing",
    .source = SceneSource::fakeService,
    .size = {1200, 760},
    .build =
        [](SceneContext& context) {
          context.makeFakeStore();
          return mainWindow(context);
        },
    .afterShow = [](SceneContext& context, QWidget&) -> QWidget* {
      // The moment before the library is ready: the card covers the disabled split view. (The
      // preparing flag counts as work in progress, which a scene cannot wait out.)
      context.store->context().setNeedsLiveServicePreparation(true);
      return nullptr;
    },
});

const bool fromNewerVersion = registerScene({
    .name = "shell.libraryFromNewerVersion",
    .source = SceneSource::fakeService,
    .size = {1200, 760},
    .build =
        [](SceneContext& context) {
          context.makeFakeStore();
          return mainWindow(context);
        },
    .afterShow = [](SceneContext& context, QWidget&) -> QWidget* {
      LibraryModelTestAccess::setLibraryOpenFailure(
          context.store->library(), LibraryOpenFailure{{ErrorNoticeKind::libraryFromNewerVersion, {}},
                                                       (context.scratch / ".local/share/Lorvex").string(),
                                                       false});
      return nullptr;
    },
});

const bool empty = registerScene({
    .name = "shell.empty",
    .source = SceneSource::fakeService,
    .size = {1200, 760},
    .build =
        [](SceneContext& context) {
          context.makeFakeStore();
          return mainWindow(context);
        },
    .afterShow = nullptr,
});

const bool firstPage = registerScene({
    .name = "shell.firstPage",
    .source = SceneSource::fakeService,
    .size = {1200, 760},
    .build = [](SceneContext& context) { return withResults(context, 24); },
    .afterShow = nullptr,
});

const bool recordFocused = registerScene({
    .name = "shell.recordFocused",
    .source = SceneSource::fakeService,
    .size = {1200, 760},
    .build =
        [](SceneContext& context) {
          auto root = withResults(context, 24);
          if (root)
            context.store->results().selection().selectSingle(
                context.store->results().resultWindow().records()[4]->file.path);
          return root;
        },
    .afterShow = nullptr,
});

const bool preview = registerScene({
    .name = "shell.preview",
    .source = SceneSource::fakeService,
    .size = {1200, 760},
    .build = [](SceneContext& context) { return withResults(context, 24); },
    .afterShow = [](SceneContext& context, QWidget& root) -> QWidget* {
      context.store->results().selection().selectSingle(
          context.store->results().resultWindow().records()[1]->file.path);
      if (const auto url = context.store->results().selectedRecordFileURL()) {
        asMainWindow(root).contentView().state().presentQuickLook(*url);
      }
      context.settle();
      return nullptr;
    },
});

const bool fileMenu = registerScene({
    .name = "shell.fileMenu",
    .source = SceneSource::fakeService,
    .size = {1200, 760},
    .build =
        [](SceneContext& context) {
          context.makeFakeStore();
          return mainWindow(context);
        },
    .afterShow = [](SceneContext& context, QWidget& root) -> QWidget* {
      auto* menu = root.findChild<QMenu*>(QStringLiteral("menu.file"));
      if (menu == nullptr) return nullptr;
      menu->popup(root.mapToGlobal(QPoint(0, 24)));
      context.settle();
      return menu;
    },
});

// The picker the sidebar's "Add Folder" opens: titled for adding folders, in the home folder.
const bool folderPicker = registerScene({
    .name = "shell.folderPicker",
    .source = SceneSource::fakeService,
    .size = {1200, 760},
    .build =
        [](SceneContext& context) {
          context.makeFakeStore();
          static std::unique_ptr<app::FolderPicker> picker = app::makeFileDialogFolderPicker();
          return mainWindow(context, picker.get());
        },
    .afterShow = [](SceneContext& context, QWidget& root) -> QWidget* {
      asMainWindow(root).contentView().state().presentFolderImporter();
      context.settle();
      return root.findChild<QDialog*>(QStringLiteral("folderPicker"));
    },
});

const bool revealFailure = registerScene({
    .name = "shell.revealFailure",
    .source = SceneSource::fakeService,
    .size = {1200, 760},
    .build =
        [](SceneContext& context) {
          context.makeFakeStore();
          return mainWindow(context);
        },
    .afterShow = [](SceneContext& context, QWidget& root) -> QWidget* {
      QApplication::setActiveWindow(&root);
      ui::showRevealFailure("/home/ann/Pictures/NovelAI", context.localization);
      context.settle();
      for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QStringLiteral("revealFailure") && window->isVisible()) return window;
      }
      return nullptr;
    },
});

const bool shortcutHelp = registerScene({
    .name = "shell.shortcutHelp",
    .source = SceneSource::widgetsOnly,
    .size = {620, 640},
    .build = [](SceneContext& context) -> std::unique_ptr<QWidget> {
      auto sheet =
          std::make_unique<app::ShortcutHelpSheet>(app::ShortcutHelpPresentation::make(context.localization),
                                                   app::ShortcutHelpSheetLayout{}, context.localization);
      sheet->setWindowModality(Qt::NonModal);  // alone on screen: nothing to be modal over
      return sheet;
    },
    .afterShow = nullptr,
});

const bool acknowledgments = registerScene({
    .name = "shell.acknowledgments",
    .source = SceneSource::widgetsOnly,
    .size = {640, 600},
    .build = [](SceneContext& context) -> std::unique_ptr<QWidget> {
      return std::make_unique<app::AcknowledgmentsWindow>(context.localization);
    },
    .afterShow = nullptr,
});

}  // namespace
}  // namespace lorvex::screens
