// Writing the raw metadata texts of one image and the two small dictionaries (metadata providers
// and formats) that payload rows and generation records point to. Runs inside the per-image
// projection transaction; the caller holds the connection's lock.
//
// Failures: a failing statement throws SQLiteImageRepositoryV3Error from the statement layer, and
// the caller's transaction rolls back; a provider or format row that cannot be read back after
// its upsert throws recordNotFound ("metadata provider novelai", "metadata format comfyui").
// A text that does not compress is no failure: it is stored as it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "database/internal/sqlite_connection.h"
#include "model/generation_metadata.h"

namespace lorvex {

// The provider's id, its display name refreshed.
std::int64_t upsertMetadataProvider(SQLiteConnection& connection, std::string_view code,
                                    std::string_view displayName);

// The format's id; the latest call decides its provider and display name.
std::int64_t upsertMetadataFormat(SQLiteConnection& connection, std::int64_t providerID,
                                  std::string_view code, std::string_view displayName);

// The provider and format ids of a metadata value (each absent when the metadata has none; the
// format needs the provider).
struct MetadataSourceIDs {
  std::optional<std::int64_t> providerID;
  std::optional<std::int64_t> formatID;
};
// The providers and formats one transaction has written, by code, with the values written: an
// upsert of the same values again would leave the row as it is.
struct MetadataSourceCache {
  std::unordered_map<std::string, std::pair<std::string, std::int64_t>> providers;  // name, id
  struct Format {
    std::int64_t providerID = 0;
    std::string displayName;
    std::int64_t id = 0;
  };
  std::unordered_map<std::string, Format> formats;
};
// With a cache (kept by the caller for one transaction), what it already holds is not written again.
MetadataSourceIDs upsertMetadataSource(SQLiteConnection& connection, const GenerationMetadata& metadata,
                                       MetadataSourceCache* cache = nullptr);

// Replaces the payload rows of the media file by those of `rawPayloads(metadata)`, sorted by
// container, key and occurrence index, each pointing to the metadata's provider and format
// (`source`, from upsertMetadataSource). Blobs are write-once: a text already stored keeps its row
// (created_at included), and blobs are never deleted. `clearFirst` false: the media file has no
// payload rows yet.
void replaceMetadataPayloads(SQLiteConnection& connection, const GenerationMetadata& metadata,
                             const MetadataSourceIDs& source, std::int64_t mediaFileID, double now,
                             bool clearFirst = true);

}  // namespace lorvex
