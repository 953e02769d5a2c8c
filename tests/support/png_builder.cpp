#include "support/png_builder.h"

#include <libdeflate.h>

#include <fstream>
#include <memory>
#include <stdexcept>

namespace lorvex::testing {

std::uint32_t pngCRC(std::string_view typeAndData) {
  return libdeflate_crc32(0, typeAndData.data(), typeAndData.size());
}

std::string bigEndian32(std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
  return bytes;
}

std::string zlibCompressed(std::string_view data, int level) {
  std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
      libdeflate_alloc_compressor(level), libdeflate_free_compressor);
  if (!compressor) throw std::runtime_error("cannot allocate a compressor");
  std::string out(libdeflate_zlib_compress_bound(compressor.get(), data.size()), '\0');
  const std::size_t written =
      libdeflate_zlib_compress(compressor.get(), data.data(), data.size(), out.data(), out.size());
  if (written == 0) throw std::runtime_error("compression failed");
  out.resize(written);
  return out;
}

std::string zlibStored(std::string_view data) {
  std::string out("\x78\x01", 2);
  std::size_t offset = 0;
  do {
    const std::size_t blockSize = std::min<std::size_t>(65'535, data.size() - offset);
    const bool final = offset + blockSize == data.size();
    out.push_back(final ? 1 : 0);
    out.push_back(static_cast<char>(blockSize & 0xFF));
    out.push_back(static_cast<char>(blockSize >> 8));
    out.push_back(static_cast<char>(~blockSize & 0xFF));
    out.push_back(static_cast<char>((~blockSize >> 8) & 0xFF));
    out.append(data.substr(offset, blockSize));
    offset += blockSize;
  } while (offset < data.size());
  out += bigEndian32(libdeflate_adler32(1, data.data(), data.size()));
  return out;
}

PNGBuilder::PNGBuilder(bool withSignature) {
  if (withSignature) bytes_.assign("\x89PNG\r\n\x1a\n", 8);
}

PNGBuilder& PNGBuilder::chunk(std::string_view type, std::string_view data) {
  return chunk(type, data, static_cast<std::uint32_t>(data.size()));
}

PNGBuilder& PNGBuilder::chunk(std::string_view type, std::string_view data, std::uint32_t declaredLength,
                              std::optional<std::uint32_t> crc) {
  std::string typeAndData(type);
  typeAndData.append(data);
  bytes_ += bigEndian32(declaredLength);
  bytes_ += typeAndData;
  bytes_ += bigEndian32(crc.value_or(pngCRC(typeAndData)));
  return *this;
}

PNGBuilder& PNGBuilder::raw(std::string_view bytes) {
  bytes_.append(bytes);
  return *this;
}

PNGBuilder& PNGBuilder::tEXt(std::string_view keyword, std::string_view text) {
  std::string data(keyword);
  data.push_back('\0');
  data.append(text);
  return chunk("tEXt", data);
}

PNGBuilder& PNGBuilder::zTXt(std::string_view keyword, std::string_view text) {
  return zTXtRaw(keyword, 0, zlibCompressed(text));
}

PNGBuilder& PNGBuilder::zTXtRaw(std::string_view keyword, std::uint8_t method, std::string_view compressed) {
  std::string data(keyword);
  data.push_back('\0');
  data.push_back(static_cast<char>(method));
  data.append(compressed);
  return chunk("zTXt", data);
}

PNGBuilder& PNGBuilder::iTXt(std::string_view keyword, std::string_view text, std::uint8_t compressionFlag,
                             std::uint8_t compressionMethod, std::string_view language,
                             std::string_view translatedKeyword, bool textIsRaw) {
  std::string data(keyword);
  data.push_back('\0');
  data.push_back(static_cast<char>(compressionFlag));
  data.push_back(static_cast<char>(compressionMethod));
  data.append(language);
  data.push_back('\0');
  data.append(translatedKeyword);
  data.push_back('\0');
  data.append(compressionFlag == 1 && !textIsRaw ? zlibCompressed(text) : std::string(text));
  return chunk("iTXt", data);
}

PNGBuilder& PNGBuilder::ihdr(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth,
                             std::uint8_t colorType, std::uint8_t interlace) {
  std::string data = bigEndian32(width) + bigEndian32(height);
  data.push_back(static_cast<char>(bitDepth));
  data.push_back(static_cast<char>(colorType));
  data.push_back('\0');  // compression method
  data.push_back('\0');  // filter method
  data.push_back(static_cast<char>(interlace));
  return chunk("IHDR", data);
}

PNGBuilder& PNGBuilder::iend() {
  return chunk("IEND", "");
}

void PNGBuilder::writeTo(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace lorvex::testing
