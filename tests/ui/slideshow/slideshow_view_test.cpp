// The slideshow view over a real folder of PNGs, on the fake clock: auto-advance and what holds
// it, the controls' fade and the pointer, the keyboard and the controls' own keys, review marks and
// their undo, the images shown.
#include <QAbstractButton>
#include <QApplication>
#include <QEnterEvent>
#include <QFile>
#include <QPaintEvent>
#include <QRegion>
#include <QTest>
#include <algorithm>
#include <set>

#include "slideshow_fixture.h"
#include "ui/common/local_image_view.h"
#include "ui/slideshow/slideshow_image_strip.h"
#include "ui/slideshow/slideshow_key_view.h"
#include "ui/slideshow/slideshow_stepper_control.h"
#include "ui/support/painted_region_recorder.h"

namespace lorvex::ui::testing {
namespace {

class SlideshowViewTest : public SlideshowFixture {
 public:
  void pressKey(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = view()->window()->focusWidget();
    QTest::keyClick(target != nullptr ? target : view()->window(), static_cast<Qt::Key>(key), modifiers);
    settle();
  }
  void hoverControls(bool entering) {
    QWidget* bar = view()->floatingControls();
    if (entering) {
      QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), bar->mapToGlobal(QPointF(5, 5)));
      QApplication::sendEvent(bar, &enter);
    } else {
      QEvent leave(QEvent::Leave);
      QApplication::sendEvent(bar, &leave);
    }
    settle();
  }
  int serviceCalls(const char* name) const { return static_cast<int>(harness.service->calls(name).size()); }
};

TEST_F(SlideshowViewTest, PlayingStepsByTheVisibleCountOneIntervalAfterTheLastChange) {
  for (const int count : {1, 3}) {
    SCOPED_TRACE(count);
    loadResults();
    store->results().selection().selectSingle(path(0));
    startSlideshow(count);
    ASSERT_TRUE(store->presentation().isSlideshowPlaying());
    ASSERT_EQ(focusIndex(), 0);
    advance(2.999);
    EXPECT_EQ(focusIndex(), 0);
    advance(0.001);
    EXPECT_EQ(focusIndex(), count);
    // The step changed the focus: the next countdown starts from it.
    advance(2.999);
    EXPECT_EQ(focusIndex(), count);
    advance(0.001);
    EXPECT_EQ(focusIndex(), 2 * count);
    store->results().dismissSlideshow();
    settle();
  }
}

TEST_F(SlideshowViewTest, HoverAndControlFocusHoldTheCountdownAndLeavingRestartsItFromZero) {
  loadResults();
  startSlideshow();
  advance(2.0);
  hoverControls(true);
  EXPECT_TRUE(view()->controlsVisible());
  advance(10.0);
  EXPECT_EQ(focusIndex(), 0) << "no step while the pointer is over the controls";
  EXPECT_TRUE(view()->controlsVisible()) << "the controls stay while hovered";
  hoverControls(false);
  advance(2.9);
  EXPECT_EQ(focusIndex(), 0);
  advance(0.1);
  EXPECT_EQ(focusIndex(), 1);

  advance(1.0);
  auto* next = named<QAbstractButton>("slideshow.next");
  next->setFocus(Qt::TabFocusReason);
  settle();
  EXPECT_EQ(view()->focusedControl(), SlideshowControlFocus::next);
  advance(10.0);
  EXPECT_EQ(focusIndex(), 1) << "no step while a control has focus";
  EXPECT_TRUE(view()->controlsVisible());
  view()->keyView()->setFocus(Qt::OtherFocusReason);
  settle();
  EXPECT_EQ(view()->focusedControl(), std::nullopt);
  advance(2.9);
  EXPECT_EQ(focusIndex(), 1);
  advance(0.1);
  EXPECT_EQ(focusIndex(), 2);
}

TEST_F(SlideshowViewTest, AStepThatChangesNothingStillArmsTheNextOne) {
  // Two records at two a time: a step wraps onto the same focus.
  setLibrary(2);
  loadResults();
  startSlideshow(2);
  const int steps = serviceCalls("searchImages");
  advance(3.0);
  EXPECT_EQ(focusIndex(), 0);
  EXPECT_TRUE(view()->isAutoAdvancePending());
  advance(3.0);
  EXPECT_TRUE(view()->isAutoAdvancePending());
  EXPECT_EQ(serviceCalls("searchImages"), steps) << "a complete list loads nothing";
}

TEST_F(SlideshowViewTest, AFailedPageLoadIsTriedAgainOnTheNextStep) {
  // Two of ten loaded: a step of two passes the loaded end and needs the next page, which fails.
  harness.service->setAnswer("searchImages", [this](const lorvex::testing::ServiceCall& call) -> std::any {
    if (call.query && call.query->offset > 0) throw std::runtime_error("the disk went away");
    return harness.service->libraryAnswer(*call.query);
  });
  loadResults(2);
  ASSERT_EQ(store->results().resultWindow().records().size(), 2U);
  startSlideshow(2);
  const int before = serviceCalls("searchImages");
  advance(3.0);
  EXPECT_EQ(focusIndex(), 0);
  const int afterFirst = serviceCalls("searchImages");
  EXPECT_GT(afterFirst, before);
  advance(3.0);
  EXPECT_GT(serviceCalls("searchImages"), afterFirst) << "playback went on after the failed step";
  EXPECT_TRUE(view()->isAutoAdvancePending());
}

TEST_F(SlideshowViewTest, FewerThanTwoRecordsNeverAdvance) {
  setLibrary(1);
  loadResults();
  startSlideshow();
  advance(30.0);
  EXPECT_FALSE(view()->isAutoAdvancePending());
  EXPECT_EQ(focusIndex(), 0);
}

TEST_F(SlideshowViewTest, ControlsHideAfterTwoQuietSecondsWithThePointerAndComeBackOnMovement) {
  loadResults();
  startSlideshow();
  store->presentation().setIsSlideshowPlaying(false);
  settle();
  auto* bar = view()->floatingControls();
  EXPECT_TRUE(view()->controlsVisible());
  EXPECT_FALSE(bar->testAttribute(Qt::WA_TransparentForMouseEvents));
  advance(1.9);
  EXPECT_TRUE(view()->controlsVisible());
  advance(0.1);
  EXPECT_FALSE(view()->controlsVisible());
  EXPECT_TRUE(bar->testAttribute(Qt::WA_TransparentForMouseEvents)) << "a hidden bar takes no clicks";
  EXPECT_EQ(view()->cursor().shape(), Qt::BlankCursor);

  QTest::mouseMove(view(), QPoint(200, 200));
  settle();
  EXPECT_TRUE(view()->controlsVisible());
  EXPECT_NE(view()->cursor().shape(), Qt::BlankCursor);
  advance(2.0);
  EXPECT_FALSE(view()->controlsVisible());

  // A key that reveals re-arms the two seconds; one that does not leaves them hidden.
  pressKey(Qt::Key_Right);
  EXPECT_FALSE(view()->controlsVisible());
  pressKey(Qt::Key_Up);
  EXPECT_TRUE(view()->controlsVisible());
  EXPECT_EQ(store->presentation().slideshowVisibleCount(), 2);
}

TEST_F(SlideshowViewTest, KeysDriveTheStoreAndPassOnWhatItRefuses) {
  loadResults();
  startSlideshow();
  ASSERT_EQ(view()->window()->focusWidget(), view()->keyView());
  pressKey(Qt::Key_Space);
  EXPECT_FALSE(store->presentation().isSlideshowPlaying());
  pressKey(Qt::Key_Right);
  EXPECT_EQ(focusIndex(), 1);
  pressKey(Qt::Key_Left);
  EXPECT_EQ(focusIndex(), 0);
  pressKey(Qt::Key_Up, Qt::AltModifier | Qt::KeypadModifier);
  EXPECT_EQ(store->presentation().slideshowIntervalSeconds(), 3.5);
  store->presentation().setSlideshowIntervalSeconds(60);
  pressKey(Qt::Key_Up, Qt::AltModifier);
  EXPECT_EQ(store->presentation().slideshowIntervalSeconds(), 60);
  pressKey(Qt::Key_Down);
  EXPECT_EQ(store->presentation().slideshowVisibleCount(), 1);

  // One image: "f" marks it and the button follows.
  pressKey(Qt::Key_F);
  EXPECT_EQ(serviceCalls("updateReviewStates") + serviceCalls("updateReviewState"), 1);
  EXPECT_TRUE(store->results().selectedRecord()->reviewState.favorite);
  EXPECT_TRUE(named<FloatingToolbarButton>("slideshow.favorite")->isActive());

  // Two images: both review buttons are disabled and the letters do nothing.
  pressKey(Qt::Key_Up);
  EXPECT_FALSE(named<QWidget>("slideshow.favorite")->isEnabled());
  EXPECT_FALSE(named<QWidget>("slideshow.deleteCandidate")->isEnabled());
  pressKey(Qt::Key_F);
  pressKey(Qt::Key_D);
  EXPECT_EQ(serviceCalls("updateReviewStates") + serviceCalls("updateReviewState"), 1);
  EXPECT_TRUE(store->results().selectedRecord()->reviewState.favorite);
  EXPECT_FALSE(store->results().selectedRecord()->reviewState.deleteCandidate);
}

TEST_F(SlideshowViewTest, CtrlZUndoesAMarkMadeInTheSlideshow) {
  loadResults();
  startSlideshow();
  pressKey(Qt::Key_Right);
  const std::string marked = path(1);
  ASSERT_EQ(store->results().selection().primaryPath(), marked);
  pressKey(Qt::Key_D);
  // Marked: it leaves the normal results and the focus moves on.
  EXPECT_NE(store->results().selection().primaryPath(), marked);
  EXPECT_EQ(store->results().resultWindow().records().size(), 9U);
  ASSERT_TRUE(store->review().canUndoDeleteCandidateAction());

  pressKey(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(store->results().resultWindow().records().size(), 10U);
  EXPECT_EQ(store->results().selection().primaryPath(), marked);
  EXPECT_FALSE(store->results().selectedRecord()->reviewState.deleteCandidate);
  for (const auto& record : harness.service->records()) {
    EXPECT_FALSE(record.reviewState.deleteCandidate) << record.file.path;
  }
  EXPECT_FALSE(store->review().canUndoDeleteCandidateAction());
  // Nothing left to undo: the key passes on and changes nothing.
  pressKey(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(store->results().resultWindow().records().size(), 10U);
}

TEST_F(SlideshowViewTest, TheBannersUndoRestoresAndRevealsTheControls) {
  loadResults();
  startSlideshow();
  store->presentation().setIsSlideshowPlaying(false);
  settle();
  QWidget* overlay = named<QWidget>("test.feedbackOverlay");
  ASSERT_NE(overlay, nullptr);
  EXPECT_EQ(overlay->parentWidget(), view());
  // Above the images and the bar.
  const auto siblings = view()->children();
  EXPECT_GT(siblings.indexOf(overlay), siblings.indexOf(view()->floatingControls()));
  EXPECT_GT(siblings.indexOf(overlay), siblings.indexOf(view()->imageStrip()));
  pressKey(Qt::Key_D);
  ASSERT_EQ(store->results().resultWindow().records().size(), 9U);
  advance(2.0);
  ASSERT_FALSE(view()->controlsVisible());
  ASSERT_TRUE(overlayUndo);
  overlayUndo();
  settle();
  EXPECT_EQ(store->results().resultWindow().records().size(), 10U);
  EXPECT_TRUE(view()->controlsVisible());
}

TEST_F(SlideshowViewTest, AFocusedStepperTakesUpAndDownItself) {
  loadResults();
  startSlideshow();
  auto* interval = named<StepperControl>("slideshow.interval");
  auto* count = named<StepperControl>("slideshow.visibleCount");
  ASSERT_NE(interval, nullptr);
  ASSERT_NE(count, nullptr);
  interval->setFocus(Qt::TabFocusReason);
  settle();
  pressKey(Qt::Key_Up);
  EXPECT_EQ(store->presentation().slideshowIntervalSeconds(), 3.5);
  EXPECT_EQ(store->presentation().slideshowVisibleCount(), 1) << "the key view stood aside";
  pressKey(Qt::Key_Down);
  pressKey(Qt::Key_Down);
  EXPECT_EQ(store->presentation().slideshowIntervalSeconds(), 2.5);
  // Space is the bar's playback shortcut, focused control or not.
  const bool playing = store->presentation().isSlideshowPlaying();
  pressKey(Qt::Key_Space);
  EXPECT_NE(store->presentation().isSlideshowPlaying(), playing);

  count->setFocus(Qt::TabFocusReason);
  settle();
  pressKey(Qt::Key_Down);
  EXPECT_EQ(store->presentation().slideshowVisibleCount(), 1) << "the stepper stops at its bound";
  EXPECT_FALSE(count->decrementButton()->isEnabled());
  for (int i = 0; i < 7; ++i) pressKey(Qt::Key_Up);
  EXPECT_EQ(store->presentation().slideshowVisibleCount(), 6);
  EXPECT_FALSE(count->incrementButton()->isEnabled());
  count->decrementButton()->click();
  settle();
  EXPECT_EQ(store->presentation().slideshowVisibleCount(), 5);
}

TEST_F(SlideshowViewTest, SpaceFAndDActOncePerPressFromEveryControlTabReaches) {
  loadResults();
  startSlideshow();
  const auto marks = [this] {
    return serviceCalls("updateReviewStates") + serviceCalls("updateReviewState");
  };
  const auto focusedControl = [this] {
    return view()->floatingControls()->controlOf(view()->window()->focusWidget());
  };
  std::set<SlideshowControlFocus> reached;
  for (int tab = 0; tab < 12; ++tab) {
    pressKey(Qt::Key_Tab);
    const auto control = focusedControl();
    // Once round the bar: each control is tried once.
    if (!control || !reached.insert(*control).second) continue;
    const bool playing = store->presentation().isSlideshowPlaying();
    const bool favorite = store->results().selectedRecord()->reviewState.favorite;
    const int before = marks();
    pressKey(Qt::Key_Space);
    pressKey(Qt::Key_F);
    const std::string marked = *store->results().selection().primaryPath();
    pressKey(Qt::Key_D);
    EXPECT_NE(store->presentation().isSlideshowPlaying(), playing) << int(*control);
    EXPECT_EQ(marks(), before + 2) << int(*control);
    const auto records = harness.service->records();
    const auto record = std::find_if(records.begin(), records.end(),
                                     [&](const ImageRecord& r) { return r.file.path == marked; });
    ASSERT_NE(record, records.end());
    EXPECT_NE(record->reviewState.favorite, favorite) << int(*control);
    EXPECT_TRUE(record->reviewState.deleteCandidate) << int(*control);
    EXPECT_EQ(focusedControl(), control) << "the control keeps the focus";
  }
  EXPECT_EQ(reached.size(), 8U);

  // Two images at once: the review buttons are disabled, and so are their keys.
  store->presentation().setSlideshowVisibleCount(2);
  settle();
  named<QWidget>("slideshow.next")->setFocus(Qt::TabFocusReason);
  settle();
  const int before = marks();
  pressKey(Qt::Key_F);
  pressKey(Qt::Key_D);
  EXPECT_EQ(marks(), before);
}

TEST_F(SlideshowViewTest, TheStripShowsTheVisibleRecordsDecodedAndTheBarTheirPosition) {
  loadResults();
  startSlideshow(4);
  store->presentation().setIsSlideshowPlaying(false);
  settle();
  pressKey(Qt::Key_Right);
  auto* strip = view()->imageStrip();
  ASSERT_EQ(strip->records().size(), 4U);
  EXPECT_EQ(strip->layout().cells.size(), 4U);
  const auto views = strip->imageViews();
  ASSERT_EQ(views.size(), 4U);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(views[i]->request().path, path(4 + i));
    EXPECT_EQ(views[i]->displayedPath(), path(4 + i));
    EXPECT_FALSE(views[i]->displayedImage().isNull());
    // Decoded at the size it is shown: painting it needs no scaling.
    const QRect shownAt = views[i]->geometry();
    EXPECT_EQ(views[i]->displayedImage().size(), shownAt.size());
    EXPECT_LE(std::abs(QRectF(shownAt).center().x() - strip->layout().cells[i].frame.center().x()), 1.0);
    EXPECT_LE(std::abs(QRectF(shownAt).center().y() - strip->layout().cells[i].frame.center().y()), 1.0);
  }
  EXPECT_EQ(named<QLabel>("slideshow.position")->text(), QStringLiteral("5-8 / 10"));
  EXPECT_GE(named<QLabel>("slideshow.position")->width(), SlideshowFloatingControls::kPositionMinimumWidth);
  // Past the end of the complete list the group wraps to the start.
  pressKey(Qt::Key_Right);
  EXPECT_EQ(strip->records().size(), 4U);
  EXPECT_EQ(strip->records()[2]->file.path, path(0));
  EXPECT_EQ(named<QLabel>("slideshow.position")->text(), QStringLiteral("9-2 / 10"));

  // A drag offers what the library's service hands out for the record, asked when it begins.
  harness.service->setAnswer("imageDragPayload", [](const lorvex::testing::ServiceCall& call) -> std::any {
    return std::optional<ImageDragPayload>(ImageDragPayload{call.paths.at(0)});
  });
  const auto payload = strip->dragPayload(*strip->records()[1]);
  ASSERT_TRUE(payload.has_value());
  EXPECT_EQ(payload->fileURL, path(9));
}

// Each image view paints the black around its image itself and is opaque, so the strip is painted
// only where no view lies: never filled under an image first, whatever the view shows.
TEST_F(SlideshowViewTest, TheStripIsNeverPaintedUnderAnImage) {
  const struct {
    std::string name;
    int visible;
    bool unreadable;  // the first file removed: its view shows the failure symbol
    bool enlarged;    // the image is smaller than its frame and shown enlarged
  } cases[] = {
      // First: the memory cache would still hold the image of the file once shown.
      {"a file that cannot be read", 1, true, false},
      {"one image, enlarged into its frame", 1, false, true},
      {"four images, each decoded at its size", 4, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.unreadable) {
      ASSERT_TRUE(QFile::remove(QString::fromStdString(path(0))));
    }
    loadResults();
    startSlideshow(c.visible);
    store->presentation().setIsSlideshowPlaying(false);
    settle();
    SlideshowImageStrip* strip = view()->imageStrip();
    const auto views = strip->imageViews();
    ASSERT_EQ(views.size(), static_cast<std::size_t>(c.visible));
    EXPECT_EQ(views[0]->displayedImage().isNull(), c.unreadable);
    if (!c.unreadable) {
      // An image smaller than its frame comes decoded at the size it is shown at, like the others:
      // the view paints it once, unscaled.
      const QImage shownImage = views[0]->displayedImage();
      const QSizeF shownSize = localImageTargetRect(shownImage.size(), views[0]->rect(),
                                                    LocalImageView::ContentMode::fit, Qt::AlignCenter)
                                   .size() *
                               views[0]->devicePixelRatioF();
      EXPECT_EQ(shownSize.toSize(), shownImage.size());
      const auto& records = strip->records();
      const auto shown = std::find_if(records.begin(), records.end(), [&](const RecordRef& record) {
        return views[0]->displayedPath() == record->file.path;
      });
      ASSERT_NE(shown, records.end());
      EXPECT_EQ(shownImage.width() > (*shown)->metadata.width.value_or(0), c.enlarged);
    }

    PaintedRegionRecorder recorder;
    strip->installEventFilter(&recorder);
    strip->repaint();
    strip->removeEventFilter(&recorder);
    EXPECT_FALSE(recorder.painted.isEmpty());  // the black between and around the images
    for (const LocalImageView* shown : views) {
      EXPECT_FALSE(recorder.painted.intersects(shown->geometry()));
    }
    // Around the images all is black, the strip's and the views' own.
    const QImage shot = strip->grab().toImage();
    for (const QRect& part : recorder.painted) {
      EXPECT_EQ(shot.pixelColor(part.topLeft()), QColor(Qt::black));
    }
    if (c.unreadable) {
      EXPECT_EQ(shot.pixelColor(views[0]->geometry().topLeft()), QColor(Qt::black));
    }

    store->presentation().setIsSlideshowPresented(false);
    settle();
    if (c.unreadable) setLibrary(10);
  }
}

TEST_F(SlideshowViewTest, TheBarNamesEachControlAndFollowsPlayback) {
  loadResults();
  startSlideshow();
  for (const auto control : kAllSlideshowControlFocuses) {
    const std::string identifier(slideshowControlIdentifier(control));
    QWidget* widget = named<QWidget>(identifier.c_str());
    ASSERT_NE(widget, nullptr) << identifier;
    EXPECT_EQ(view()->floatingControls()->controlOf(widget), control);
  }
  auto* playback = named<FloatingToolbarButton>("slideshow.playback");
  EXPECT_EQ(playback->title(), QStringLiteral("slideshow.pause"));
  EXPECT_TRUE(playback->isActive());
  playback->click();
  settle();
  EXPECT_FALSE(store->presentation().isSlideshowPlaying());
  EXPECT_EQ(playback->title(), QStringLiteral("slideshow.play"));
  EXPECT_EQ(playback->systemImage(), "play.fill");
  // The bar floats 32 above the bottom edge, centred.
  const QRect bar = view()->floatingControls()->geometry();
  EXPECT_EQ(view()->height() - bar.bottom() - 1, SlideshowView::kControlsBottomMargin);
  EXPECT_LE(std::abs((view()->width() - bar.right() - 1) - bar.left()), 1);
}

}  // namespace
}  // namespace lorvex::ui::testing
