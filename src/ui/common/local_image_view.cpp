#include "ui/common/local_image_view.h"

#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <cmath>
#include <utility>

#include "ui/common/clip_rect_painting.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"

namespace lorvex::ui {

namespace {

constexpr int kPlaceholderMaxSize = 32;
// Scaling reads every source pixel and writes every target pixel, a few nanoseconds each: up to
// this many in all (about a millisecond or two) it is done in the paint.
constexpr qint64 kInPaintScalePixels = 512 * 1024;

qint64 pixels(QSize size) {
  return static_cast<qint64>(size.width()) * size.height();
}

}  // namespace

QRectF localImageTargetRect(QSizeF imageSize, QRectF bounds, LocalImageView::ContentMode mode,
                            Qt::Alignment alignment) {
  if (imageSize.isEmpty() || bounds.isEmpty()) return {};
  const qreal widthScale = bounds.width() / imageSize.width();
  const qreal heightScale = bounds.height() / imageSize.height();
  const qreal scale = mode == LocalImageView::ContentMode::fit ? std::min(widthScale, heightScale)
                                                               : std::max(widthScale, heightScale);
  const QSizeF size = imageSize * scale;
  qreal x = bounds.x() + (bounds.width() - size.width()) / 2.0;
  if (alignment & Qt::AlignLeft) x = bounds.x();
  if (alignment & Qt::AlignRight) x = bounds.right() - size.width();
  qreal y = bounds.y() + (bounds.height() - size.height()) / 2.0;
  if (alignment & Qt::AlignTop) y = bounds.y();
  if (alignment & Qt::AlignBottom) y = bounds.bottom() - size.height();
  return {QPointF(x, y), size};
}

LocalImageView::LocalImageView(QWidget* parent, bool preservesCurrentImageWhileLoading,
                               LocalImageLoader& loader, const AppLocalization* localization,
                               LocalImageScaler& scaler)
    : QWidget(parent),
      localization_(localization != nullptr ? *localization : AppLocalization::live()),
      state_(loader, preservesCurrentImageWhileLoading, [this] { stateChanged(); }),
      scaler_(scaler) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  updateAccessibility();
}

LocalImageView::~LocalImageView() {
  cancelScale();
}

void LocalImageView::setSource(std::optional<std::string> path, std::optional<std::string> previewPath,
                               std::optional<std::string> imageCacheKey,
                               std::optional<std::string> previewCacheKey,
                               std::optional<int> imageMaxPixelSize) {
  LocalImageLoadRequest request =
      makeLocalImageLoadRequest(std::move(path), std::move(previewPath), std::move(imageCacheKey),
                                std::move(previewCacheKey), imageMaxPixelSize);
  if (request == request_ && (state_.request() == request_ || !isVisible())) return;
  request_ = std::move(request);
  if (isVisible()) {
    state_.setRequest(request_);
  } else {
    // Shown as soon as the widget is, from the cache when it holds the image already.
    updateAccessibility();
  }
}

void LocalImageView::setContentMode(ContentMode mode) {
  if (mode == contentMode_) return;
  contentMode_ = mode;
  update();
}

void LocalImageView::setBackgroundColor(const QColor& color) {
  if (color == backgroundColor_) return;
  backgroundColor_ = color;
  // An opaque background covers every pixel: what lies under the view (the whole window, under
  // the preview) is not painted first on each change of the image.
  setAttribute(Qt::WA_OpaquePaintEvent, backgroundColor_.alpha() == 255);
  update();
}

void LocalImageView::setImageAlignment(Qt::Alignment alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  update();
}

void LocalImageView::setOnDisplayedPathChange(
    std::function<void(const std::optional<std::string>&)> callback) {
  onDisplayedPathChange_ = std::move(callback);
}

LocalImageAccessibilityState LocalImageView::accessibilityState() const {
  return state_.accessibilityState();
}

QImage LocalImageView::displayedImage() const {
  return state_.choice().image;
}

LocalImagePlaceholder LocalImageView::placeholder() const {
  const LocalImageChoice choice = state_.choice();
  return choice.image.isNull() ? choice.placeholder : LocalImagePlaceholder::none;
}

QSize LocalImageView::sizeHint() const {
  return {160, 160};
}

void LocalImageView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The displayed path is told once the view is on screen, whatever it was before.
  hasReportedDisplayedPath_ = false;
  state_.setRequest(request_);
  if (!hasReportedDisplayedPath_) stateChanged();
}

void LocalImageView::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  state_.cancel();
  cancelScale();
}

void LocalImageView::requestScale(const QImage& image, QSize deviceSize, qreal ratio) {
  const qint64 key = image.cacheKey();
  // One scale at a time: during a resize the sizes pass faster than they can be scaled, and the
  // paint after this one asks again for the size it finds.
  if (scaleTicket_ != 0 && scalingSourceKey_ == key) return;
  cancelScale();
  scalingSourceKey_ = key;
  scaleTicket_ = scaler_.scale(image, deviceSize, [this, key, deviceSize, ratio](const QImage& scaled) {
    scaleTicket_ = 0;
    // A newer image took the view's place meanwhile; its own paint asked for its scale.
    if (key != scaledSourceKey_ || scaled.isNull()) return;
    scaled_ = QPixmap::fromImage(scaled);
    scaled_.setDevicePixelRatio(ratio);
    scaledDeviceSize_ = deviceSize;
    update();
  });
}

void LocalImageView::cancelScale() {
  if (scaleTicket_ == 0) return;
  scaler_.cancel(std::exchange(scaleTicket_, 0));
}

void LocalImageView::stateChanged() {
  updateAccessibility();
  const std::optional<std::string> displayed = state_.displayState().displayedPath;
  if (isVisible() && (!hasReportedDisplayedPath_ || displayed != reportedDisplayedPath_)) {
    hasReportedDisplayedPath_ = true;
    reportedDisplayedPath_ = displayed;
    if (onDisplayedPathChange_) onDisplayedPathChange_(displayed);
  }
  update();
  Q_EMIT displayStateChanged();
}

void LocalImageView::updateAccessibility() {
  // Before the first load the view describes the request it will load.
  const LocalImageAccessibilityText text =
      state_.request() == request_
          ? state_.accessibilityText(localization_)
          : localImageAccessibilityText(
                request_.path,
                request_.path ? LocalImageAccessibilityState::loading : LocalImageAccessibilityState::empty,
                localization_);
  setAccessibleName(qtText(text.label));
  setAccessibleDescription(qtText(text.value));
}

void LocalImageView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRectF bounds = rect();
  const LocalImageChoice choice = state_.request() == request_ ? state_.choice() : LocalImageChoice{};
  const QRectF target = choice.image.isNull()
                            ? QRectF()
                            : localImageTargetRect(choice.image.size(), bounds, contentMode_, alignment_);
  // Fills and scaled draws in bands, each done at once on this thread (see paintInBands). An opaque
  // image covers its target but for the pixels its edges may share: only the margin around it is filled.
  if (backgroundColor_.alpha() > 0) {
    QRegion background(rect());
    if (!choice.image.isNull() && !choice.image.hasAlphaChannel())
      background -= target.toAlignedRect().adjusted(1, 1, -1, -1);
    for (const QRect& part : background)
      paintInBands(painter, part, [&] { painter.fillRect(part, backgroundColor_); });
  }

  paintedAtScale_ = false;
  if (!choice.image.isNull()) {
    const qreal ratio = devicePixelRatioF();
    const QSize deviceSize(std::max(1, static_cast<int>(std::lround(target.width() * ratio))),
                           std::max(1, static_cast<int>(std::lround(target.height() * ratio))));
    if (scaledSourceKey_ != choice.image.cacheKey()) {
      // Another image: the last scale shows something else.
      scaled_ = QPixmap();
      scaledSourceKey_ = choice.image.cacheKey();
    }
    if (scaled_.isNull() || scaledDeviceSize_ != deviceSize) {
      // An image decoded at its size on screen (the slideshow's) needs no scaling at all.
      if (choice.image.size() == deviceSize ||
          pixels(choice.image.size()) + pixels(deviceSize) <= kInPaintScalePixels) {
        cancelScale();
        scaled_ = QPixmap::fromImage(scaledForDisplay(choice.image, deviceSize));
        scaled_.setDevicePixelRatio(ratio);
        scaledDeviceSize_ = deviceSize;
      } else {
        requestScale(choice.image, deviceSize, ratio);
      }
    }
    painter.setClipRect(bounds);
    if (!scaled_.isNull() && scaledDeviceSize_ == deviceSize) {
      // A copy with alpha is a blend, and one under a clip of several rectangles goes line by line:
      // either goes to the helper threads like a fill unless it is drawn in bands.
      paintInBands(painter, rect(), [&] { painter.drawPixmap(target.topLeft(), scaled_); });
      paintedAtScale_ = true;
    } else if (!scaled_.isNull()) {
      painter.setRenderHint(QPainter::SmoothPixmapTransform);
      paintInBands(painter, rect(), [&] { painter.drawPixmap(target, scaled_, QRectF(scaled_.rect())); });
    } else {
      paintInBands(painter, rect(), [&] { painter.drawImage(target, choice.image); });
    }
    return;
  }
  scaled_ = QPixmap();
  cancelScale();
  const LocalImagePlaceholder placeholder =
      state_.request() == request_
          ? choice.placeholder
          : (request_.path ? LocalImagePlaceholder::photo : LocalImagePlaceholder::warning);
  if (placeholder == LocalImagePlaceholder::none) return;
  const int side = std::min({kPlaceholderMaxSize, width() / 2, height() / 2});
  if (side < 4) return;
  const QPixmap symbol =
      symbolPixmap(placeholder == LocalImagePlaceholder::photo ? "photo" : "exclamationmark.triangle", side,
                   roleColor(ColorRole::tertiary, palette()), devicePixelRatioF());
  painter.drawPixmap(QPointF((width() - side) / 2.0, (height() - side) / 2.0), symbol);
}

}  // namespace lorvex::ui
