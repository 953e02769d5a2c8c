// Turning a PNG file into a small JPEG for the results grid: libspng decodes the source row by
// row (a whole-image buffer is needed only for interlaced files), an area average shrinks it so
// that its longer side is at most the requested size (never enlarging), transparent pixels are
// composited over white, the eXIf orientation is applied, and TurboJPEG encodes the result.
// The JPEG is written to a hidden temporary file in the destination folder and renamed into
// place, so an interrupted write never leaves a truncated thumbnail under the final name.
//
// Untrusted input: image dimensions, pixel count, file size, ancillary chunk sizes and the
// buffer of an interlaced image are bounded by PNGDecodeLimits.
//
// Thread safety: every function is pure or works only on its own files; any thread, any number
// at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace lorvex::platform {

inline constexpr int kThumbnailJPEGQuality = 82;

// Packed 8-bit RGB rows.
struct RgbImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> pixels;
};

struct PixelSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool operator==(const PixelSize&) const = default;
};

// Thumbnails are rendered a few at a time, so the two buffers that grow with the input (the file
// read whole, the pixels of an interlaced image) are kept to 256 MiB each.
struct PNGDecodeLimits {
  std::uint32_t maximumWidth = 32768;
  std::uint32_t maximumHeight = 32768;
  std::uint64_t maximumPixelCount = std::uint64_t{1} << 28;
  std::size_t maximumFileSize = std::size_t{1} << 28;
  std::size_t maximumChunkSize = std::size_t{1} << 26;
  std::size_t maximumChunkCache = std::size_t{1} << 27;
  // The RGBA buffer of an interlaced image, which cannot be reduced while it is decoded.
  std::size_t maximumInterlacedBuffer = std::size_t{1} << 28;
};

class ThumbnailCodecError : public std::runtime_error {
 public:
  enum class Stage {
    readSource,         // the source could not be opened or read, or is not a regular file
    decode,             // not a PNG, corrupt, or beyond the limits
    encode,             // the JPEG encoder failed
    createDestination,  // the temporary file could not be created
    write,              // writing or renaming the temporary file failed
  };
  ThumbnailCodecError(Stage stage, std::string message, int errorNumber = 0)
      : std::runtime_error(std::move(message)), stage_(stage), errorNumber_(errorNumber) {}
  Stage stage() const { return stage_; }
  int errorNumber() const { return errorNumber_; }

 private:
  Stage stage_;
  int errorNumber_;
};

// The thumbnail size of a width x height image: the longer side becomes `maxPixelSize` and the
// other keeps the proportion (rounded, at least 1); an image that already fits keeps its size.
PixelSize thumbnailSize(std::uint32_t width, std::uint32_t height, std::uint32_t maxPixelSize);

// The Orientation (1 to 8) of an EXIF block as a PNG eXIf chunk carries it (a TIFF header,
// optionally after "Exif\0\0"); 1 when it is absent or malformed.
int exifOrientation(std::span<const std::uint8_t> exif);

// The image turned upright for an EXIF orientation (2 to 8 flip and rotate; others change nothing).
RgbImage orientedImage(const RgbImage& image, int orientation);

// Decodes the PNG bytes into an upright thumbnail. Throws ThumbnailCodecError (Stage::decode).
RgbImage decodePNGThumbnail(std::span<const std::uint8_t> png, std::uint32_t maxPixelSize,
                            const PNGDecodeLimits& limits = {});

// JPEG bytes with 4:2:0 chroma subsampling. Throws ThumbnailCodecError (Stage::encode).
std::vector<std::uint8_t> encodeJPEG(const RgbImage& image, int quality = kThumbnailJPEGQuality);

// Writes the bytes to a hidden temporary file beside `path`, then renames it over `path`.
// Throws ThumbnailCodecError (Stage::createDestination or Stage::write); nothing is left behind
// on failure.
void writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// The whole pipeline: read the source (regular files only, opened non-blocking), decode,
// encode and write `targetPath` atomically. The target's folder must exist.
void writePNGThumbnail(const std::string& sourcePath, const std::string& targetPath,
                       std::uint32_t maxPixelSize, const PNGDecodeLimits& limits = {});

}  // namespace lorvex::platform
