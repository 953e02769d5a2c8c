#include "ui/common/local_image_decoding.h"

#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/log.h"
#include "platform/regular_file.h"

namespace lorvex::ui {
namespace {

void raiseAllocationLimitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { QImageReader::setAllocationLimit(kImageReaderAllocationLimitMiB); });
}

}  // namespace

QSize downsampledSize(QSize source, int maxPixelSize) {
  const int longer = std::max(source.width(), source.height());
  if (maxPixelSize <= 0 || longer <= maxPixelSize) return source;
  const double scale = static_cast<double>(maxPixelSize) / longer;
  const auto side = [scale, maxPixelSize](int length) {
    return std::clamp(static_cast<int>(std::lround(length * scale)), 1, maxPixelSize);
  };
  return {side(source.width()), side(source.height())};
}

LocalImageDecodeResult decodeLocalImage(const std::string& path, std::optional<int> maxPixelSize) {
  raiseAllocationLimitOnce();
  const bool downsample = maxPixelSize.has_value() && *maxPixelSize > 0;
  const platform::SignpostInterval interval("Decode", downsample ? "kind=downsample" : "kind=full");
  LocalImageDecodeResult result;
  std::optional<platform::RegularFile> file;
  try {
    file.emplace(path);
  } catch (const platform::FileError& error) {
    if (!downsample) result.error = error.what();
    return result;
  }
  // The reader streams from the descriptor already checked; RegularFile keeps ownership of it.
  QFile device;
  if (!device.open(file->descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
    if (!downsample) result.error = "Unable to read file: " + device.errorString().toStdString();
    return result;
  }
  QImageReader reader(&device);
  reader.setAutoTransform(true);
  if (downsample) {
    const QSize size = reader.size();
    if (size.isValid()) {
      const QSize target = downsampledSize(size, *maxPixelSize);
      if (target != size) reader.setScaledSize(target);
    }
  }
  QImage image = reader.read();
  if (downsample && !image.isNull()) {
    // A format that cannot tell its size before decoding is scaled afterwards.
    const QSize target = downsampledSize(image.size(), *maxPixelSize);
    if (target != image.size()) image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  result.image = std::move(image);
  return result;
}

}  // namespace lorvex::ui
