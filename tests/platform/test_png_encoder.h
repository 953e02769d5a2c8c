// Writes small decodable PNG images for thumbnail tests through libspng's encoder: any colour
// type and bit depth, palettes with transparency, Adam7 interlacing and an eXIf block.
#pragma once

#include <spng.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace lorvex::testing {

using Rgba = std::array<std::uint8_t, 4>;

struct TestPNG {
  std::uint32_t width = 8;
  std::uint32_t height = 8;
  std::uint8_t colorType = SPNG_COLOR_TYPE_TRUECOLOR;
  std::uint8_t bitDepth = 8;
  bool interlaced = false;
  std::function<Rgba(std::uint32_t x, std::uint32_t y)> pixel = [](std::uint32_t, std::uint32_t) {
    return Rgba{0, 0, 0, 255};
  };
  std::optional<std::vector<std::uint8_t>> exif;
};

// A little-endian TIFF block whose first directory holds one Orientation entry.
inline std::vector<std::uint8_t> exifWithOrientation(std::uint16_t orientation) {
  return {'I',  'I',  42, 0, 8, 0, 0, 0,  // header, first directory at 8
          1,    0,                        // one entry
          0x12, 0x01, 3,  0, 1, 0, 0, 0, static_cast<std::uint8_t>(orientation),
          0,    0,    0,  0, 0, 0, 0};  // no next directory
}

inline std::vector<std::uint8_t> encodeTestPNG(const TestPNG& spec) {
  spng_ctx* context = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_option(context, SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr header{spec.width,
                   spec.height,
                   spec.bitDepth,
                   spec.colorType,
                   0,
                   0,
                   static_cast<std::uint8_t>(spec.interlaced ? SPNG_INTERLACE_ADAM7 : SPNG_INTERLACE_NONE)};
  spng_set_ihdr(context, &header);

  const bool wide = spec.bitDepth == 16;
  std::vector<std::uint8_t> data;
  const auto put = [&](std::uint8_t value) {
    if (wide) {
      // 16-bit samples in host order (little-endian here); the high byte equals the 8-bit value.
      const std::uint16_t sample = static_cast<std::uint16_t>(value * 257);
      data.push_back(static_cast<std::uint8_t>(sample & 0xff));
      data.push_back(static_cast<std::uint8_t>(sample >> 8));
    } else {
      data.push_back(value);
    }
  };
  std::map<Rgba, std::uint8_t> palette;
  for (std::uint32_t y = 0; y < spec.height; ++y) {
    for (std::uint32_t x = 0; x < spec.width; ++x) {
      const Rgba color = spec.pixel(x, y);
      switch (spec.colorType) {
        case SPNG_COLOR_TYPE_GRAYSCALE:
          put(color[0]);
          break;
        case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA:
          put(color[0]);
          put(color[3]);
          break;
        case SPNG_COLOR_TYPE_TRUECOLOR:
          put(color[0]);
          put(color[1]);
          put(color[2]);
          break;
        case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA:
          for (auto c : color) put(c);
          break;
        case SPNG_COLOR_TYPE_INDEXED: {
          const auto [entry, added] = palette.emplace(color, static_cast<std::uint8_t>(palette.size()));
          if (palette.size() > 256) throw std::runtime_error("too many colours for a palette");
          data.push_back(entry->second);
          break;
        }
        default:
          throw std::runtime_error("unknown colour type");
      }
    }
  }
  if (spec.colorType == SPNG_COLOR_TYPE_INDEXED) {
    spng_plte plte{};
    spng_trns trns{};
    plte.n_entries = static_cast<std::uint32_t>(palette.size());
    trns.n_type3_entries = plte.n_entries;
    for (const auto& [color, index] : palette) {
      plte.entries[index] = {color[0], color[1], color[2], 255};
      trns.type3_alpha[index] = color[3];
    }
    spng_set_plte(context, &plte);
    spng_set_trns(context, &trns);
  }
  if (spec.exif) {
    spng_exif exif{spec.exif->size(), reinterpret_cast<char*>(const_cast<std::uint8_t*>(spec.exif->data()))};
    if (int error = spng_set_exif(context, &exif); error != 0) throw std::runtime_error(spng_strerror(error));
  }
  if (int error = spng_encode_image(context, data.data(), data.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
      error != 0) {
    spng_ctx_free(context);
    throw std::runtime_error(std::string("spng encode: ") + spng_strerror(error));
  }
  std::size_t length = 0;
  int error = 0;
  auto* buffer = static_cast<std::uint8_t*>(spng_get_png_buffer(context, &length, &error));
  std::vector<std::uint8_t> png(buffer, buffer + length);
  std::free(buffer);
  spng_ctx_free(context);
  return png;
}

}  // namespace lorvex::testing
