// How the slideshow decodes its images: each file in full on the loader's pool, then brought to
// the pixel size of the frame it is shown in (down, or up for an image smaller than its frame) and
// put into the format the painter draws fastest there too (RGB32 when every pixel is opaque, as generator
// output is, else premultiplied ARGB32), so that the GUI thread only copies it to the screen.
//
// QImageReader's own scaled decode of a PNG takes several times as long as a full decode followed
// by a smooth scale, and a full-size image scaled at paint time costs the GUI thread milliseconds
// per image: both are avoided here. A file that cannot be read fails as a full decode does (with
// its error), so the view shows its failure.
//
// The slideshow's loader shares the program's memory cache and decode limiter with every other
// image view; its cache keys carry the pixel size, so its entries never stand for a full image.
//
// Thread safety: decodeSlideshowImage may run on any thread (meant for a worker); the loader is the
// GUI thread's.
#pragma once

#include <QImage>
#include <QRectF>
#include <QSize>
#include <optional>
#include <string>

#include "ui/common/local_image_decoding.h"

namespace lorvex::ui {

class LocalImageLoader;

LocalImageDecodeResult decodeSlideshowImage(const std::string& path, std::optional<int> maxPixelSize);

// Every pixel has full alpha (a null image is not opaque).
bool isFullyOpaque(const QImage& image);

// The program's slideshow loader, made on first use.
LocalImageLoader& slideshowImageLoader();

// Where the image of a frame is shown and at what size it is decoded: the decode size is the
// frame's longer side in device pixels, and the rectangle is the size the image will come back
// at (when its pixel size is known), centred on the frame, so that painting it needs no scaling.
// An image smaller than its frame is decoded enlarged to the size it is fitted to in the whole
// frame (its longer side then), and the rectangle is the frame.
struct SlideshowImagePlacement {
  QRect rect;
  std::optional<int> maxPixelSize;

  friend bool operator==(const SlideshowImagePlacement&, const SlideshowImagePlacement&) = default;
};

SlideshowImagePlacement slideshowImagePlacement(QRectF frame, std::optional<QSize> imagePixelSize,
                                                qreal devicePixelRatio);

}  // namespace lorvex::ui
