#include "ui/results/image_tile_delegate.h"

#include <cmath>

#include <QPainter>
#include <QPainterPath>

#include "ui/results/image_tile_presentation.h"
#include "ui/results/results_grid_model.h"

namespace lorvex::ui {
namespace {

namespace metrics = image_tile_metrics;

QFont captionFont(const QFont& base) {
  QFont font = base;
  if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * 0.85);
  return font;
}

QColor withAlpha(QColor color, double alpha) {
  color.setAlphaF(static_cast<float>(alpha));
  return color;
}

QColor tintColor(ReviewBadge::Tint tint) {
  return tint == ReviewBadge::Tint::yellow ? QColor(255, 204, 0) : QColor(255, 149, 0);
}

}  // namespace

ImageTileDelegate::ImageTileDelegate(TileImageSource& images, SymbolIconFunction icons, QObject* parent)
    : QStyledItemDelegate(parent), images_(images), icons_(std::move(icons)) {}

QSize ImageTileDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const { return layout_.cellSize; }

QPixmap ImageTileDelegate::roundedTilePixmap(const QImage& image, int side, qreal radius, const QColor& background) {
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  QPainterPath clip;
  clip.addRoundedRect(QRectF(0, 0, side, side), radius, radius);
  painter.setClipPath(clip);
  painter.fillRect(QRect(0, 0, side, side), background);
  if (!image.isNull()) {
    const QSize fitted = image.size().scaled(side, side, Qt::KeepAspectRatio);
    const QImage scaled = image.scaled(fitted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(QPoint((side - scaled.width()) / 2, (side - scaled.height()) / 2), scaled);
  }
  return pixmap;
}

const QPixmap& ImageTileDelegate::badgePixmap(std::string_view symbol, const QColor& tint, int size, qreal dpr) const {
  std::string key(symbol);
  key += ':' + std::to_string(size) + ':' + std::to_string(dpr);
  if (const auto found = badgeCache_.find(key); found != badgeCache_.end()) return found->second;
  const int side = static_cast<int>(std::lround(size * dpr));
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  if (icons_) {
    const QIcon icon = icons_(symbol);
    QPainter painter(&pixmap);
    icon.paint(&painter, QRect(0, 0, side, side));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRect(0, 0, side, side), tint);
  }
  pixmap.setDevicePixelRatio(dpr);
  return badgeCache_.emplace(std::move(key), std::move(pixmap)).first->second;
}

void ImageTileDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
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
  const QColor accent = palette.color(QPalette::Highlight);

  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);

  QPainterPath tileShape;
  tileShape.addRoundedRect(tile, metrics::kCornerRadius, metrics::kCornerRadius);
  painter->fillPath(tileShape, selected ? withAlpha(accent, metrics::kSelectedBackgroundOpacity)
                                        : palette.color(QPalette::Base));

  const qreal dpr = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
  const int side = static_cast<int>(std::lround(imageArea.width() * dpr));
  const TileImage image = images_.tileImage(record->file.path, QSize(side, side), dpr);
  if (!image.pixmap.isNull()) {
    painter->drawPixmap(imageArea, image.pixmap, QRectF(image.pixmap.rect()));
  } else {
    QPainterPath imageShape;
    imageShape.addRoundedRect(imageArea, metrics::kImageCornerRadius, metrics::kImageCornerRadius);
    painter->fillPath(imageShape, palette.color(QPalette::Window));
    if (icons_) {
      const QIcon icon =
          icons_(image.placeholder == LocalImagePlaceholder::warning ? "exclamationmark.triangle" : "photo");
      const double symbol = std::min(32.0, imageArea.width() / 3);
      const QRectF symbolRect(imageArea.center() - QPointF(symbol / 2, symbol / 2), QSizeF(symbol, symbol));
      icon.paint(painter, symbolRect.toRect(), Qt::AlignCenter, QIcon::Disabled);
    }
  }

  const std::vector<ReviewBadge> badges = reviewBadges(record->reviewState);
  const QFont caption = captionFont(option.font);
  if (!badges.empty()) {
    const int symbolSize = QFontMetrics(caption).height();
    const double width = metrics::kBadgePadding * 2 + symbolSize * static_cast<double>(badges.size()) +
                         metrics::kBadgeSpacing * static_cast<double>(badges.size() - 1);
    const double height = metrics::kBadgePadding * 2 + symbolSize;
    const QRectF capsule(imageArea.right() - metrics::kBadgeInset - width, imageArea.top() + metrics::kBadgeInset,
                         width, height);
    QPainterPath capsuleShape;
    capsuleShape.addRoundedRect(capsule, height / 2, height / 2);
    painter->fillPath(capsuleShape, withAlpha(palette.color(QPalette::Window), 0.8));
    double x = capsule.left() + metrics::kBadgePadding;
    for (const ReviewBadge& badge : badges) {
      const QPixmap& symbol = badgePixmap(badge.symbol, tintColor(badge.tint), symbolSize, dpr);
      painter->drawPixmap(QPointF(x, capsule.top() + metrics::kBadgePadding), symbol);
      x += symbolSize + metrics::kBadgeSpacing;
    }
  }

  painter->setFont(caption);
  painter->setPen(palette.color(QPalette::Text));
  const QString name = index.data(Qt::DisplayRole).toString();
  const QString elided = QFontMetrics(caption).elidedText(name, Qt::ElideRight, static_cast<int>(nameArea.width()));
  painter->drawText(nameArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, elided);

  if (selected) {
    QPen ring(accent, metrics::kSelectionRingWidth);
    painter->setPen(ring);
    painter->setBrush(Qt::NoBrush);
    const double inset = metrics::kSelectionRingWidth / 2;
    painter->drawRoundedRect(tile.adjusted(inset, inset, -inset, -inset), metrics::kCornerRadius - inset,
                             metrics::kCornerRadius - inset);
  }
  painter->restore();
}

}  // namespace lorvex::ui
