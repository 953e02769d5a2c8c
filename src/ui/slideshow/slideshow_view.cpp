#include "ui/slideshow/slideshow_view.h"

#include <QApplication>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHideEvent>
#include <QPropertyAnimation>

#include "store/context/store_context.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/projections/store_projections.h"
#include "store/results/results_model.h"
#include "store/review/review_model.h"
#include "ui/common/animations.h"
#include "ui/common/local_image_loader.h"
#include "ui/common/mouse_activity_reader.h"
#include "ui/common/plain_text.h"
#include "ui/slideshow/slideshow_floating_controls.h"
#include "ui/slideshow/slideshow_image_decoding.h"
#include "ui/slideshow/slideshow_image_strip.h"
#include "ui/slideshow/slideshow_key_view.h"

namespace lorvex::ui {

SlideshowView::SlideshowView(SlideshowModels models, std::function<void()> closeAction,
                             FeedbackOverlayFactory feedbackOverlay, const AppLocalization* localization,
                             LocalImageLoader* loader, QWidget* parent)
    : QWidget(parent),
      models_(models),
      closeAction_(std::move(closeAction)),
      localization_(localization != nullptr ? *localization : AppLocalization::live()) {
  setObjectName(qtText(accessibility_id::kSlideshowView));
  // Black comes from the strip, which covers the whole view; the palette stays the application's,
  // so the banner and other children keep their own colours.

  strip_ = new SlideshowImageStrip(loader != nullptr ? *loader : slideshowImageLoader(), localization_, this);
  StoreContext* context = &models_.context;
  strip_->dragPayload = [context](const ImageRecord& record) -> std::optional<ImageDragPayload> {
    // The service of the moment the drag begins: the placeholder before launch offers nothing.
    const auto service = context->service();
    if (service == nullptr) return std::nullopt;
    return service->imageDragPayload(record);
  };

  const auto close = [this] {
    const auto action = closeAction_;
    if (action) action();
  };
  controls_ = new SlideshowFloatingControls(models_, close, localization_, this);
  controlsOpacity_ = new QGraphicsOpacityEffect(controls_);
  controlsOpacity_->setOpacity(0.0);
  controls_->setGraphicsEffect(controlsOpacity_);
  controls_->setAttribute(Qt::WA_TransparentForMouseEvents, true);
  controls_->installEventFilter(this);
  controlsFade_ = new QPropertyAnimation(controlsOpacity_, "opacity", this);
  controlsFade_->setEasingCurve(QEasingCurve::InOutQuad);
  connect(controlsFade_, &QPropertyAnimation::finished, this, [this] { controlsOpacityDidChange(); });
  connect(controlsOpacity_, &QGraphicsOpacityEffect::opacityChanged, this, [this] {
    if (controlsFade_->state() != QAbstractAnimation::Running) controlsOpacityDidChange();
  });

  if (feedbackOverlay) {
    overlay_ = feedbackOverlay(
        models_.review,
        [this] {
          models_.review.undoLastDeleteCandidateAction();
          revealControls();
        },
        this);
    if (overlay_ != nullptr && overlay_->parentWidget() != this) overlay_->setParent(this);
  }

  keyView_ = new SlideshowKeyView(this);
  SlideshowKeyCallbacks& keys = keyView_->callbacks;
  ReviewModel* review = &models_.review;
  ResultsModel* results = &models_.results;
  ImageLibraryPresentationState* presentation = &models_.presentation;
  const StoreProjections* projections = &models_.projections;
  keys.onPrevious = [review] { review->showPreviousSlideshowImages(); };
  keys.onNext = [context, review] {
    context->startDetached([review] { return review->showNextSlideshowImages(); });
  };
  keys.onTogglePlayback = [results] { results->toggleSlideshowPlayback(); };
  keys.onIncreaseVisibleCount = [presentation] { presentation->increaseSlideshowVisibleCount(); };
  keys.onDecreaseVisibleCount = [presentation] { presentation->decreaseSlideshowVisibleCount(); };
  keys.onIncreaseInterval = [presentation] {
    presentation->setSlideshowIntervalSeconds(
        normalizeInterval(presentation->slideshowIntervalSeconds() + kSlideshowIntervalStepSeconds));
  };
  keys.onDecreaseInterval = [presentation] {
    presentation->setSlideshowIntervalSeconds(
        normalizeInterval(presentation->slideshowIntervalSeconds() - kSlideshowIntervalStepSeconds));
  };
  keys.onToggleFavorite = [projections, review] {
    if (!projections->canReviewFocusedRecordInSlideshow()) return false;
    review->toggleFocusedRecordFavorite();
    return true;
  };
  keys.onToggleDeleteCandidate = [projections, review] {
    if (!projections->canReviewFocusedRecordInSlideshow()) return false;
    review->toggleFocusedRecordDeleteCandidate();
    return true;
  };
  keys.onUndoDeleteCandidate = [review] {
    if (!review->canUndoDeleteCandidateAction()) return false;
    review->undoLastDeleteCandidateAction();
    return true;
  };
  keys.onRevealControls = [this] { revealControls(); };
  keys.onClose = close;

  activityReader_ = new MouseActivityReader(this);
  connect(activityReader_, &MouseActivityReader::activity, this, [this] { revealControls(); });
  strip_->onPressed = [this] { keyView_->setFocus(Qt::MouseFocusReason); };

  connect(&models_.projections, &StoreProjections::derivedValuesChanged, this, [this] {
    refreshImages();
    refreshControls();
  });
  connect(&models_.results.selection(), &ResultSelection::primaryPathChanged, this, [this] {
    restartAutoAdvance();
    loadNextPageForFocus();
  });
  connect(&models_.results.resultWindow(), &SearchResultWindow::recordsChanged, this,
          [this] { recordsDidChange(); });
  connect(qApp, &QApplication::focusChanged, this, [this] { focusDidChange(); });
  connectPresentation();
  lastRecordCount_ = models_.results.resultWindow().records().size();

  refreshImages();
  placeChildren();
}

SlideshowView::~SlideshowView() {
  stepStop_.request_stop();
  // Nothing may reach this view while its children go: focus moving away from a deleted control
  // and the bar's last events would otherwise call into members already destroyed.
  disconnect(qApp, nullptr, this, nullptr);
  controls_->removeEventFilter(this);
  disconnect(activityReader_, nullptr, this, nullptr);
  disconnect(&models_.projections, nullptr, this, nullptr);
  disconnect(&models_.results.selection(), nullptr, this, nullptr);
  disconnect(&models_.results.resultWindow(), nullptr, this, nullptr);
  for (const auto& connection : presentationConnections_) disconnect(connection);
  hideControlsTask_.cancel();
  autoAdvanceTask_.cancel();
}

void SlideshowView::connectPresentation() {
  for (const auto& connection : presentationConnections_) disconnect(connection);
  presentationConnections_.clear();
  ImageLibraryPresentationState* presentation = &models_.presentation;
  const auto restart = [this] {
    refreshControls();
    restartAutoAdvance();
  };
  presentationConnections_ = {
      connect(presentation, &ImageLibraryPresentationState::slideshowIntervalSecondsChanged, this, restart),
      connect(presentation, &ImageLibraryPresentationState::slideshowVisibleCountChanged, this,
              [this] {
                refreshImages();
                refreshControls();
                restartAutoAdvance();
              }),
      connect(presentation, &ImageLibraryPresentationState::isSlideshowPlayingChanged, this, restart),
      connect(presentation, &ImageLibraryPresentationState::isSlideshowPresentedChanged, this,
              [this] { keyView_->setEnabledForKeys(models_.presentation.isSlideshowPresented()); }),
  };
  keyView_->setEnabledForKeys(presentation->isSlideshowPresented());
}

bool SlideshowView::areControlsPinned() const {
  return areSlideshowControlsPinned(isPointerOverControls_, focusedControl_, accessibilityFocusedControl_);
}

bool SlideshowView::isAutoAdvancePending() const {
  return static_cast<bool>(autoAdvanceTask_) && !autoAdvanceTask_.isFinished() &&
         !autoAdvanceTask_.isCancelled();
}

bool SlideshowView::mayAutoAdvance() const {
  const auto& presentation = models_.presentation;
  return maySlideshowAutoAdvance(presentation.isSlideshowPresented(), presentation.isSlideshowPlaying(),
                                 models_.results.resultWindow().records().size(), areControlsPinned());
}

// ---- Controls ----

void SlideshowView::setControlsShown(bool shown) {
  controlsVisible_ = shown;
  controls_->setAttribute(Qt::WA_TransparentForMouseEvents, !shown);
  const qreal target = shown ? 1.0 : 0.0;
  if (controlsOpacity_->opacity() == target && controlsFade_->state() != QAbstractAnimation::Running) {
    controlsOpacityDidChange();
    return;
  }
  controlsFade_->stop();
  controlsOpacity_->setEnabled(true);
  controlsFade_->setDuration(animationDurationMs(shown ? kRevealSeconds : kHideSeconds));
  controlsFade_->setStartValue(controlsOpacity_->opacity());
  controlsFade_->setEndValue(target);
  controlsFade_->start();
  if (controlsFade_->duration() == 0) controlsOpacity_->setOpacity(target);
}

void SlideshowView::controlsOpacityDidChange() {
  // An effect renders its widget through an offscreen pixmap at every repaint: a fully shown bar
  // paints directly. A hidden one stays (at opacity 0, drawn as nothing) so Tab still reaches it.
  const bool fading = controlsFade_->state() == QAbstractAnimation::Running;
  controlsOpacity_->setEnabled(fading || controlsOpacity_->opacity() < 1.0);
}

void SlideshowView::showControlsPersistently() {
  hideControlsTask_.cancel();
  hideControlsTask_ = {};
  unsetCursor();
  setControlsShown(true);
}

void SlideshowView::revealControls() {
  if (areControlsPinned()) {
    showControlsPersistently();
    return;
  }
  unsetCursor();
  setControlsShown(true);
  hideControlsTask_.cancel();
  hideControlsTask_ = startStoreTask(scope_, [this](std::stop_token stop) { return runControlsHide(stop); });
}

QCoro::Task<void> SlideshowView::runControlsHide(std::stop_token stop) {
  auto frame = co_await scope_.enter();
  const bool slept = co_await models_.context.clock().sleep(kSlideshowControlsHideDelayNanoseconds, stop);
  if (!slept || stop.stop_requested()) co_return;
  hideControlsAfterQuiet();
}

void SlideshowView::hideControlsAfterQuiet() {
  if (!models_.presentation.isSlideshowPresented() || areControlsPinned()) return;
  // The pointer hides until it moves: the next movement is activity, which shows it again.
  setCursor(Qt::BlankCursor);
  setControlsShown(false);
}

void SlideshowView::pointerEnteredControls() {
  isPointerOverControls_ = true;
  showControlsPersistently();
  stopAutoAdvance();
}

void SlideshowView::pointerLeftControls() {
  isPointerOverControls_ = false;
  revealControls();
  restartAutoAdvance();
}

void SlideshowView::focusDidChange() {
  // Focus as this window keeps it, whether or not the window is active.
  const QWidget* focus = window() != nullptr ? window()->focusWidget() : nullptr;
  const std::optional<SlideshowControlFocus> control =
      focus != nullptr && controls_->isAncestorOf(focus) ? controls_->controlOf(focus) : std::nullopt;
  if (control == focusedControl_) return;
  focusedControl_ = control;
  if (!focusedControl_ && !accessibilityFocusedControl_) {
    revealControls();
    restartAutoAdvance();
  } else {
    showControlsPersistently();
    stopAutoAdvance();
  }
}

// ---- Auto-advance ----

void SlideshowView::stopAutoAdvance() {
  autoAdvanceTask_.cancel();
  autoAdvanceTask_ = {};
}

void SlideshowView::restartAutoAdvance() {
  stopAutoAdvance();
  // The step that is running arms the next countdown as it ends.
  if (stepInFlight_ || !didAppear_ || !mayAutoAdvance()) return;
  const std::int64_t delay =
      slideshowAutoAdvanceDelayNanoseconds(models_.presentation.slideshowIntervalSeconds());
  autoAdvanceTask_ = startStoreTask(
      scope_, [this, delay](std::stop_token stop) { return runAutoAdvanceCountdown(delay, stop); });
}

QCoro::Task<void> SlideshowView::runAutoAdvanceCountdown(std::int64_t delay, std::stop_token stop) {
  auto frame = co_await scope_.enter();
  const bool slept = co_await models_.context.clock().sleep(delay, stop);
  if (!slept || stop.stop_requested() || !mayAutoAdvance()) co_return;
  // The step belongs to the review (it may load a page): a countdown restarted meanwhile must not
  // cut it short, and the view may go before it ends.
  stepInFlight_ = true;
  ReviewModel* review = &models_.review;
  const QPointer<SlideshowView> self(this);
  const std::stop_token stepStop = stepStop_.get_token();
  models_.context.startDetached(
      [review, self, stepStop] { return runAutoAdvanceStep(review, self, stepStop); });
}

QCoro::Task<void> SlideshowView::runAutoAdvanceStep(ReviewModel* review, QPointer<SlideshowView> view,
                                                    std::stop_token stop) {
  co_await review->showNextSlideshowImages(stop);
  if (view != nullptr) view->autoAdvanceStepEnded();
}

void SlideshowView::autoAdvanceStepEnded() {
  stepInFlight_ = false;
  restartAutoAdvance();
}

// ---- Model changes ----

void SlideshowView::recordsDidChange() {
  const std::size_t count = models_.results.resultWindow().records().size();
  if (count == lastRecordCount_) return;
  lastRecordCount_ = count;
  restartAutoAdvance();
}

void SlideshowView::refreshImages() {
  const auto& records = models_.results.resultWindow().records();
  std::vector<RecordRef> shown;
  for (const int index : models_.results.slideshowVisibleRecordIndices()) {
    if (index >= 0 && static_cast<std::size_t>(index) < records.size()) shown.push_back(records[index]);
  }
  strip_->setRecords(std::move(shown));
}

void SlideshowView::refreshControls() {
  controls_->refresh();
  placeChildren();
}

void SlideshowView::loadNextPageForFocus() {
  const RecordRef record = models_.results.selectedRecord();
  std::optional<std::string> path;
  if (record != nullptr) path = record->file.path;
  ResultsModel* results = &models_.results;
  models_.context.startDetached([results, path] { return results->loadNextPageIfNeeded(path); });
}

// ---- Widget events ----

void SlideshowView::placeChildren() {
  strip_->setGeometry(rect());
  controls_->adjustSize();
  const QSize bar = controls_->size();
  controls_->move((width() - bar.width()) / 2, height() - kControlsBottomMargin - bar.height());
  keyView_->setGeometry(rect());
  activityReader_->setGeometry(rect());
  strip_->lower();
  controls_->raise();
  if (overlay_ != nullptr) overlay_->raise();
  keyView_->raise();
  activityReader_->raise();
}

void SlideshowView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (didAppear_) return;
  didAppear_ = true;
  placeChildren();
  revealControls();
  restartAutoAdvance();
  loadNextPageForFocus();
}

void SlideshowView::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (event->spontaneous()) return;
  hideControlsTask_.cancel();
  stopAutoAdvance();
  unsetCursor();
  didAppear_ = false;
}

void SlideshowView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placeChildren();
}

bool SlideshowView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == controls_) {
    switch (event->type()) {
      case QEvent::Enter:
        pointerEnteredControls();
        break;
      case QEvent::Leave:
        pointerLeftControls();
        break;
      case QEvent::LayoutRequest:
      case QEvent::Resize:
        if (event->type() == QEvent::Resize) placeChildren();
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace lorvex::ui
