#include "ui/sidebar/filter_row_painting.h"

#include <QFontMetrics>
#include <QHash>
#include <QPainter>

#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"

namespace lorvex::ui {
namespace {

QFont detailFont() {
  return roleFont(FontRole::caption2);
}

constexpr int kTrailingSymbolSize = 10;

// The rows of a list repaint together, each with the texts it showed before: what the measures of
// a row's texts give (each shapes the whole text) is kept, by font, text and width. More rows than
// a few lists show are forgotten at once.
constexpr qsizetype kKeptMeasures = 1024;

struct MeasureKey {
  QFont font;
  QString text;
  int width = 0;
  bool operator==(const MeasureKey&) const = default;
};

size_t qHash(const MeasureKey& key, size_t seed = 0) {
  return qHashMulti(seed, key.font, key.text, key.width);
}

// The measure kept under `key`, made by `measure` the first time.
template <class Value, class Measure>
Value keptMeasure(QHash<MeasureKey, Value>& kept, MeasureKey key, const Measure& measure) {
  if (const auto found = kept.constFind(key); found != kept.constEnd()) return *found;
  if (kept.size() >= kKeptMeasures) kept.clear();
  Value value = measure();
  kept.insert(std::move(key), value);
  return value;
}

QString elidedInMiddle(const QFont& font, const QString& text, int width) {
  static QHash<MeasureKey, QString> kept;
  return keptMeasure(kept, MeasureKey{font, text, width},
                     [&] { return QFontMetrics(font).elidedText(text, Qt::ElideMiddle, width); });
}

int advanceOf(const QFont& font, const QString& text) {
  static QHash<MeasureKey, int> kept;
  return keptMeasure(kept, MeasureKey{font, text, -1},
                     [&] { return QFontMetrics(font).horizontalAdvance(text); });
}

}  // namespace

QSize filterRowSizeHint(const FilterRowPresentation& row, const FilterRowMetrics& metrics,
                        const QFont& font) {
  const QFontMetrics fm(font);
  int height = std::max(fm.height(), metrics.markWidth);
  if (row.detailText) height = fm.height() + 2 + QFontMetrics(detailFont()).height();
  int width = metrics.markWidth + metrics.spacing + std::min(advanceOf(font, qtText(row.text)), 160);
  if (!row.iconSymbol.empty()) width += metrics.iconWidth + metrics.spacing;
  if (row.countText) width += metrics.minimumGap + advanceOf(font, qtText(*row.countText));
  if (!row.trailingSymbol.empty()) width += metrics.minimumGap + kTrailingSymbolSize;
  return {width, height + 2 * metrics.verticalPadding};
}

void paintFilterRow(QPainter& painter, const QRect& rect, const FilterRowPresentation& row,
                    const FilterRowMetrics& metrics, const QFont& font, const QPalette& palette,
                    FilterRowPaintState state) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  if (state.isHovered || state.isPressed) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(roleColor(ColorRole::primary, palette), state.isPressed ? 0.12 : 0.06));
    painter.drawRoundedRect(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
  }
  if (state.hasFocus) {
    painter.setPen(QPen(roleColor(ColorRole::accent, palette), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect).adjusted(1, 1, -1, -1), 5, 5);
  }
  const QRect content = rect.adjusted(2, metrics.verticalPadding, -2, -metrics.verticalPadding);
  const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
  int x = content.left();

  const QColor markColor =
      row.mark.isAccent ? roleColor(ColorRole::accent, palette) : roleColor(ColorRole::secondary, palette);
  const int markSize = std::min(metrics.markWidth, 16);
  const QPixmap mark = symbolPixmap(row.mark.symbol, markSize, markColor, dpr);
  if (!mark.isNull()) {
    painter.drawPixmap(
        QPoint(x + (metrics.markWidth - markSize) / 2, content.center().y() - markSize / 2 + 1), mark);
  }
  x += metrics.markWidth + metrics.spacing;

  if (!row.iconSymbol.empty()) {
    const QPixmap icon = symbolPixmap(row.iconSymbol, 14, roleColor(ColorRole::secondary, palette), dpr);
    if (!icon.isNull()) painter.drawPixmap(QPoint(x + 1, content.center().y() - 6), icon);
    x += metrics.iconWidth + metrics.spacing;
  }

  const QFontMetrics fm(font);
  int right = content.right();
  if (!row.trailingSymbol.empty()) {
    // Drawn inside the row, so a click on it is a click on the row.
    const QPixmap symbol =
        symbolPixmap(row.trailingSymbol, kTrailingSymbolSize, roleColor(ColorRole::tertiary, palette), dpr);
    if (!symbol.isNull()) {
      painter.drawPixmap(
          QPoint(right - kTrailingSymbolSize + 1, content.center().y() - kTrailingSymbolSize / 2 + 1),
          symbol);
    }
    right -= kTrailingSymbolSize + metrics.minimumGap;
  }
  if (row.countText) {
    const QString count = qtText(*row.countText);
    const int countWidth = advanceOf(font, count);
    painter.setFont(font);
    painter.setPen(roleColor(ColorRole::secondary, palette));
    painter.drawText(QRect(right - countWidth, content.top(), countWidth, content.height()),
                     Qt::AlignRight | Qt::AlignVCenter, count);
    right -= countWidth + metrics.minimumGap;
  }

  const int textWidth = std::max(0, right - x);
  painter.setFont(font);
  painter.setPen(row.isTextSecondary ? roleColor(ColorRole::secondary, palette)
                                     : roleColor(ColorRole::primary, palette));
  const QString text = elidedInMiddle(font, qtText(row.text), textWidth);
  if (row.detailText) {
    const QFont small = detailFont();
    const QFontMetrics smallMetrics(small);
    const int top = content.center().y() - (fm.height() + 2 + smallMetrics.height()) / 2;
    painter.drawText(QRect(x, top, textWidth, fm.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
    painter.setFont(small);
    painter.setPen(roleColor(ColorRole::secondary, palette));
    painter.drawText(QRect(x, top + fm.height() + 2, textWidth, smallMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     smallMetrics.elidedText(qtText(*row.detailText), Qt::ElideRight, textWidth));
  } else {
    painter.drawText(QRect(x, content.top(), textWidth, content.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     text);
  }
  painter.restore();
}

}  // namespace lorvex::ui
