#include "ui/slideshow/slideshow_image_decoding.h"

#include <algorithm>
#include <cmath>

#include "ui/common/local_image_decode_limiter.h"
#include "ui/common/local_image_loader.h"
#include "ui/common/local_image_memory_cache.h"

namespace lorvex::ui {

namespace {

// `source` brought to `longer` on its longer side, down or up, its shape kept.
QSize sizeWithLongerSide(QSize source, int longer) {
  const int sourceLonger = std::max(source.width(), source.height());
  if (sourceLonger >= longer) return downsampledSize(source, longer);
  const double scale = static_cast<double>(longer) / sourceLonger;
  const auto side = [scale, longer](int length) {
    return std::clamp(static_cast<int>(std::lround(length * scale)), 1, longer);
  };
  return {side(source.width()), side(source.height())};
}

}  // namespace

LocalImageDecodeResult decodeSlideshowImage(const std::string& path, std::optional<int> maxPixelSize) {
  LocalImageDecodeResult result = decodeLocalImage(path, std::nullopt);
  if (result.image.isNull()) return result;
  const QSize target = maxPixelSize && *maxPixelSize > 0
                           ? sizeWithLongerSide(result.image.size(), *maxPixelSize)
                           : result.image.size();
  const auto toDrawnFormat = [](const QImage& image) {
    const QImage::Format format =
        isFullyOpaque(image) ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
    return image.format() == format ? image : image.convertToFormat(format);
  };
  // Brought down before the conversion; enlarged after it, from the pixels a view would enlarge.
  const bool enlarges = target.width() > result.image.width();
  if (enlarges) result.image = toDrawnFormat(result.image);
  if (target != result.image.size()) {
    result.image = result.image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  if (!enlarges) result.image = toDrawnFormat(result.image);
  return result;
}

bool isFullyOpaque(const QImage& image) {
  if (image.isNull()) return false;
  if (!image.hasAlphaChannel()) return true;
  const QImage argb =
      image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_ARGB32_Premultiplied
          ? image
          : image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < argb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    QRgb alpha = 0xff000000U;
    for (int x = 0; x < argb.width(); ++x) alpha &= line[x];
    if ((alpha & 0xff000000U) != 0xff000000U) return false;
  }
  return true;
}

LocalImageLoader& slideshowImageLoader() {
  static LocalImageLoader* const loader = [] {
    auto* made = new LocalImageLoader(LocalImageMemoryCache::shared(), LocalImageDecodeLimiter::shared(),
                                      decodeSlideshowImage);
    made->livesAsLongAsTheProgram("the slideshow's image loader");
    return made;
  }();
  return *loader;
}

SlideshowImagePlacement slideshowImagePlacement(QRectF frame, std::optional<QSize> imagePixelSize,
                                                qreal devicePixelRatio) {
  const qreal ratio = devicePixelRatio > 0 && std::isfinite(devicePixelRatio) ? devicePixelRatio : 1.0;
  const QRect rounded(static_cast<int>(std::lround(frame.x())), static_cast<int>(std::lround(frame.y())),
                      static_cast<int>(std::lround(frame.width())),
                      static_cast<int>(std::lround(frame.height())));
  const int longer = static_cast<int>(std::lround(std::max(frame.width(), frame.height()) * ratio));
  if (longer <= 0) return {rounded, std::nullopt};
  if (!imagePixelSize || imagePixelSize->width() < 1 || imagePixelSize->height() < 1)
    return {rounded, longer};
  const QSize decoded = downsampledSize(*imagePixelSize, longer);
  if (decoded == *imagePixelSize && std::max(decoded.width(), decoded.height()) < longer) {
    // A frame larger than the image: decoded enlarged to the size the view fits it to in its
    // frame, so that the view draws it once, unscaled (an enlargement in the paint would be drawn
    // twice, roughly and then smoothly).
    QSizeF fitted = QSizeF(*imagePixelSize);
    fitted.scale(QSizeF(rounded.size()) * ratio, Qt::KeepAspectRatio);
    const int fittedLonger = static_cast<int>(std::lround(std::max(fitted.width(), fitted.height())));
    return {rounded, std::clamp(fittedLonger, std::max(decoded.width(), decoded.height()), longer)};
  }
  const QSize logical(static_cast<int>(std::lround(decoded.width() / ratio)),
                      static_cast<int>(std::lround(decoded.height() / ratio)));
  const QPointF centre = frame.center();
  const QRect rect(static_cast<int>(std::lround(centre.x() - logical.width() / 2.0)),
                   static_cast<int>(std::lround(centre.y() - logical.height() / 2.0)), logical.width(),
                   logical.height());
  return {rect, longer};
}

}  // namespace lorvex::ui
