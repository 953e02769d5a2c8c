#include "database/internal/metadata_payload_blob.h"

#include <libdeflate.h>

#include <memory>

namespace lorvex {

namespace {

// Level 6 is libdeflate's default: close to the best ratio of the slower levels on JSON workflows
// at a fraction of their time.
constexpr int kCompressionLevel = 6;

struct CompressorDeleter {
  void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};
struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
};

// Allocating a compressor costs more than compressing a small text, so each thread keeps one.
libdeflate_compressor* threadCompressor() {
  thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
      libdeflate_alloc_compressor(kCompressionLevel));
  return compressor.get();
}

libdeflate_decompressor* threadDecompressor() {
  thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
      libdeflate_alloc_decompressor());
  return decompressor.get();
}

}  // namespace

std::optional<std::vector<std::uint8_t>> compressPayloadBytes(std::string_view bytes) {
  if (bytes.empty()) return std::nullopt;
  libdeflate_compressor* compressor = threadCompressor();
  // Without a compressor (out of memory) the text is simply stored as it is.
  if (compressor == nullptr) return std::nullopt;
  std::vector<std::uint8_t> output(bytes.size());
  const std::size_t written =
      libdeflate_deflate_compress(compressor, bytes.data(), bytes.size(), output.data(), output.size());
  if (written == 0) return std::nullopt;
  output.resize(written);
  return output;
}

std::optional<std::string> inflatePayloadBlob(std::span<const std::uint8_t> compressed,
                                              std::int64_t byteLength) {
  if (byteLength < 0) return std::nullopt;
  libdeflate_decompressor* decompressor = threadDecompressor();
  if (decompressor == nullptr) return std::nullopt;
  std::string text(static_cast<std::size_t>(byteLength), '\0');
  std::size_t produced = 0;
  const libdeflate_result result = libdeflate_deflate_decompress(
      decompressor, compressed.data(), compressed.size(), text.data(), text.size(), &produced);
  if (result != LIBDEFLATE_SUCCESS || produced != text.size()) return std::nullopt;
  return text;
}

RawPayloadBlobProjection blobProjection(std::string_view text) {
  const auto byteLength = static_cast<std::int64_t>(text.size());
  if (text.size() > kPayloadCompressionThreshold) {
    if (auto compressed = compressPayloadBytes(text); compressed && compressed->size() < text.size()) {
      return {SQLiteV3Binding::null(), SQLiteV3Binding::Blob{std::move(*compressed)},
              SQLiteV3Binding(kPayloadCompressionLabel), byteLength};
    }
  }
  return {SQLiteV3Binding(text), SQLiteV3Binding::null(), SQLiteV3Binding::null(), byteLength};
}

std::vector<RawMetadataPayload> rawPayloads(const GenerationMetadata& metadata) {
  std::vector<RawMetadataPayload> payloads;
  if (!metadata.rawPayloads.empty()) {
    for (const auto& payload : metadata.rawPayloads) {
      if (!payload.container.empty() && !payload.key.empty()) payloads.push_back(payload);
    }
    return payloads;
  }
  auto chunks = metadata.rawTextChunks;
  if (metadata.rawCommentJSON && !metadata.rawCommentJSON->empty())
    chunks["Comment"] = *metadata.rawCommentJSON;
  for (const auto& [keyword, text] : chunks) {
    if (keyword.empty()) continue;
    payloads.push_back(RawMetadataPayload{"png_text", keyword, 0, text, "observed", std::nullopt});
  }
  return payloads;
}

}  // namespace lorvex
