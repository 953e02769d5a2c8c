// The slideshow's full-screen window follows the store's flag both ways: one window however often
// it is presented, closed by Escape (whatever has focus inside it), by clearing the flag, by the
// window manager, by leaving full screen and by the presenter going away.
#include <sys/mman.h>
#include <unistd.h>

#include <QApplication>
#include <QBackingStore>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

#include "slideshow_fixture.h"
#include "ui/slideshow/slideshow_stepper_control.h"

namespace lorvex::ui::testing {
namespace {

class SlideshowWindowPresenterTest : public SlideshowFixture {
 public:
  void SetUp() override {
    SlideshowFixture::SetUp();
    loadResults();
  }
};

TEST_F(SlideshowWindowPresenterTest, StartingShowsOneFullScreenWindowHowOftenItIsPresented) {
  startSlideshow();
  ASSERT_EQ(shownWindows().size(), 1U);
  SlideshowWindow* window = shownWindows().front();
  EXPECT_TRUE(window->windowState().testFlag(Qt::WindowFullScreen));
  EXPECT_EQ(window->geometry(), QGuiApplication::primaryScreen()->geometry());
  ASSERT_NE(view(), nullptr);
  EXPECT_EQ(view()->geometry(), window->rect());

  // Presenting again, through the store or the presenter itself, keeps that window and its view.
  SlideshowView* first = view();
  store->results().startSlideshow();
  presenter->present([] {});
  settle();
  ASSERT_EQ(shownWindows().size(), 1U);
  EXPECT_EQ(shownWindows().front(), window);
  EXPECT_EQ(view(), first);
}

// How many pages of the window's buffer are in memory, of how many.
std::pair<std::size_t, std::size_t> residentBufferPages(QWidget& window) {
  QBackingStore* store = window.backingStore();
  if (store == nullptr) return {0, 0};
  store->beginPaint(QRegion());
  const auto* image = dynamic_cast<const QImage*>(store->paintDevice());
  const uchar* bits = image != nullptr ? image->constBits() : nullptr;
  const qsizetype bytes = image != nullptr ? image->sizeInBytes() : 0;
  store->endPaint();
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(bits) + page - 1) / page * page;
  const std::uintptr_t last =
      (reinterpret_cast<std::uintptr_t>(bits) + static_cast<std::uintptr_t>(bytes)) / page * page;
  if (bits == nullptr || last <= first) return {0, 0};
  std::vector<unsigned char> resident((last - first) / page);
  if (mincore(reinterpret_cast<void*>(first), last - first, resident.data()) != 0)
    return {0, resident.size()};
  return {static_cast<std::size_t>(
              std::count_if(resident.begin(), resident.end(), [](unsigned char p) { return p & 1; })),
          resident.size()};
}

TEST_F(SlideshowWindowPresenterTest, TheWindowsBufferIsInMemoryBeforeItsFirstFrame) {
  makePresenter();
  settle();
  store->results().startSlideshow();
  // No event is handled from here on: nothing has been painted into the buffer yet.
  ASSERT_EQ(shownWindows().size(), 1U);
  SlideshowWindow& window = *shownWindows().front();
  std::pair<std::size_t, std::size_t> pages = residentBufferPages(window);
  for (int wait = 0; wait < 500 && (pages.second == 0 || pages.first < pages.second); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    pages = residentBufferPages(window);
  }
  // A buffer for the whole window: 4 bytes a pixel.
  EXPECT_GE(pages.second,
            static_cast<std::size_t>(window.width()) * window.height() * 4 / sysconf(_SC_PAGESIZE) - 1);
  EXPECT_EQ(pages.first, pages.second);
  settle();
}

TEST_F(SlideshowWindowPresenterTest, EachWayOutClosesTheWindowAndClearsTheFlagOnce) {
  const struct {
    const char* name;
    std::function<void(SlideshowWindowPresenterTest&)> close;
  } cases[] = {
      {"escape on the key view",
       [](SlideshowWindowPresenterTest& t) { QTest::keyClick(t.view()->keyView(), Qt::Key_Escape); }},
      // Escape is the window's before any child sees it: a focused stepper does not keep it.
      {"escape on a focused stepper",
       [](SlideshowWindowPresenterTest& t) {
         auto* stepper = t.named<StepperControl>("slideshow.interval");
         stepper->setFocus();
         QTest::keyClick(stepper, Qt::Key_Escape);
       }},
      {"escape with a modifier",
       [](SlideshowWindowPresenterTest& t) {
         QTest::keyClick(t.view()->keyView(), Qt::Key_Escape, Qt::ShiftModifier);
       }},
      {"the close button",
       [](SlideshowWindowPresenterTest& t) { t.named<QAbstractButton>("slideshow.close")->click(); }},
      {"the window manager closes it",
       [](SlideshowWindowPresenterTest& t) { t.presenter->window()->close(); }},
      {"leaving full screen", [](SlideshowWindowPresenterTest& t) { t.presenter->window()->showNormal(); }},
      {"the presenter goes", [](SlideshowWindowPresenterTest& t) { t.presenter.reset(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    startSlideshow();
    ASSERT_EQ(shownWindows().size(), 1U);
    int flagChanges = 0;
    const auto counter =
        QObject::connect(&store->presentation(), &ImageLibraryPresentationState::isSlideshowPresentedChanged,
                         [&flagChanges] { ++flagChanges; });
    c.close(*this);
    settle();
    QObject::disconnect(counter);
    EXPECT_TRUE(shownWindows().empty());
    EXPECT_FALSE(store->presentation().isSlideshowPresented());
    EXPECT_FALSE(store->presentation().isSlideshowPlaying());
    EXPECT_EQ(flagChanges, 1);
    if (presenter != nullptr) {
      EXPECT_EQ(presenter->window(), nullptr);
    }
  }
}

TEST_F(SlideshowWindowPresenterTest, ClearingTheFlagClosesTheWindowAndAnotherStartOpensANewOne) {
  startSlideshow();
  ASSERT_EQ(shownWindows().size(), 1U);
  store->results().dismissSlideshow();
  settle();
  EXPECT_TRUE(shownWindows().empty());
  EXPECT_EQ(presenter->window(), nullptr);

  startSlideshow();
  ASSERT_EQ(shownWindows().size(), 1U);
  EXPECT_NE(view(), nullptr);
}

// A view of the window under the slideshow, counting its paints.
class PaintCounter : public QWidget {
 public:
  using QWidget::QWidget;
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent*) override { ++paints; }
};

TEST_F(SlideshowWindowPresenterTest, TheWindowUnderTheSlideshowRepaintsOnceWhenItCloses) {
  auto* area = new PaintCounter(&mainWindow);
  area->setGeometry(0, 0, 200, 100);
  mainWindow.setGeometry(40, 40, 400, 300);
  mainWindow.show();
  makePresenter();
  settle();
  area->paints = 0;
  // What the turn that opens the slideshow changes under it waits as well.
  store->results().startSlideshow();
  area->update();
  settle();
  for (int step = 0; step < 2; ++step) {
    QTest::keyClick(view()->keyView(), Qt::Key_Right);
    area->update();
    settle();
  }
  EXPECT_EQ(area->paints, 0);
  QTest::keyClick(view()->keyView(), Qt::Key_Escape);
  settle();
  EXPECT_EQ(area->paints, 1);
  mainWindow.hide();
  delete area;
}

TEST_F(SlideshowWindowPresenterTest, EscapeInAnotherWindowIsLeftAlone) {
  startSlideshow();
  mainWindow.show();
  settle();
  QTest::keyClick(&mainWindow, Qt::Key_Escape);
  settle();
  EXPECT_EQ(shownWindows().size(), 1U);
  EXPECT_TRUE(store->presentation().isSlideshowPresented());
  mainWindow.hide();
}

}  // namespace
}  // namespace lorvex::ui::testing
