// The raw metadata texts an image keeps, and the form each is stored in: one content-addressed
// blob per distinct text, keyed by the SHA-256 of its exact bytes, compressed with raw DEFLATE
// (RFC 1951, no zlib header or checksum) when the text is longer than 4096 bytes and the result is
// smaller than the text.
//
// Thread safety: pure functions; each thread keeps its own compressor and decompressor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/sqlite_binding.h"
#include "model/generation_metadata.h"

namespace lorvex {

// Texts of at most this many bytes are always stored as they are.
inline constexpr std::size_t kPayloadCompressionThreshold = 4096;
// The label stored in metadata_payload_blobs.compression for raw DEFLATE data.
inline constexpr std::string_view kPayloadCompressionLabel = "zlib";

// One metadata_payload_blobs row: either rawText holds the text and the other two are NULL, or
// rawText is NULL, compressedBlob holds the DEFLATE bytes and compression the label. byteLength is
// the length of the text in bytes in both cases.
struct RawPayloadBlobProjection {
  SQLiteV3Binding rawText;
  SQLiteV3Binding compressedBlob;
  SQLiteV3Binding compression;
  std::int64_t byteLength = 0;

  friend bool operator==(const RawPayloadBlobProjection&, const RawPayloadBlobProjection&) = default;
};

// The stored form of `text` (see the header comment).
RawPayloadBlobProjection blobProjection(std::string_view text);

// Raw DEFLATE of `bytes` into a buffer of the input's size; nothing when the output does not fit.
std::optional<std::vector<std::uint8_t>> compressPayloadBytes(std::string_view bytes);

// The text of a compressed blob: raw DEFLATE data that must inflate to exactly `byteLength`
// bytes. Nothing when the data is damaged or has another length.
std::optional<std::string> inflatePayloadBlob(std::span<const std::uint8_t> compressed,
                                              std::int64_t byteLength);

// The payloads to store for the metadata: the parser's payloads with a non-empty container and
// key, in their order; or, when the parser gave none, one "png_text" payload per text chunk with a
// non-empty keyword (the "Comment" chunk replaced by a non-empty rawCommentJSON), parse status
// "observed", in keyword order.
std::vector<RawMetadataPayload> rawPayloads(const GenerationMetadata& metadata);

}  // namespace lorvex
