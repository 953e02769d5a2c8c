#include "platform/thumbnail_codec.h"

#include <fcntl.h>
#include <spng.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/regular_file.h"

namespace lorvex::platform {
namespace {

using Stage = ThumbnailCodecError::Stage;

[[noreturn]] void failDecode(std::string_view what, int spngError) {
  std::string message = "Unable to decode PNG: ";
  message.append(what);
  if (spngError != 0) message.append(" (").append(spng_strerror(spngError)).append(")");
  throw ThumbnailCodecError(Stage::decode, std::move(message));
}

struct SpngContextDeleter {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using SpngContext = std::unique_ptr<spng_ctx, SpngContextDeleter>;

// Where each source row lands in the output. Output rows and source rows are both measured in
// units of 1/(source height · output height), so every overlap is an exact integer: a source row
// covers at most two output rows because an output row is at least one source row high.
struct RowMapping {
  std::vector<std::uint32_t> cell;  // first output row each source row overlaps
  std::vector<float> firstShare;    // its share in that row (the rest goes to the next one)

  RowMapping(std::uint32_t sourceLength, std::uint32_t outputLength)
      : cell(sourceLength), firstShare(sourceLength) {
    const std::uint64_t source = sourceLength;
    const std::uint64_t output = outputLength;
    for (std::uint64_t y = 0; y < source; ++y) {
      const std::uint64_t begin = y * output;  // the row covers [begin, begin + output)
      const std::uint64_t index = begin / source;
      const std::uint64_t boundary = (index + 1) * source;
      cell[y] = static_cast<std::uint32_t>(index);
      firstShare[y] = boundary >= begin + output
                          ? 1.0f
                          : static_cast<float>(boundary - begin) / static_cast<float>(output);
    }
  }
};

// The source pixels one output column averages, in the same exact units: a run of whole pixels
// and at most one partly covered pixel on each side.
struct ColumnSpan {
  static constexpr std::uint32_t kNone = UINT32_MAX;
  std::uint32_t fullBegin = 0;
  std::uint32_t fullEnd = 0;
  std::uint32_t left = kNone;
  std::uint32_t right = kNone;
  float leftShare = 0;
  float rightShare = 0;
};

std::vector<ColumnSpan> columnSpans(std::uint32_t sourceWidth, std::uint32_t outputWidth) {
  std::vector<ColumnSpan> spans(outputWidth);
  const std::uint64_t source = sourceWidth;
  const std::uint64_t output = outputWidth;
  for (std::uint64_t column = 0; column < output; ++column) {
    const std::uint64_t begin = column * source;  // the column covers [begin, end)
    const std::uint64_t end = begin + source;
    ColumnSpan& span = spans[column];
    span.fullBegin = static_cast<std::uint32_t>((begin + output - 1) / output);
    span.fullEnd = static_cast<std::uint32_t>(end / output);
    if (begin % output != 0) {
      span.left = static_cast<std::uint32_t>(begin / output);
      span.leftShare = static_cast<float>((span.left + 1) * output - begin) / static_cast<float>(output);
    }
    if (end % output != 0) {
      span.right = static_cast<std::uint32_t>(end / output);
      span.rightShare = static_cast<float>(end - span.right * output) / static_cast<float>(output);
    }
  }
  return spans;
}

// Area-average reduction fed one source row at a time, with alpha composited over white first
// (compositing is linear, so doing it per source pixel equals compositing the averaged result).
// Whole pixels are summed in integers; only the partly covered edge pixels are weighted.
class AreaReducer {
 public:
  AreaReducer(std::uint32_t sourceWidth, std::uint32_t sourceHeight, PixelSize output)
      : output_(output),
        columns_(columnSpans(sourceWidth, output.width)),
        rows_(sourceHeight, output.height),
        opaqueRow_(static_cast<std::size_t>(sourceWidth) * 3),
        rowSums_(static_cast<std::size_t>(output.width) * 3),
        sums_(static_cast<std::size_t>(output.width) * (output.height + 1) * 3),
        // Each output pixel gathers (source area / output area) pixels of weight 1.
        scale_(static_cast<float>(static_cast<double>(output.width) * output.height /
                                  (static_cast<double>(sourceWidth) * sourceHeight))) {}

  void addRow(std::uint32_t y, const std::uint8_t* row, int channels) {
    const std::uint8_t* rgb = channels == 4 ? compositedOverWhite(row) : row;
    for (std::size_t column = 0; column < columns_.size(); ++column) {
      const ColumnSpan& span = columns_[column];
      std::uint32_t red = 0;
      std::uint32_t green = 0;
      std::uint32_t blue = 0;
      for (const std::uint8_t *pixel = rgb + std::size_t{span.fullBegin} * 3,
                              *end = rgb + std::size_t{span.fullEnd} * 3;
           pixel < end; pixel += 3) {
        red += pixel[0];
        green += pixel[1];
        blue += pixel[2];
      }
      float sums[3] = {static_cast<float>(red), static_cast<float>(green), static_cast<float>(blue)};
      if (span.left != ColumnSpan::kNone) {
        for (int c = 0; c < 3; ++c) sums[c] += span.leftShare * rgb[std::size_t{span.left} * 3 + c];
      }
      if (span.right != ColumnSpan::kNone) {
        for (int c = 0; c < 3; ++c) sums[c] += span.rightShare * rgb[std::size_t{span.right} * 3 + c];
      }
      std::copy_n(sums, 3, &rowSums_[column * 3]);
    }
    const std::size_t stride = static_cast<std::size_t>(output_.width) * 3;
    const float share = rows_.firstShare[y];
    float* first = &sums_[rows_.cell[y] * stride];
    for (std::size_t i = 0; i < stride; ++i) first[i] += rowSums_[i] * share;
    if (share != 1.0f) {
      const float rest = 1.0f - share;
      float* second = first + stride;
      for (std::size_t i = 0; i < stride; ++i) second[i] += rowSums_[i] * rest;
    }
  }

  RgbImage finish() const {
    RgbImage image;
    image.width = output_.width;
    image.height = output_.height;
    image.pixels.resize(static_cast<std::size_t>(output_.width) * output_.height * 3);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
      const float value = std::nearbyint(sums_[i] * scale_);
      image.pixels[i] = static_cast<std::uint8_t>(std::clamp(value, 0.0f, 255.0f));
    }
    return image;
  }

 private:
  const std::uint8_t* compositedOverWhite(const std::uint8_t* row) {
    std::uint8_t* out = opaqueRow_.data();
    const std::size_t width = opaqueRow_.size() / 3;
    for (std::size_t x = 0; x < width; ++x, row += 4, out += 3) {
      const std::uint32_t alpha = row[3];
      if (alpha == 255) {
        out[0] = row[0];
        out[1] = row[1];
        out[2] = row[2];
      } else {
        const std::uint32_t white = 255 * (255 - alpha) + 127;  // rounds the division below
        out[0] = static_cast<std::uint8_t>((row[0] * alpha + white) / 255);
        out[1] = static_cast<std::uint8_t>((row[1] * alpha + white) / 255);
        out[2] = static_cast<std::uint8_t>((row[2] * alpha + white) / 255);
      }
    }
    return opaqueRow_.data();
  }

  PixelSize output_;
  std::vector<ColumnSpan> columns_;
  RowMapping rows_;
  std::vector<std::uint8_t> opaqueRow_;
  std::vector<float> rowSums_;
  std::vector<float> sums_;  // one spare row for the share that falls past the last row
  float scale_;
};

std::optional<int> orientationFromContext(spng_ctx* context) {
  spng_exif exif{};
  if (spng_get_exif(context, &exif) != 0 || exif.data == nullptr) return std::nullopt;
  return exifOrientation({reinterpret_cast<const std::uint8_t*>(exif.data), exif.length});
}

}  // namespace

PixelSize thumbnailSize(std::uint32_t width, std::uint32_t height, std::uint32_t maxPixelSize) {
  const std::uint32_t longer = std::max(width, height);
  if (maxPixelSize == 0 || longer <= maxPixelSize) return {width, height};
  const double scale = static_cast<double>(maxPixelSize) / longer;
  const auto scaled = [&](std::uint32_t length) {
    if (length == longer) return maxPixelSize;
    return std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::lround(length * scale)));
  };
  return {scaled(width), scaled(height)};
}

int exifOrientation(std::span<const std::uint8_t> exif) {
  static constexpr std::uint8_t kExifPrefix[] = {'E', 'x', 'i', 'f', 0, 0};
  if (exif.size() >= sizeof kExifPrefix &&
      std::equal(std::begin(kExifPrefix), std::end(kExifPrefix), exif.begin())) {
    exif = exif.subspan(sizeof kExifPrefix);
  }
  if (exif.size() < 8) return 1;
  bool little;
  if (exif[0] == 'I' && exif[1] == 'I' && exif[2] == 42 && exif[3] == 0) {
    little = true;
  } else if (exif[0] == 'M' && exif[1] == 'M' && exif[2] == 0 && exif[3] == 42) {
    little = false;
  } else {
    return 1;
  }
  const auto read16 = [&](std::size_t at) -> std::uint32_t {
    return little ? exif[at] | (exif[at + 1] << 8) : (exif[at] << 8) | exif[at + 1];
  };
  const auto read32 = [&](std::size_t at) -> std::uint64_t {
    return little ? (std::uint64_t{read16(at + 2)} << 16) | read16(at)
                  : (std::uint64_t{read16(at)} << 16) | read16(at + 2);
  };
  const std::uint64_t directory = read32(4);
  if (directory + 2 > exif.size()) return 1;
  const std::uint32_t entries = read16(static_cast<std::size_t>(directory));
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::uint64_t entry = directory + 2 + std::uint64_t{i} * 12;
    if (entry + 12 > exif.size()) return 1;
    const auto at = static_cast<std::size_t>(entry);
    if (read16(at) != 0x0112) continue;
    // SHORT, one value, stored in the first two bytes of the value field.
    if (read16(at + 2) != 3 || read32(at + 4) != 1) return 1;
    const std::uint32_t value = read16(at + 8);
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
  }
  return 1;
}

RgbImage orientedImage(const RgbImage& image, int orientation) {
  if (orientation < 2 || orientation > 8) return image;
  const std::uint32_t width = image.width;
  const std::uint32_t height = image.height;
  const bool swaps = orientation >= 5;
  RgbImage result;
  result.width = swaps ? height : width;
  result.height = swaps ? width : height;
  result.pixels.resize(image.pixels.size());
  for (std::uint32_t y = 0; y < result.height; ++y) {
    for (std::uint32_t x = 0; x < result.width; ++x) {
      // The stored pixel that the upright image shows at (x, y).
      std::uint32_t sourceX = x;
      std::uint32_t sourceY = y;
      switch (orientation) {
        case 2:
          sourceX = width - 1 - x;
          break;
        case 3:
          sourceX = width - 1 - x;
          sourceY = height - 1 - y;
          break;
        case 4:
          sourceY = height - 1 - y;
          break;
        case 5:
          sourceX = y;
          sourceY = x;
          break;
        case 6:
          sourceX = y;
          sourceY = height - 1 - x;
          break;
        case 7:
          sourceX = width - 1 - y;
          sourceY = height - 1 - x;
          break;
        case 8:
          sourceX = width - 1 - y;
          sourceY = x;
          break;
        default:
          break;
      }
      const std::size_t from = (static_cast<std::size_t>(sourceY) * width + sourceX) * 3;
      const std::size_t to = (static_cast<std::size_t>(y) * result.width + x) * 3;
      std::copy_n(&image.pixels[from], 3, &result.pixels[to]);
    }
  }
  return result;
}

RgbImage decodePNGThumbnail(std::span<const std::uint8_t> png, std::uint32_t maxPixelSize,
                            const PNGDecodeLimits& limits) {
  SpngContext context(spng_ctx_new(0));
  if (!context) failDecode("out of memory", 0);
  spng_set_image_limits(context.get(), limits.maximumWidth, limits.maximumHeight);
  spng_set_chunk_limits(context.get(), limits.maximumChunkSize, limits.maximumChunkCache);
  if (int error = spng_set_png_buffer(context.get(), png.data(), png.size()); error != 0) {
    failDecode("unreadable data", error);
  }
  spng_ihdr header{};
  if (int error = spng_get_ihdr(context.get(), &header); error != 0)
    failDecode("not a readable PNG image", error);
  if (std::uint64_t{header.width} * header.height > limits.maximumPixelCount) {
    failDecode("the image has too many pixels", 0);
  }

  spng_trns transparency{};
  const bool hasAlpha = header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                        header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ||
                        spng_get_trns(context.get(), &transparency) == 0;
  const int format = hasAlpha ? SPNG_FMT_RGBA8 : SPNG_FMT_RGB8;
  const int channels = hasAlpha ? 4 : 3;
  const int flags = hasAlpha ? SPNG_DECODE_TRNS : 0;
  const std::size_t rowLength = static_cast<std::size_t>(header.width) * channels;

  const PixelSize output = thumbnailSize(header.width, header.height, maxPixelSize);
  AreaReducer reducer(header.width, header.height, output);
  std::optional<int> orientation;

  if (header.interlace_method == SPNG_INTERLACE_NONE) {
    if (int error = spng_decode_image(context.get(), nullptr, 0, format, flags | SPNG_DECODE_PROGRESSIVE);
        error != 0) {
      failDecode("corrupt image data", error);
    }
    orientation = orientationFromContext(context.get());
    std::vector<std::uint8_t> row(rowLength);
    for (std::uint32_t y = 0; y < header.height; ++y) {
      const int error = spng_decode_row(context.get(), row.data(), row.size());
      if (error != 0 && error != SPNG_EOI) failDecode("corrupt image data", error);
      reducer.addRow(y, row.data(), channels);
      if (error == SPNG_EOI && y + 1 != header.height) failDecode("truncated image data", error);
    }
  } else {
    std::size_t size = 0;
    if (int error = spng_decoded_image_size(context.get(), format, &size); error != 0) {
      failDecode("unsupported image layout", error);
    }
    if (size > limits.maximumInterlacedBuffer) failDecode("the interlaced image is too large", 0);
    std::vector<std::uint8_t> pixels(size);
    if (int error = spng_decode_image(context.get(), pixels.data(), pixels.size(), format, flags);
        error != 0) {
      failDecode("corrupt image data", error);
    }
    for (std::uint32_t y = 0; y < header.height; ++y) {
      reducer.addRow(y, pixels.data() + static_cast<std::size_t>(y) * rowLength, channels);
    }
  }
  if (!orientation) {
    // An eXIf chunk may also follow the image data; damage after the image does not spoil it.
    if (spng_decode_chunks(context.get()) == 0) orientation = orientationFromContext(context.get());
  }
  return orientedImage(reducer.finish(), orientation.value_or(1));
}

std::vector<std::uint8_t> encodeJPEG(const RgbImage& image, int quality) {
  tjhandle handle = tjInitCompress();
  if (handle == nullptr) throw ThumbnailCodecError(Stage::encode, "Unable to start the JPEG encoder");
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const int result =
      tjCompress2(handle, image.pixels.data(), static_cast<int>(image.width), 0,
                  static_cast<int>(image.height), TJPF_RGB, &buffer, &size, TJSAMP_420, quality, 0);
  std::string failure =
      result != 0 ? std::string("Unable to encode JPEG: ") + tjGetErrorStr2(handle) : std::string();
  tjDestroy(handle);
  if (result != 0) {
    tjFree(buffer);
    throw ThumbnailCodecError(Stage::encode, std::move(failure));
  }
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  tjFree(buffer);
  return bytes;
}

void writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temporary = folder + (folder.back() == '/' ? "." : "/.") + name + ".tmp-XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    throw ThumbnailCodecError(Stage::createDestination, "Unable to create " + temporary, error);
  }
  const auto fail = [&](int error) {
    ::unlink(temporary.c_str());
    throw ThumbnailCodecError(Stage::write, "Unable to write " + path, error);
  };
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      fail(error);
    }
    written += static_cast<std::size_t>(count);
  }
  if (::close(fd) != 0) fail(errno);
  if (::rename(temporary.c_str(), path.c_str()) != 0) fail(errno);
}

void writePNGThumbnail(const std::string& sourcePath, const std::string& targetPath,
                       std::uint32_t maxPixelSize, const PNGDecodeLimits& limits) {
  std::vector<std::uint8_t> png;
  try {
    RegularFile source(sourcePath);
    png = source.readAll(limits.maximumFileSize);
  } catch (const FileError& error) {
    throw ThumbnailCodecError(Stage::readSource, error.what(), error.errorNumber());
  }
  const RgbImage thumbnail = decodePNGThumbnail(png, maxPixelSize, limits);
  png = {};
  const std::vector<std::uint8_t> jpeg = encodeJPEG(thumbnail, kThumbnailJPEGQuality);
  writeFileAtomically(targetPath, jpeg);
}

}  // namespace lorvex::platform
