// The shared widgets of ui/common on their own: the image view in each of its states and the
// small controls, so their look can be checked in both languages without a library.
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <tuple>
#include <vector>

#include "model/image_record.h"
#include "scene_registry.h"
#include "support/png_image.h"
#include "ui/common/busy_indicator.h"
#include "ui/common/copy_tag_menu_button.h"
#include "ui/common/eliding_label.h"
#include "ui/common/floating_toolbar.h"
#include "ui/common/header_action_button.h"
#include "ui/common/load_more_results_indicator.h"
#include "ui/common/local_image_load_request.h"
#include "ui/common/local_image_view.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"

namespace lorvex::screens {
namespace {

using ui::qtText;

constexpr QSize kCellImageSize(160, 120);

// An image view whose decode never ends while the scene is on screen: the loading state.
class LoadingImageCell : public QWidget {
 public:
  LoadingImageCell(const std::string& path, QWidget* parent)
      : QWidget(parent), loader_(cache_, limiter_, [this](const std::string&, std::optional<int>) {
          std::unique_lock lock(mutex_);
          released_.wait(lock, [this] { return isReleased_; });
          return ui::LocalImageDecodeResult{};
        }) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new ui::LocalImageView(this, false, loader_);
    layout->addWidget(view_);
    view_->setSource(path);
  }

  ~LoadingImageCell() override {
    {
      const std::lock_guard lock(mutex_);
      isReleased_ = true;
    }
    released_.notify_all();
    delete view_;  // before the loader it loads through
  }

  ui::LocalImageView* view() const { return view_; }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool isReleased_ = false;
  ui::LocalImageMemoryCache cache_{4, 1 << 20};
  ui::LocalImageDecodeLimiter limiter_{1};
  ui::LocalImageLoader loader_;
  ui::LocalImageView* view_ = nullptr;
};

// One state: the view above its accessibility text, which follows the view.
QWidget* imageCell(ui::LocalImageView* view, QWidget* cellContent, QWidget* parent) {
  auto* cell = new QWidget(parent);
  auto* layout = new QVBoxLayout(cell);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  cellContent->setParent(cell);
  cellContent->setFixedSize(kCellImageSize);
  layout->addWidget(cellContent);
  auto* caption = new ui::ElidingLabel(QString(), cell);
  caption->setFont(ui::roleFont(ui::FontRole::caption));
  caption->setElideMode(Qt::ElideMiddle);
  caption->setFixedWidth(kCellImageSize.width());
  const auto describe = [view, caption] {
    caption->setText(view->accessibleName() + QStringLiteral(" · ") + view->accessibleDescription());
  };
  QObject::connect(view, &ui::LocalImageView::displayStateChanged, caption, describe);
  describe();
  layout->addWidget(caption);
  return cell;
}

std::string writePatternImage(const std::filesystem::path& folder, const std::string& name,
                              std::uint32_t width, std::uint32_t height) {
  testing::PNGImageSpec spec;
  spec.width = width;
  spec.height = height;
  spec.colorType = testing::PNGColorType::rgb;
  const std::filesystem::path path = folder / name;
  std::ofstream(path, std::ios::binary) << testing::encodePNGImage(spec);
  return path.string();
}

std::unique_ptr<QWidget> buildImageViewStates(SceneContext& context) {
  auto root = std::make_unique<QWidget>();
  root->setAutoFillBackground(true);
  auto* row = new QHBoxLayout(root.get());
  row->setContentsMargins(16, 16, 16, 16);
  row->setSpacing(16);
  const QColor background = ui::roleColor(ui::ColorRole::controlBackground);
  const std::string wide = writePatternImage(context.scratch, "wide image.png", 480, 270);
  const std::filesystem::path notImage = context.scratch / "notes.png";
  std::ofstream(notImage) << "not an image";

  const auto addView = [&](std::optional<std::string> path, ui::LocalImageView::ContentMode mode) {
    auto* view = new ui::LocalImageView(root.get());
    view->setBackgroundColor(background);
    view->setContentMode(mode);
    view->setSource(std::move(path));
    row->addWidget(imageCell(view, view, root.get()));
  };
  addView(std::nullopt, ui::LocalImageView::ContentMode::fit);
  auto* loading = new LoadingImageCell((context.scratch / "slow.png").string(), root.get());
  loading->view()->setBackgroundColor(background);
  row->addWidget(imageCell(loading->view(), loading, root.get()));
  addView(wide, ui::LocalImageView::ContentMode::fit);
  addView(wide, ui::LocalImageView::ContentMode::fill);
  addView(notImage.string(), ui::LocalImageView::ContentMode::fit);
  return root;
}

QString text(SceneContext& context, std::string_view key) {
  return qtText(context.localization.lookup(key));
}

std::unique_ptr<QWidget> buildControls(SceneContext& context) {
  auto root = std::make_unique<QWidget>();
  root->setAutoFillBackground(true);
  auto* column = new QVBoxLayout(root.get());
  column->setContentsMargins(16, 16, 16, 16);
  column->setSpacing(14);

  // The floating bar as the preview and the slideshow show it: dark, translucent, rounded.
  auto* bar = new QWidget(root.get());
  bar->setObjectName(QStringLiteral("floatingBar"));
  bar->setStyleSheet(
      QStringLiteral("#floatingBar { background: rgba(0, 0, 0, 0.86); border-radius: 14px; }"));
  auto* barRow = new QHBoxLayout(bar);
  barRow->setContentsMargins(10, 6, 10, 6);
  barRow->setSpacing(4);
  const auto addButton = [&](std::string_view key, std::string symbol, bool active, bool enabled) {
    auto* button = new ui::FloatingToolbarButton(text(context, key), std::move(symbol), bar);
    button->setActive(active);
    button->setEnabled(enabled);
    barRow->addWidget(button);
  };
  addButton("slideshow.previous", "chevron.left", false, true);
  addButton("slideshow.pause", "pause.fill", false, true);
  addButton("slideshow.next", "chevron.right", false, true);
  barRow->addWidget(new ui::FloatingToolbarDivider(bar));
  addButton("review.favorite", "star.fill", true, true);
  addButton("review.deleteCandidate", "trash.fill", false, true);
  addButton("review.deleteCandidate", "trash.fill", true, false);
  barRow->addWidget(new ui::FloatingToolbarDivider(bar));
  addButton("common.close", "xmark", false, true);
  column->addWidget(bar, 0, Qt::AlignLeft);

  auto* headerRow = new QHBoxLayout;
  headerRow->setSpacing(10);
  auto* help = new ui::HeaderActionButton(text(context, "shortcutHelp.buttonTitle"), root.get());
  help->setSymbol("keyboard");
  headerRow->addWidget(help);
  auto* running = new ui::HeaderActionButton(text(context, "slideshow.running"), root.get());
  running->setSymbol("play.rectangle");
  running->setColorRole(ui::HeaderActionButtonColorRole::activeYellow);
  headerRow->addWidget(running);
  auto* disabled = new ui::HeaderActionButton(text(context, "common.openInFinder"), root.get());
  disabled->setSymbol("folder");
  disabled->setEnabled(false);
  headerRow->addWidget(disabled);
  auto* ampersand = new ui::HeaderActionButton(QStringLiteral("R&D <b>plain</b>"), root.get());
  headerRow->addWidget(ampersand);
  headerRow->addStretch(1);
  column->addLayout(headerRow);

  auto* loadingMore = new ui::LoadMoreResultsIndicator(root.get());
  loadingMore->setLoading(true);
  column->addWidget(loadingMore);
  column->addWidget(new ui::LoadMoreResultsIndicator(root.get()));

  auto* busyRow = new QHBoxLayout;
  busyRow->addWidget(new ui::BusyIndicator(ui::BusyIndicator::Size::large, root.get()));
  busyRow->addWidget(new ui::BusyIndicator(ui::BusyIndicator::Size::small, root.get()));
  for (const auto* symbol : {"star.fill", "trash.fill", "checkmark.circle.fill", "exclamationmark.triangle",
                             "tag", "folder.badge.plus", "photo", "keyboard"}) {
    auto* icon = new QLabel(root.get());
    icon->setPixmap(ui::symbolIcon(symbol).pixmap(20, 20));
    busyRow->addWidget(icon);
  }
  busyRow->addStretch(1);
  column->addLayout(busyRow);

  const auto addElided = [&](const QString& value, Qt::TextElideMode mode) {
    auto* label = new ui::ElidingLabel(value, root.get());
    label->setElideMode(mode);
    label->setFixedWidth(300);
    column->addWidget(label);
  };
  addElided(
      QStringLiteral("/home/ann/Pictures/夜景と街の灯り/NovelAI 2026-12-07/masterpiece, best quality.png"),
      Qt::ElideMiddle);
  addElided(text(context, "review.deleteCandidate.feedback.hiddenFromNormalResults"), Qt::ElideRight);
  column->addStretch(1);
  return root;
}

// The first results of a store as image views: thumbnails where the record has one (the preview),
// the image file downsampled as the tiles do. Shows that a scene's store and its decodes settle.
std::unique_ptr<QWidget> resultImages(SceneContext& context) {
  auto root = std::make_unique<QWidget>();
  root->setAutoFillBackground(true);
  auto* row = new QHBoxLayout(root.get());
  row->setContentsMargins(16, 16, 16, 16);
  row->setSpacing(16);
  const auto& records = context.store->results().resultWindow().records();
  for (std::size_t i = 0; i < records.size() && i < 5; ++i) {
    auto* view = new ui::LocalImageView(root.get());
    view->setBackgroundColor(ui::roleColor(ui::ColorRole::controlBackground));
    view->setContentMode(ui::LocalImageView::ContentMode::fill);
    view->setSource(records[i]->file.path, records[i]->thumbnailPath, std::nullopt, std::nullopt,
                    ui::kTileImageMaxPixelSize);
    row->addWidget(imageCell(view, view, root.get()));
  }
  if (records.empty())
    row->addWidget(ui::makePlainLabel(text(context, "result.empty.noResults.title"), root.get()));
  row->addStretch(1);
  return root;
}

std::unique_ptr<QWidget> buildFakeResultImages(SceneContext& context) {
  std::vector<ImageRecord> records;
  for (const auto& [name, width, height] :
       {std::tuple{"portrait.png", 300u, 480u}, std::tuple{"landscape.png", 480u, 300u},
        std::tuple{"square.png", 400u, 400u}}) {
    ImageRecord record;
    record.file.path = writePatternImage(context.scratch, name, width, height);
    record.file.fileSize = static_cast<std::int64_t>(std::filesystem::file_size(record.file.path));
    records.push_back(record);
  }
  ImageRecord missing;
  missing.file.path = (context.scratch / "gone.png").string();
  records.push_back(missing);
  if (context.makeFakeStoreWithResults(std::move(records)) == nullptr) return nullptr;
  return resultImages(context);
}

std::unique_ptr<QWidget> buildCopyTagMenuHost(SceneContext&) {
  auto root = std::make_unique<QWidget>();
  root->setAutoFillBackground(true);
  return root;
}

QWidget* openCopyTagMenu(SceneContext& context, QWidget& root) {
  auto* menu = new QMenu(&root);
  menu->addAction(ui::symbolIcon("folder"), ui::mnemonicSafe(text(context, "common.openInFinder")));
  menu->addSeparator();
  ui::CopyTagMenuButton::addTo(*menu, "rock & roll");
  menu->popup(root.mapToGlobal(QPoint(20, 20)));
  return menu;
}

const bool registered = registerScene({.name = "common.imageView",
                                       .source = SceneSource::widgetsOnly,
                                       .size = {5 * 160 + 6 * 16, 120 + 2 * 16 + 24},
                                       .build = buildImageViewStates,
                                       .afterShow = {}}) &&
                        registerScene({.name = "common.controls",
                                       .source = SceneSource::widgetsOnly,
                                       .size = {640, 400},
                                       .build = buildControls,
                                       .afterShow = {}}) &&
                        registerScene({.name = "common.fakeResultImages",
                                       .source = SceneSource::fakeService,
                                       .size = {5 * 160 + 6 * 16, 120 + 2 * 16 + 24},
                                       .build = buildFakeResultImages,
                                       .afterShow = {}}) &&
                        registerScene({.name = "common.libraryResultImages",
                                       .source = SceneSource::library,
                                       .size = {5 * 160 + 6 * 16, 120 + 2 * 16 + 24},
                                       .build = resultImages,
                                       .afterShow = {}}) &&
                        registerScene({.name = "common.copyTagMenu",
                                       .source = SceneSource::widgetsOnly,
                                       .size = {300, 160},
                                       .build = buildCopyTagMenuHost,
                                       .afterShow = openCopyTagMenu});

}  // namespace
}  // namespace lorvex::screens
