// Paints a result tile: the tile background (tinted when selected) and its ring, the image area
// with the tile image or a placeholder symbol, the review badges over the image's top-trailing
// corner and the file name under it. The image comes from the grid as a pixmap already at the
// image area's device size, rounded, so a paint only copies it.
//
// Thread safety: GUI thread only, except roundedTileImage.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ui/common/local_image_load_state.h"
#include "ui/results/image_tile_layout.h"

namespace lorvex::ui {

// What the image area of a tile shows now.
struct TileImage {
  QPixmap pixmap;  // null: the placeholder
  LocalImagePlaceholder placeholder = LocalImagePlaceholder::photo;
};

// The font of a tile's file name; the grid sizes the name's line by it.
QFont imageTileNameFont();

// The grid's visible tiles and their images.
class TileImageSource {
 public:
  virtual ~TileImageSource() = default;
  // The image of the tile of `path` for an image area of `deviceSize` pixels.
  virtual TileImage tileImage(const std::string& path, QSize deviceSize, qreal devicePixelRatio) = 0;
};

class ImageTileDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit ImageTileDelegate(TileImageSource& images, QObject* parent = nullptr);

  void setLayout(const ImageTileLayout& layout);
  const ImageTileLayout& layout() const { return layout_; }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  // The image of `image` fitted into a square of `side` device pixels on `background`, its
  // corners rounded by `radius` device pixels. Pure pixel work on images: callable from any
  // thread (the grid makes it on the image loader's pool).
  static QImage roundedTileImage(const QImage& image, int side, qreal radius, const QColor& background);

 private:
  // What every tile of one look shares, drawn once: the tile's background with and without the
  // selection, and the image area's empty background. The looks of the last few palettes are
  // kept: the grid goes from its enabled look to its disabled one and back each time something
  // covers it (the preview), and each is drawn once.
  struct Backgrounds {
    qreal dpr = 0;
    QRgb base = 0;
    QRgb accent = 0;
    QRgb window = 0;
    QPixmap normal;
    QPixmap selected;
    QPixmap emptyImage;
  };

  const Backgrounds& backgrounds(const QPalette& palette, qreal dpr) const;
  const QPixmap& symbol(std::string_view name, const QColor& color, int size, qreal dpr) const;
  const QStaticText& nameText(const std::string& path, const QString& name, const QFont& font) const;

  TileImageSource& images_;
  ImageTileLayout layout_;
  mutable std::vector<Backgrounds> backgrounds_;  // the latest look first
  mutable std::map<std::string, QPixmap, std::less<>> symbols_;
  // The file names as laid-out one-line texts, elided to the name's width once.
  mutable std::unordered_map<std::string, QStaticText> names_;
  mutable QFont nameFont_;
  const QFont captionFont_;
};

}  // namespace lorvex::ui
