#include "database/internal/metadata_payload_storage.h"

#include <algorithm>
#include <string>

#include "database/internal/metadata_payload_blob.h"
#include "database/internal/row_mappers.h"
#include "platform/sha256.h"

namespace lorvex {

std::int64_t upsertMetadataProvider(SQLiteConnection& connection, std::string_view code,
                                    std::string_view displayName) {
  connection.execute(
      "INSERT INTO metadata_providers (code, display_name) VALUES (?, ?) ON CONFLICT(code) DO UPDATE SET "
      "display_name = excluded.display_name",
      {code, displayName});
  return connection.query("SELECT id FROM metadata_providers WHERE code = ?", {code},
                          rows::requiredFirstInt64("metadata provider ", code));
}

std::int64_t upsertMetadataFormat(SQLiteConnection& connection, std::int64_t providerID,
                                  std::string_view code, std::string_view displayName) {
  connection.execute(
      "INSERT INTO metadata_formats (provider_id, code, display_name) VALUES (?, ?, ?) ON CONFLICT(code) DO "
      "UPDATE SET provider_id = excluded.provider_id, display_name = excluded.display_name",
      {providerID, code, displayName});
  return connection.query("SELECT id FROM metadata_formats WHERE code = ?", {code},
                          rows::requiredFirstInt64("metadata format ", code));
}

MetadataSourceIDs upsertMetadataSource(SQLiteConnection& connection, const GenerationMetadata& metadata,
                                       MetadataSourceCache* cache) {
  MetadataSourceIDs ids;
  if (!metadata.provider) return ids;
  const GenerationMetadataProvider& provider = *metadata.provider;
  if (cache != nullptr) {
    const auto known = cache->providers.find(provider.code);
    if (known != cache->providers.end() && known->second.first == provider.displayName)
      ids.providerID = known->second.second;
  }
  if (!ids.providerID) {
    ids.providerID = upsertMetadataProvider(connection, provider.code, provider.displayName);
    if (cache != nullptr)
      cache->providers.insert_or_assign(provider.code, std::pair(provider.displayName, *ids.providerID));
  }
  if (!metadata.format) return ids;
  const GenerationMetadataFormat& format = *metadata.format;
  if (cache != nullptr) {
    const auto known = cache->formats.find(format.code);
    if (known != cache->formats.end() && known->second.providerID == *ids.providerID &&
        known->second.displayName == format.displayName)
      ids.formatID = known->second.id;
  }
  if (!ids.formatID) {
    ids.formatID = upsertMetadataFormat(connection, *ids.providerID, format.code, format.displayName);
    if (cache != nullptr) {
      cache->formats.insert_or_assign(
          format.code, MetadataSourceCache::Format{*ids.providerID, format.displayName, *ids.formatID});
    }
  }
  return ids;
}

void replaceMetadataPayloads(SQLiteConnection& connection, const GenerationMetadata& metadata,
                             const MetadataSourceIDs& source, std::int64_t mediaFileID, double now,
                             bool clearFirst) {
  if (clearFirst) connection.execute("DELETE FROM metadata_payloads WHERE media_file_id = ?", {mediaFileID});
  auto payloads = rawPayloads(metadata);
  if (payloads.empty()) return;
  std::stable_sort(payloads.begin(), payloads.end(),
                   [](const RawMetadataPayload& a, const RawMetadataPayload& b) {
                     if (a.container != b.container) return a.container < b.container;
                     if (a.key != b.key) return a.key < b.key;
                     return a.occurrenceIndex < b.occurrenceIndex;
                   });
  for (const auto& payload : payloads) {
    const std::string digest = platform::sha256Hex(payload.text);
    // The same workflow text recurs across many images and every re-projection meets its own
    // texts again: only a text not stored yet is worth compressing.
    const bool stored =
        connection.query("SELECT 1 FROM metadata_payload_blobs WHERE sha256 = ?", {digest}, rows::exists);
    if (!stored) {
      RawPayloadBlobProjection blob = blobProjection(payload.text);
      connection.execute(
          "INSERT INTO metadata_payload_blobs (sha256, raw_text, compressed_blob, compression, byte_length, "
          "created_at) VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT(sha256) DO NOTHING",
          makeBindings(digest, std::move(blob.rawText), std::move(blob.compressedBlob),
                       std::move(blob.compression), blob.byteLength, now));
    }
    connection.execute(
        "INSERT INTO metadata_payloads (media_file_id, provider_id, format_id, container, payload_key, "
        "occurrence_index, blob_sha256, encoding, parse_status, parse_warning, captured_at) VALUES (?, ?, ?, "
        "?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT(media_file_id, container, payload_key, occurrence_index) DO "
        "UPDATE SET provider_id = excluded.provider_id, format_id = excluded.format_id, blob_sha256 = "
        "excluded.blob_sha256, encoding = excluded.encoding, parse_status = excluded.parse_status, "
        "parse_warning = excluded.parse_warning, captured_at = excluded.captured_at",
        {mediaFileID, source.providerID, source.formatID, payload.container, payload.key,
         payload.occurrenceIndex, digest, "utf-8", payload.parseStatus, payload.parseWarning, now});
  }
}

}  // namespace lorvex
