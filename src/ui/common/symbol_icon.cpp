#include "ui/common/symbol_icon.h"

#include <QFile>
#include <QGuiApplication>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <unordered_map>
#include <utility>

#include "ui/common/clip_rect_painting.h"
#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"

namespace lorvex::ui {

namespace {

// Sorted, so the lookup is a binary search.
constexpr std::array<std::string_view, 50> kBundledSymbols = {
    "arrow.clockwise",
    "arrow.down.app",
    "checkmark",
    "checkmark.circle.fill",
    "chevron.backward",
    "chevron.down",
    "chevron.left",
    "chevron.right",
    "chevron.up.chevron.down",
    "circle",
    "clock.arrow.circlepath",
    "cpu",
    "doc.on.doc",
    "ellipsis",
    "exclamationmark.triangle",
    "folder",
    "folder.badge.plus",
    "info.circle",
    "keyboard",
    "list.bullet.rectangle",
    "lock.open",
    "minus.circle",
    "pause.fill",
    "photo",
    "photo.on.rectangle",
    "play.fill",
    "play.rectangle",
    "plus",
    "plus.circle",
    "questionmark.circle",
    "rectangle",
    "rectangle.portrait",
    "sidebar.trailing",
    "slider.horizontal.3",
    "sparkles",
    "square",
    "star",
    "star.fill",
    "star.slash",
    "stop.circle.fill",
    "tag",
    "tag.badge.plus",
    "tag.slash",
    "tag.square",
    "trash",
    "trash.fill",
    "trash.slash",
    "xmark",
    "xmark.circle",
    "xmark.circle.fill",
};

struct ThemeName {
  std::string_view symbol;
  std::string_view theme;
};

// Only where the theme icon means the same thing; marks whose colour carries meaning stay bundled.
constexpr std::array<ThemeName, 16> kThemeNames = {{
    {"arrow.clockwise", "view-refresh"},
    {"chevron.backward", "go-previous"},
    {"chevron.down", "go-down"},
    {"chevron.left", "go-previous"},
    {"chevron.right", "go-next"},
    {"doc.on.doc", "edit-copy"},
    {"exclamationmark.triangle", "dialog-warning"},
    {"folder", "folder"},
    {"folder.badge.plus", "folder-new"},
    {"info.circle", "dialog-information"},
    {"keyboard", "input-keyboard"},
    {"pause.fill", "media-playback-pause"},
    {"play.fill", "media-playback-start"},
    {"plus", "list-add"},
    {"trash", "user-trash"},
    {"xmark", "window-close"},
}};

QString resourcePath(std::string_view symbolName) {
  return QStringLiteral(":/icons/") + qtText(symbolName) + ".svg";
}

// The bundled SVG with its black drawn in `color` (white cut-outs stay white), one renderer per
// name and colour.
QSvgRenderer* tintedRenderer(std::string_view symbolName, const QColor& color) {
  static std::unordered_map<std::string, std::unique_ptr<QSvgRenderer>> renderers;
  const QColor opaque(color.red(), color.green(), color.blue());
  std::string key(symbolName);
  key += '\x1f';
  key += opaque.name().toStdString();
  auto found = renderers.find(key);
  if (found != renderers.end()) return found->second.get();
  QFile file(resourcePath(symbolName));
  if (!file.open(QIODevice::ReadOnly)) return nullptr;
  QByteArray svg = file.readAll();
  svg.replace("#000", opaque.name().toLatin1());
  auto renderer = std::make_unique<QSvgRenderer>(svg);
  if (!renderer->isValid()) return nullptr;
  return renderers.emplace(std::move(key), std::move(renderer)).first->second.get();
}

void paintSymbol(QPainter& painter, const QRectF& rect, std::string_view symbolName, const QColor& color) {
  QSvgRenderer* renderer = tintedRenderer(symbolName, color);
  if (renderer == nullptr) return;
  painter.save();
  painter.setOpacity(painter.opacity() * color.alphaF());
  renderer->render(&painter, rect);
  painter.restore();
}

// The symbol drawn in `color` on a transparent square of `side` device pixels. Rendering an SVG
// costs far more than copying a pixmap, and floating controls repaint their icons on every
// frame of a fade, so each rendering is kept in the pixmap cache.
QPixmap renderedSymbol(std::string_view symbolName, int side, const QColor& color) {
  const QString key = QStringLiteral("lorvex.symbol/%1/%2/%3")
                          .arg(qtText(symbolName))
                          .arg(side)
                          .arg(color.rgba(), 8, 16, QLatin1Char('0'));
  QPixmap pixmap;
  if (QPixmapCache::find(key, &pixmap)) return pixmap;
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  // Its antialiased paths would reach Qt's helper threads from a few lines on: drawn in bands.
  paintImageInBands(
      image,
      [&](QPainter& painter) {
        painter.setRenderHint(QPainter::Antialiasing);
        paintSymbol(painter, QRectF(0, 0, side, side), symbolName, color);
      },
      kAntialiasedBandDeviceLines);
  pixmap = QPixmap::fromImage(std::move(image));
  QPixmapCache::insert(key, pixmap);
  return pixmap;
}

class TintedSymbolEngine final : public QIconEngine {
 public:
  TintedSymbolEngine(std::string symbolName, QColor color)
      : symbolName_(std::move(symbolName)), color_(color) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    const qreal side = std::min(rect.width(), rect.height());
    const QRectF square(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0, side,
                        side);
    const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    QPixmap symbol = renderedSymbol(symbolName_, static_cast<int>(std::ceil(side * ratio)), colorFor(mode));
    symbol.setDevicePixelRatio(ratio);
    painter->drawPixmap(square.topLeft(), symbol);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return pixmap;
  }

  QIconEngine* clone() const override { return new TintedSymbolEngine(symbolName_, color_); }
  QString key() const override { return QStringLiteral("lorvex.tintedSymbol"); }

 private:
  QColor colorFor(QIcon::Mode mode) const {
    return mode == QIcon::Disabled ? withOpacity(color_, 0.35) : color_;
  }

  std::string symbolName_;
  QColor color_;
};

}  // namespace

bool hasBundledSymbol(std::string_view symbolName) {
  return std::binary_search(kBundledSymbols.begin(), kBundledSymbols.end(), symbolName);
}

std::span<const std::string_view> bundledSymbolNames() {
  return kBundledSymbols;
}

std::string_view themeIconName(std::string_view symbolName) {
  for (const auto& entry : kThemeNames) {
    if (entry.symbol == symbolName) return entry.theme;
  }
  return {};
}

QIcon tintedSymbolIcon(std::string_view symbolName, const QColor& color) {
  if (!hasBundledSymbol(symbolName)) return {};
  return QIcon(new TintedSymbolEngine(std::string(symbolName), color));
}

QIcon symbolIcon(std::string_view symbolName) {
  const std::string_view theme = themeIconName(symbolName);
  if (!theme.empty()) {
    const QString name = qtText(theme);
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
  }
  return tintedSymbolIcon(symbolName, roleColor(ColorRole::primary));
}

QPixmap symbolPixmap(std::string_view symbolName, int logicalSize, const QColor& color,
                     qreal devicePixelRatio) {
  if (!hasBundledSymbol(symbolName) || logicalSize <= 0) return {};
  QPixmap pixmap =
      renderedSymbol(symbolName, static_cast<int>(std::ceil(logicalSize * devicePixelRatio)), color);
  pixmap.setDevicePixelRatio(devicePixelRatio);
  return pixmap;
}

}  // namespace lorvex::ui
