// Decoding an image file from disk for display, in full or downsampled. Library folders may hold
// anything under an image's name (a FIFO would block a plain open for ever), so the file is opened
// non-blocking and only a regular file is read. Orientation metadata is applied; a file without
// any keeps its stored orientation. Each decode is one "Decode" signpost interval (LORVEX_TRACE),
// begun with "kind=full" or "kind=downsample".
//
// Thread safety: callable from any thread; meant for a worker thread, never the GUI thread (a full
// decode of a large image takes a long time).
#pragma once

#include <QImage>
#include <optional>
#include <string>

namespace lorvex::ui {

// The largest decoded image, in MiB, any image reader in the process may allocate. Qt's default
// (128 MB) refuses large generator output (an 8200 x 8200 RGBA image is 269 MB decoded).
inline constexpr int kImageReaderAllocationLimitMiB = 512;

struct LocalImageDecodeResult {
  QImage image;                      // null: no image
  std::optional<std::string> error;  // set when the file could not be read (full decode only)
};

// Full decode (`maxPixelSize` absent, 0 or below): the whole file; a file that cannot be opened or
// is not a regular file gives an error; a readable file that is not an image gives no image and no
// error. Downsampled decode: an image whose longer side is at most `maxPixelSize` pixels, the
// aspect ratio kept and never enlarged; any failure gives no image and no error.
LocalImageDecodeResult decodeLocalImage(const std::string& path, std::optional<int> maxPixelSize);

// The size `source` takes when its longer side is brought down to `maxPixelSize`; unchanged when it
// already fits. Each side stays at least 1.
QSize downsampledSize(QSize source, int maxPixelSize);

}  // namespace lorvex::ui
