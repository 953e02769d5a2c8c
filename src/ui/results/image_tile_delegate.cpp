#include "ui/results/image_tile_delegate.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "ui/common/clip_rect_painting.h"
#include "ui/common/image_tile_presentation.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/results/results_grid_model.h"

namespace lorvex::ui {
namespace {

namespace metrics = image_tile_metrics;

// More names than a few screens of tiles are forgotten at once rather than one by one.
constexpr std::size_t kNameCacheLimit = 2048;
// The looks whose backgrounds are kept: enabled and disabled, in the active and the inactive
// window.
constexpr std::size_t kBackgroundLooks = 4;

// The roles have a yellow but no orange: the trash mark keeps the system orange.
QColor tintColor(ReviewBadge::Tint tint, const QPalette& palette) {
  return tint == ReviewBadge::Tint::yellow ? roleColor(ColorRole::yellow, palette) : QColor(255, 149, 0);
}

QPixmap devicePixmap(QSizeF logical, qreal dpr) {
  QPixmap pixmap((logical * dpr).toSize());
  pixmap.setDevicePixelRatio(dpr);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

}  // namespace

QFont imageTileNameFont() {
  return roleFont(FontRole::caption);
}

ImageTileDelegate::ImageTileDelegate(TileImageSource& images, QObject* parent)
    : QStyledItemDelegate(parent), images_(images), captionFont_(imageTileNameFont()) {}

void ImageTileDelegate::setLayout(const ImageTileLayout& layout) {
  layout_ = layout;
  backgrounds_.clear();
  names_.clear();
}

QSize ImageTileDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  return layout_.cellSize;
}

QImage ImageTileDelegate::roundedTileImage(const QImage& image, int side, qreal radius,
                                           const QColor& background) {
  QImage rounded(side, side, QImage::Format_ARGB32_Premultiplied);
  rounded.fill(Qt::transparent);
  QPainter painter(&rounded);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(0, 0, side, side), radius, radius);
  painter.fillPath(shape, background);
  if (!image.isNull()) {
    // The image fills the rounded shape as a brush: one antialiased fill instead of a clip.
    const QSize fitted = image.size().scaled(side, side, Qt::KeepAspectRatio);
    const QImage scaled = image.scaled(fitted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QPointF offset((side - scaled.width()) / 2.0, (side - scaled.height()) / 2.0);
    QBrush brush(scaled);
    brush.setTransform(QTransform::fromTranslate(offset.x(), offset.y()));
    QPainterPath imageShape;
    imageShape.addRect(QRectF(offset, QSizeF(scaled.size())));
    painter.fillPath(shape.intersected(imageShape), brush);
  }
  painter.end();
  return rounded;
}

const ImageTileDelegate::Backgrounds& ImageTileDelegate::backgrounds(const QPalette& palette,
                                                                     qreal dpr) const {
  const QColor base = roleColor(ColorRole::controlBackground, palette);
  const QColor accent = roleColor(ColorRole::accent, palette);
  const QColor window = roleColor(ColorRole::windowBackground, palette);
  const auto kept = std::find_if(backgrounds_.begin(), backgrounds_.end(), [&](const Backgrounds& look) {
    return look.dpr == dpr && look.base == base.rgba() && look.accent == accent.rgba() &&
           look.window == window.rgba();
  });
  if (kept != backgrounds_.end()) {
    std::rotate(backgrounds_.begin(), kept, kept + 1);
    return backgrounds_.front();
  }
  Backgrounds made;
  made.dpr = dpr;
  made.base = base.rgba();
  made.accent = accent.rgba();
  made.window = window.rgba();
  const QRectF tile(QPointF(0, 0), layout_.tile.size());
  for (const bool selected : {false, true}) {
    QPixmap pixmap = devicePixmap(tile.size(), dpr);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(tile, metrics::kCornerRadius, metrics::kCornerRadius);
    painter.fillPath(shape, selected ? withOpacity(accent, metrics::kSelectedBackgroundOpacity) : base);
    if (selected) {
      // The ring lies inside the tile, so a selected tile takes no more room than another.
      const double inset = metrics::kSelectionRingWidth / 2;
      painter.setPen(QPen(accent, metrics::kSelectionRingWidth));
      painter.setBrush(Qt::NoBrush);
      painter.drawRoundedRect(tile.adjusted(inset, inset, -inset, -inset), metrics::kCornerRadius - inset,
                              metrics::kCornerRadius - inset);
    }
    painter.end();
    (selected ? made.selected : made.normal) = pixmap;
  }
  QPixmap empty = devicePixmap(layout_.imageArea.size(), dpr);
  {
    QPainter painter(&empty);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(QPointF(0, 0), layout_.imageArea.size()), metrics::kImageCornerRadius,
                         metrics::kImageCornerRadius);
    painter.fillPath(shape, window);
  }
  made.emptyImage = empty;
  if (backgrounds_.size() >= kBackgroundLooks) backgrounds_.pop_back();
  backgrounds_.insert(backgrounds_.begin(), std::move(made));
  return backgrounds_.front();
}

const QPixmap& ImageTileDelegate::symbol(std::string_view name, const QColor& color, int size,
                                         qreal dpr) const {
  std::string key(name);
  key += ':' + std::to_string(color.rgba()) + ':' + std::to_string(size) + ':' + std::to_string(dpr);
  if (const auto found = symbols_.find(key); found != symbols_.end()) return found->second;
  return symbols_.emplace(std::move(key), symbolPixmap(name, size, color, dpr)).first->second;
}

const QStaticText& ImageTileDelegate::nameText(const std::string& path, const QString& name,
                                               const QFont& font) const {
  if (font != nameFont_) {
    names_.clear();
    nameFont_ = font;
  }
  if (const auto found = names_.find(path); found != names_.end()) return found->second;
  if (names_.size() >= kNameCacheLimit) names_.clear();
  const QString elided =
      QFontMetrics(font).elidedText(name, Qt::ElideRight, static_cast<int>(layout_.nameArea.width()));
  QStaticText text(elided);
  text.setTextFormat(Qt::PlainText);
  text.setPerformanceHint(QStaticText::AggressiveCaching);
  text.prepare(QTransform(), font);
  return names_.emplace(path, std::move(text)).first->second;
}

void ImageTileDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const auto* model = qobject_cast<const ResultsGridModel*>(index.model());
  if (model == nullptr) return;
  const RecordRef& record = model->recordAt(index.row());
  if (record == nullptr) return;
  const bool selected = model->isSelected(index.row());
  const QPalette& palette = option.palette;
  const QPointF origin = option.rect.topLeft();
  const QRectF tile = layout_.tile.translated(origin);
  const QRectF imageArea = layout_.imageArea.translated(origin);
  const QRectF nameArea = layout_.nameArea.translated(origin);
  const qreal dpr = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
  const Backgrounds& shared = backgrounds(palette, dpr);

  painter->save();
  // The list view paints its items with smooth pixmap filtering on, which makes Qt's raster
  // painter send even an unscaled copy through its filtering path and its helper threads. Every
  // copy here is unscaled except a stretched image, which alone turns it back on: the pixels are
  // the same, the copies direct.
  painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
  const int side = static_cast<int>(std::lround(imageArea.width() * dpr));
  const TileImage image = images_.tileImage(record->file.path, QSize(side, side), dpr);
  // The repainted region is often several rectangles (the tiles whose focus or image changed, the
  // window around an opaque view): the two large copies go once per rectangle, each direct.
  QPixmap pixmap = image.pixmap;
  // Made at the image area's device size, the image is copied as it is, not scaled by the
  // fraction of a pixel the area's width may have; one kept from another size is stretched.
  const bool atSize = !pixmap.isNull() && pixmap.size() == QSize(side, side);
  if (atSize) pixmap.setDevicePixelRatio(dpr);
  // A stretched image is a filtered draw, which Qt hands to its helper threads by the lines it
  // covers: in bands it stays on this thread (the grid just changed width, every tile at once).
  const bool stretched = !atSize && !pixmap.isNull();
  const auto draw = [&] {
    painter->drawPixmap(tile.topLeft(), selected ? shared.selected : shared.normal);
    if (atSize) {
      painter->drawPixmap(imageArea.topLeft(), pixmap);
    } else if (stretched) {
      painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
      painter->drawPixmap(imageArea, pixmap, QRectF(pixmap.rect()));
      painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    }
  };
  if (stretched) {
    paintInBands(*painter, option.rect, draw);
  } else {
    paintPerClipRect(*painter, option.rect, draw);
  }
  painter->setClipRect(option.rect, Qt::IntersectClip);
  if (image.pixmap.isNull()) {
    painter->drawPixmap(imageArea.topLeft(), shared.emptyImage);
    const int side = static_cast<int>(std::min(32.0, imageArea.width() / 3));
    const QPixmap& placeholder =
        symbol(image.placeholder == LocalImagePlaceholder::warning ? "exclamationmark.triangle" : "photo",
               roleColor(ColorRole::tertiary, palette), side, dpr);
    painter->drawPixmap(imageArea.center() - QPointF(side / 2.0, side / 2.0), placeholder);
  }

  const QFont& caption = captionFont_;
  const std::vector<ReviewBadge> badges = reviewBadges(record->reviewState);
  if (!badges.empty()) {
    painter->setRenderHint(QPainter::Antialiasing);
    const int symbolSize = QFontMetrics(caption).height();
    const double width = metrics::kBadgePadding * 2 + symbolSize * static_cast<double>(badges.size()) +
                         metrics::kBadgeSpacing * static_cast<double>(badges.size() - 1);
    const double height = metrics::kBadgePadding * 2 + symbolSize;
    const QRectF capsule(imageArea.right() - metrics::kBadgeInset - width,
                         imageArea.top() + metrics::kBadgeInset, width, height);
    QPainterPath capsuleShape;
    capsuleShape.addRoundedRect(capsule, height / 2, height / 2);
    painter->fillPath(capsuleShape, withOpacity(roleColor(ColorRole::windowBackground, palette), 0.8));
    double x = capsule.left() + metrics::kBadgePadding;
    for (const ReviewBadge& badge : badges) {
      const QPixmap& mark = symbol(badge.symbol, tintColor(badge.tint, palette), symbolSize, dpr);
      painter->drawPixmap(QPointF(x, capsule.top() + metrics::kBadgePadding), mark);
      x += symbolSize + metrics::kBadgeSpacing;
    }
  }

  painter->setFont(caption);
  painter->setPen(roleColor(ColorRole::primary, palette));
  const QStaticText& name = nameText(record->file.path, index.data(Qt::DisplayRole).toString(), caption);
  painter->drawStaticText(
      QPointF(nameArea.left(), nameArea.top() + (nameArea.height() - name.size().height()) / 2), name);
  painter->restore();
}

}  // namespace lorvex::ui
