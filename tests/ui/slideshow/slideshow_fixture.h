// A slideshow over a real folder of PNG files (portrait and landscape in turn) listed by the
// scripted library service, on the fake clock: the store, its presenter over a stand-in main
// window, and helpers to reach the window, the view and its controls.
#pragma once

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"
#include "support/png_image.h"
#include "ui/common/floating_toolbar.h"
#include "ui/results/echo_localization.h"
#include "ui/slideshow/slideshow_floating_controls.h"
#include "ui/slideshow/slideshow_image_decoding.h"
#include "ui/slideshow/slideshow_key_view.h"
#include "ui/slideshow/slideshow_stepper_control.h"
#include "ui/slideshow/slideshow_view.h"
#include "ui/slideshow/slideshow_window_presenter.h"
#include "ui/support/store_view_models.h"
#include "ui/support/ui_test_application.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui::testing {

class SlideshowFixture : public WidgetTest {
 public:
  static constexpr std::int64_t kSecond = 1'000'000'000;

  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    store = harness.makeStore();
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(),
                                                                 {folder.path().toStdString()});
    setLibrary(10);
  }

  void TearDown() override {
    presenter.reset();
    settle();
  }

  // `count` PNGs in the folder, newest first: even ones landscape, odd ones portrait, larger than the
  // cells of several images at a time (so those are decoded smaller).
  void setLibrary(int count) {
    std::vector<ImageRecord> records;
    for (int i = 0; i < count; ++i) {
      lorvex::testing::PNGImageSpec spec;
      spec.width = i % 2 == 0 ? 1280 : 864;
      spec.height = i % 2 == 0 ? 864 : 1280;
      const std::string path = folder.filePath(QStringLiteral("%1.png").arg(i)).toStdString();
      const std::string bytes = lorvex::testing::encodePNGImage(spec);
      QFile file(QString::fromStdString(path));
      EXPECT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(bytes.data(), static_cast<qint64>(bytes.size()));
      file.close();
      ImageRecord record;
      record.file.path = path;
      record.file.fileSize = static_cast<std::int64_t>(bytes.size());
      record.file.modificationDate = 1'700'000'000.0 - i;
      record.metadata.width = spec.width;
      record.metadata.height = spec.height;
      records.push_back(record);
    }
    harness.service->setRecords(records);
  }

  // The first page of `limit` records, focus on the first.
  void loadResults(int limit = 500) {
    ImageLibraryStore* s = store.get();
    s->context().startDetached([s, limit] { return s->results().refreshResults(limit, true); });
    settle();
  }

  // The presenter over a stand-in main window; the slideshow opens with `count` images at a time.
  void startSlideshow(int count = 1) {
    if (presenter == nullptr) makePresenter();
    store->presentation().setSlideshowVisibleCount(count);
    store->results().startSlideshow();
    settle();
  }

  void makePresenter() {
    ImageLibraryStore* s = store.get();
    const AppLocalization* localization = &this->localization;
    SlideshowView::FeedbackOverlayFactory overlay = [this](ReviewModel&, std::function<void()> undo,
                                                           QWidget* host) {
      auto* banner = new QWidget(host);
      banner->setObjectName(QStringLiteral("test.feedbackOverlay"));
      banner->setAttribute(Qt::WA_TransparentForMouseEvents);
      overlayUndo = std::move(undo);
      return banner;
    };
    presenter = std::make_unique<SlideshowWindowPresenter>(
        store->presentation(),
        [s, localization, overlay] {
          return std::make_unique<SlideshowView>(
              slideshowModels(*s), [s] { s->presentation().setIsSlideshowPresented(false); }, overlay,
              localization);
        },
        &mainWindow);
  }

  void settle() {
    for (int i = 0; i < 3; ++i) {
      harness.drainEvents();
      drainUiEvents(slideshowImageLoader());
    }
  }

  void advance(double seconds) {
    harness.clock.advance(static_cast<std::int64_t>(seconds * kSecond));
    settle();
  }

  // The slideshow windows that are shown now.
  static std::vector<SlideshowWindow*> shownWindows() {
    std::vector<SlideshowWindow*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* window = qobject_cast<SlideshowWindow*>(widget);
      if (window != nullptr && window->isVisible() && window->objectName() == "slideshow.window") {
        windows.push_back(window);
      }
    }
    return windows;
  }

  SlideshowView* view() const {
    if (presenter == nullptr || presenter->window() == nullptr) return nullptr;
    return findByName<SlideshowView>(*presenter->window(), QStringLiteral("slideshow.view"));
  }

  template <class T = QWidget>
  T* named(const char* objectName) const {
    SlideshowView* v = view();
    return v == nullptr ? nullptr : findByName<T>(*v, QString::fromUtf8(objectName));
  }

  // The position of the focused record in the window; -1 without one.
  int focusIndex() const {
    const auto& primary = store->results().selection().primaryPath();
    const auto& records = store->results().resultWindow().records();
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (primary && records[i]->file.path == *primary) return static_cast<int>(i);
    }
    return -1;
  }

  std::string path(int number) const {
    return folder.filePath(QStringLiteral("%1.png").arg(number)).toStdString();
  }

  QTemporaryDir folder;
  lorvex::testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
  AppLocalization localization = echoLocalization();
  QWidget mainWindow;
  std::unique_ptr<SlideshowWindowPresenter> presenter;
  std::function<void()> overlayUndo;
};

}  // namespace lorvex::ui::testing
