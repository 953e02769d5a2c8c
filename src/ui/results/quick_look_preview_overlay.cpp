#include "ui/results/quick_look_preview_overlay.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "store/concepts/tag_concepts_model.h"
#include "store/context/store_context.h"
#include "store/results/results_model.h"
#include "store/review/review_model.h"
#include "ui/common/animations.h"
#include "ui/common/clip_rect_painting.h"
#include "ui/common/floating_toolbar.h"
#include "ui/common/image_context_menu_model.h"
#include "ui/common/image_context_menu_widget.h"
#include "ui/common/image_drag.h"
#include "ui/common/local_image_load_request.h"
#include "ui/common/local_image_view.h"
#include "ui/common/mouse_activity_reader.h"
#include "ui/common/plain_text.h"
#include "ui/common/reveal_in_file_manager.h"

namespace lorvex::ui {
namespace {

constexpr int kImagePadding = 24;
constexpr int kControlsInset = 28;
constexpr int kControlsPadding = 12;
constexpr int kControlsSpacing = 12;
constexpr double kControlsCornerRadius = 15;
constexpr double kBackdropOpacity = 0.92;

// The path a "file://" URL names, its percent-escapes decoded byte for byte (paths need not be
// UTF-8).
std::string pathOfFileURL(const std::string& url) {
  constexpr std::string_view scheme = "file://";
  const std::string_view encoded =
      url.rfind(scheme, 0) == 0 ? std::string_view(url).substr(scheme.size()) : std::string_view(url);
  return QByteArray::fromPercentEncoding(QByteArray(encoded.data(), static_cast<qsizetype>(encoded.size())))
      .toStdString();
}

// The capsule behind the two controls: a dark translucent rounded rectangle, drawn once per size
// and then copied (it is drawn again over every new image).
class ControlsCapsule : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    const qreal ratio = devicePixelRatioF();
    if (shape_.size() != size() * ratio) {
      shape_ = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
      shape_.setDevicePixelRatio(ratio);
      shape_.fill(Qt::transparent);
      QPainter painter(&shape_);
      painter.setRenderHint(QPainter::Antialiasing);
      QPainterPath path;
      path.addRoundedRect(QRectF(rect()), kControlsCornerRadius, kControlsCornerRadius);
      painter.fillPath(path, QColor(40, 40, 40, 200));
    }
    QPainter painter(this);
    paintPerClipRect(painter, rect(), [&] { painter.drawImage(QPoint(0, 0), shape_); });
  }

 private:
  QImage shape_;
};

// Paints into `painter` what the window shows under `widget` within `region` (`widget`'s
// coordinates; `widget`'s origin lands at `at`): from the window down to `widget`'s parent, each
// one's own painting and then its children stacked below the next one, as the window draws them.
void renderUnder(const QWidget& widget, QPainter& painter, const QRegion& region, QPoint at) {
  std::vector<QWidget*> ancestors;
  for (QWidget* ancestor = widget.parentWidget(); ancestor != nullptr; ancestor = ancestor->parentWidget()) {
    ancestors.insert(ancestors.begin(), ancestor);
    if (ancestor->isWindow()) break;
  }
  const auto render = [&](QWidget& source, QWidget& ancestor, QWidget::RenderFlags flags) {
    // The region in `source`'s coordinates, and where they start in `widget`'s.
    const QPoint origin = &source == &ancestor ? -widget.mapTo(&ancestor, QPoint(0, 0))
                                               : source.pos() - widget.mapTo(&ancestor, QPoint(0, 0));
    const QRegion sourceRegion = region.translated(-origin) & source.rect();
    if (sourceRegion.isEmpty()) return;
    source.render(&painter, at + origin + sourceRegion.boundingRect().topLeft(), sourceRegion, flags);
  };
  for (std::size_t level = 0; level < ancestors.size(); ++level) {
    QWidget& ancestor = *ancestors[level];
    const QObject* next = level + 1 < ancestors.size() ? static_cast<const QObject*>(ancestors[level + 1])
                                                       : static_cast<const QObject*>(&widget);
    render(ancestor, ancestor, ancestor.isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
    for (QObject* object : ancestor.children()) {
      if (object == next) break;
      auto* below = qobject_cast<QWidget*>(object);
      if (below == nullptr || below->isWindow() || below->isHidden()) continue;
      render(*below, ancestor, QWidget::DrawChildren);
    }
  }
}

// Runs `action` on the overlay after `delay` of the context's clock, unless stopped first.
QCoro::Task<void> afterDelay(StoreContext* context, QPointer<QuickLookPreviewOverlay> overlay,
                             std::stop_token stop, std::int64_t delay,
                             std::function<void(QuickLookPreviewOverlay&)> action) {
  auto frame = co_await context->scope().enter();
  const bool slept = co_await context->clock().sleep(delay, stop);
  if (!slept || stop.stop_requested() || overlay == nullptr) co_return;
  action(*overlay);
}

}  // namespace

QuickLookPreviewOverlay::QuickLookPreviewOverlay(ResultsModel& results, ReviewModel& review,
                                                 TagConceptsModel& concepts, StoreContext& context,
                                                 std::string fileURL, QuickLookPreviewActions actions,
                                                 QWidget* host, AppLocalization localizer,
                                                 LocalImageLoader& loader)
    : QWidget(host),
      results_(results),
      review_(review),
      concepts_(concepts),
      context_(context),
      actions_(std::move(actions)),
      localizer_(std::move(localizer)),
      host_(host) {
  setObjectName("quickLook.overlay");
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent, true);
  setAccessibleName(qtText(localizer_.lookup(AppLocalizationKey::imageAccessibilityLabel)));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kImagePadding, kImagePadding, kImagePadding, kImagePadding);
  image_ = new LocalImageView(this, true, loader, &localizer_);
  image_->setObjectName("quickLook.image");
  image_->setContentMode(LocalImageView::ContentMode::fit);
  image_->setBackgroundColor(Qt::black);
  image_->setOnDisplayedPathChange(
      [this](const std::optional<std::string>& path) { displayedImagePath_ = path; });
  image_->installEventFilter(this);
  layout->addWidget(image_);

  controls_ = new ControlsCapsule(this);
  controls_->setObjectName("quickLook.controls");
  auto* row = new QHBoxLayout(controls_);
  row->setContentsMargins(kControlsPadding, kControlsPadding, kControlsPadding, kControlsPadding);
  row->setSpacing(kControlsSpacing);
  startSlideshow_ = new FloatingToolbarButton(qtText(localizer_.lookup(AppLocalizationKey::slideshowStart)),
                                              "play.rectangle", controls_);
  startSlideshow_->setObjectName("quickLook.startSlideshow");
  close_ = new FloatingToolbarButton(qtText(localizer_.lookup(AppLocalizationKey::commonClose)),
                                     "xmark.circle", controls_);
  close_->setObjectName("quickLook.close");
  row->addWidget(startSlideshow_);
  row->addWidget(close_);
  connect(startSlideshow_, &QAbstractButton::clicked, this, [this] {
    if (actions_.startSlideshow) actions_.startSlideshow();
  });
  connect(close_, &QAbstractButton::clicked, this, [this] {
    if (actions_.dismiss) actions_.dismiss();
  });
  for (QWidget* watched : {static_cast<QWidget*>(controls_), static_cast<QWidget*>(startSlideshow_),
                           static_cast<QWidget*>(close_)}) {
    watched->installEventFilter(this);
  }
  controlsOpacity_ = new QGraphicsOpacityEffect(controls_);
  controlsOpacity_->setOpacity(0);
  controls_->setGraphicsEffect(controlsOpacity_);
  controls_->setAttribute(Qt::WA_TransparentForMouseEvents, true);
  fade_ = new QPropertyAnimation(controlsOpacity_, "opacity", this);
  fade_->setEasingCurve(QEasingCurve::InOutQuad);

  activity_ = new MouseActivityReader(this);
  activity_->setOnActivity([this] { revealControls(); });

  installEventFilter(this);
  if (host_ != nullptr) {
    host_->installEventFilter(this);
    setGeometry(host_->rect());
  }
  setFileURL(std::move(fileURL));
  connect(&results_.selection(), &ResultSelection::primaryPathChanged, this,
          &QuickLookPreviewOverlay::updateImage);
}

QuickLookPreviewOverlay::~QuickLookPreviewOverlay() {
  cancelHide();
  backdropRefreshStop_.request_stop();
  setHostOpaque(false);
  if (host_ != nullptr) host_->removeEventFilter(this);
}

void QuickLookPreviewOverlay::setFileURL(std::string fileURL) {
  fileURL_ = std::move(fileURL);
  path_ = pathOfFileURL(fileURL_);
  updateImage();
  if (isVisible()) scheduleBackdropRefresh();
}

RecordRef QuickLookPreviewOverlay::matchingRecord() const {
  RecordRef record = results_.selectedRecord();
  if (record == nullptr || record->file.path != path_) return nullptr;
  return record;
}

void QuickLookPreviewOverlay::updateImage() {
  const RecordRef record = matchingRecord();
  std::optional<std::string> cacheKey;
  if (record != nullptr) {
    cacheKey =
        localImageFileCacheKey(record->file.path, record->file.fileSize, record->file.modificationDate);
  }
  image_->setSource(path_, std::nullopt, std::move(cacheKey));
}

// ---- Controls ----

bool QuickLookPreviewOverlay::keepsControlsVisible() const {
  return isPointerOverControls_ || focusedControl_.has_value();
}

void QuickLookPreviewOverlay::setControlsVisible(bool visible, double seconds) {
  controlsVisible_ = visible;
  controls_->setAttribute(Qt::WA_TransparentForMouseEvents, !visible);
  const double target = visible ? 1.0 : 0.0;
  fade_->stop();
  const int duration = animationDurationMs(seconds);
  if (duration <= 0) {
    controlsOpacity_->setOpacity(target);
    return;
  }
  fade_->setDuration(duration);
  fade_->setStartValue(controlsOpacity_->opacity());
  fade_->setEndValue(target);
  fade_->start();
}

void QuickLookPreviewOverlay::showControlsPinned() {
  cancelHide();
  setControlsVisible(true, kFadeInSeconds);
}

void QuickLookPreviewOverlay::revealControls() {
  if (keepsControlsVisible()) {
    showControlsPinned();
    return;
  }
  setControlsVisible(true, kFadeInSeconds);
  cancelHide();
  hideStop_ = std::stop_source();
  hidePending_ = true;
  context_.startDetached(
      [context = &context_, overlay = QPointer<QuickLookPreviewOverlay>(this), stop = hideStop_.get_token()] {
        return afterDelay(context, overlay, stop, kHideDelayNanos,
                          [](QuickLookPreviewOverlay& self) { self.hideControlsAfterRest(); });
      });
}

void QuickLookPreviewOverlay::hideControlsAfterRest() {
  hidePending_ = false;
  if (keepsControlsVisible()) return;
  setControlsVisible(false, kFadeOutSeconds);
}

void QuickLookPreviewOverlay::cancelHide() {
  if (!hidePending_) return;
  hidePending_ = false;
  hideStop_.request_stop();
}

void QuickLookPreviewOverlay::followFocus() {
  if (startSlideshow_->hasFocus()) {
    focusedControl_ = QuickLookPreviewControlFocus::startSlideshow;
  } else if (close_->hasFocus()) {
    focusedControl_ = QuickLookPreviewControlFocus::close;
  } else {
    focusedControl_.reset();
  }
  if (focusedControl_) {
    showControlsPinned();
  } else {
    revealControls();
  }
}

// ---- Keys and events ----

bool QuickLookPreviewOverlay::handleKey(int key) {
  switch (key) {
    case Qt::Key_Left:
      if (actions_.showPrevious) actions_.showPrevious();
      revealControls();
      return true;
    case Qt::Key_Right:
      if (actions_.showNext) actions_.showNext();
      revealControls();
      return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
      return true;
    case Qt::Key_Space:
      if (focusedControl_ == QuickLookPreviewControlFocus::startSlideshow) {
        if (actions_.startSlideshow) actions_.startSlideshow();
      } else if (actions_.dismiss) {
        actions_.dismiss();
      }
      return true;
    case Qt::Key_Escape:
      if (actions_.dismiss) actions_.dismiss();
      return true;
    default:
      return false;
  }
}

bool QuickLookPreviewOverlay::eventFilter(QObject* watched, QEvent* event) {
  if (watched == host_) {
    if (event->type() == QEvent::Resize) setGeometry(host_->rect());
    return false;
  }
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      // Plain keys only: shortcuts with modifiers belong to the window.
      if ((key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && handleKey(key->key())) return true;
      break;
    }
    case QEvent::ShortcutOverride: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->modifiers() == Qt::NoModifier &&
          (key->key() == Qt::Key_Space || key->key() == Qt::Key_Escape)) {
        event->accept();  // ours before any shortcut of the window
      }
      break;
    }
    case QEvent::Enter:
      if (watched == controls_) {
        isPointerOverControls_ = true;
        showControlsPinned();
      }
      break;
    case QEvent::Leave:
      if (watched == controls_) {
        isPointerOverControls_ = false;
        revealControls();
      }
      break;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
      if (watched == startSlideshow_ || watched == close_) followFocus();
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void QuickLookPreviewOverlay::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placeControls();
  backdropStale_ = true;
}

QRegion QuickLookPreviewOverlay::uncoveredRegion() const {
  QRegion uncovered(rect());
  if (image_->isVisible()) uncovered -= image_->geometry();
  return uncovered;
}

// The window under the overlay where the image leaves it uncovered, as the backdrop at its
// opacity makes it look: one picture per rectangle of that region (the margin's four sides).
void QuickLookPreviewOverlay::renderBackdrop() {
  const qreal ratio = devicePixelRatioF();
  const QRegion uncovered = uncoveredRegion();
  const bool sameParts = std::equal(uncovered.begin(), uncovered.end(), backdrop_.begin(), backdrop_.end(),
                                    [ratio](const QRect& rect, const BackdropPart& part) {
                                      return part.rect == rect && part.image.devicePixelRatio() == ratio;
                                    });
  if (!sameParts) {
    backdrop_.clear();
    for (const QRect& rect : uncovered) {
      QImage image(rect.size() * ratio, QImage::Format_RGB32);
      image.setDevicePixelRatio(ratio);
      backdrop_.push_back({rect, std::move(image)});
    }
  }
  QColor shade(Qt::black);
  shade.setAlphaF(kBackdropOpacity);
  for (BackdropPart& part : backdrop_) {
    QPainter painter(&part.image);
    renderUnder(*this, painter, part.rect, -part.rect.topLeft());
    const QRect whole(QPoint(0, 0), part.rect.size());
    paintInBands(painter, whole, [&] { painter.fillRect(whole, shade); });
  }
  backdropStale_ = false;
}

void QuickLookPreviewOverlay::scheduleBackdropRefresh() {
  backdropRefreshStop_.request_stop();
  backdropRefreshStop_ = std::stop_source();
  context_.startDetached([context = &context_, overlay = QPointer<QuickLookPreviewOverlay>(this),
                          stop = backdropRefreshStop_.get_token()] {
    return afterDelay(context, overlay, stop, kBackdropRefreshDelayNanos, [](QuickLookPreviewOverlay& self) {
      if (!self.isVisible()) return;
      self.backdropStale_ = true;
      self.update(self.uncoveredRegion());
    });
  });
}

void QuickLookPreviewOverlay::paintEvent(QPaintEvent*) {
  if (backdropStale_ ||
      (!backdrop_.empty() && backdrop_.front().image.devicePixelRatio() != devicePixelRatioF()))
    renderBackdrop();
  QPainter painter(this);
  for (const BackdropPart& part : backdrop_) {
    paintPerClipRect(painter, part.rect, [&] { painter.drawImage(part.rect.topLeft(), part.image); });
  }
}

// The overlay covers its host and paints every pixel of it, so while it is shown the host hides
// what lies under it as well.
void QuickLookPreviewOverlay::setHostOpaque(bool opaque) {
  if (host_ == nullptr || opaque == hostMadeOpaque_) return;
  if (opaque) hostWasOpaque_ = host_->testAttribute(Qt::WA_OpaquePaintEvent);
  host_->setAttribute(Qt::WA_OpaquePaintEvent, opaque || hostWasOpaque_);
  hostMadeOpaque_ = opaque;
}

void QuickLookPreviewOverlay::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  backdropStale_ = true;
  scheduleBackdropRefresh();
  setHostOpaque(true);
  raise();
  placeControls();
  setFocus(Qt::OtherFocusReason);
  revealControls();
}

void QuickLookPreviewOverlay::hideEvent(QHideEvent* event) {
  cancelHide();
  backdropRefreshStop_.request_stop();
  setHostOpaque(false);
  QWidget::hideEvent(event);
}

void QuickLookPreviewOverlay::placeControls() {
  controls_->adjustSize();
  controls_->move(width() - kControlsInset - controls_->width(), kControlsInset);
  controls_->raise();
}

// ---- Menu and drag ----

void QuickLookPreviewOverlay::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  const RecordRef record = matchingRecord();
  if (displayedImagePath_ != path_ || record == nullptr) return;
  if (!image_->geometry().contains(event->pos()) && event->reason() == QContextMenuEvent::Mouse) return;
  if (contextMenu_ != nullptr) contextMenu_->close();
  QMenu* menu = makeImageContextMenuWidget(
      makeImageContextMenu({results_, review_, concepts_, context_}, ImageContextMenuTarget::single(record),
                           localizer_, [](const std::string& path) { revealInFileManager(path); }),
      this);
  menu->setObjectName("quickLook.contextMenu");
  contextMenu_ = menu;
  menu->popup(event->globalPos());
}

std::optional<ImageDragPayload> QuickLookPreviewOverlay::dragPayload() const {
  const RecordRef record = matchingRecord();
  const std::shared_ptr<ImageLibraryServicing> service = context_.service();
  if (displayedImagePath_ != path_ || record == nullptr || service == nullptr) return std::nullopt;
  return service->imageDragPayload(*record);
}

std::unique_ptr<QMimeData> QuickLookPreviewOverlay::dragData() const {
  return makeImageDragMimeData(dragPayload());
}

void QuickLookPreviewOverlay::mousePressEvent(QMouseEvent* event) {
  pressPosition_.reset();
  if (event->button() == Qt::LeftButton && image_->geometry().contains(event->position().toPoint())) {
    pressPosition_ = event->position().toPoint();
  }
  event->accept();
}

void QuickLookPreviewOverlay::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
  if (!pressPosition_ || !event->buttons().testFlag(Qt::LeftButton)) return;
  if ((event->position().toPoint() - *pressPosition_).manhattanLength() < QApplication::startDragDistance())
    return;
  pressPosition_.reset();
  const std::optional<ImageDragPayload> payload = dragPayload();
  if (!payload) return;
  if (startDrag_) {
    startDrag_(makeImageDragMimeData(payload));
    return;
  }
  startImageDrag(*this, payload);
}

}  // namespace lorvex::ui
