// Writing the parsed generation metadata of one image: its primary generation record and, under
// it, the prompt segments, generation parameters, model usages and character caption segments with
// their region centres. Runs inside the per-image projection transaction; the caller holds the
// connection's lock.
//
// Every projection replaces the primary record: the old row goes, and its segments, regions,
// parameters, model usages and tag occurrences go with it through their cascading keys.
//
// Failures: a failing statement throws SQLiteImageRepositoryV3Error from the statement layer (two
// parameters with the same key violate the table's key), and the caller's transaction rolls back;
// a record that cannot be read back throws recordNotFound ("generation record for media 12").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/internal/metadata_payload_storage.h"
#include "database/internal/sqlite_connection.h"
#include "model/generation_metadata.h"

namespace lorvex {

// A model usage of the metadata that resolved to a models row.
struct ModelUsageProjection {
  std::int64_t modelID = 0;
  std::string role;

  friend bool operator==(const ModelUsageProjection&, const ModelUsageProjection&) = default;
};

// The id of the media file's primary generation record; recordNotFound when it has none.
std::int64_t readPrimaryGenerationRecordID(SQLiteConnection& connection, std::int64_t mediaFileID);

// Deletes the primary record and inserts the new one with its segments, parameters and model
// usages; returns the new record's id. `source` comes from upsertMetadataSource.
std::int64_t replacePrimaryGenerationRecord(SQLiteConnection& connection, const GenerationMetadata& metadata,
                                            const MetadataSourceIDs& source, std::int64_t mediaFileID,
                                            const std::vector<ModelUsageProjection>& models, double now);

// Every prompt segment of the record, rewritten: contents trimmed, empty ones left out, indexes
// counting the stored rows from 0.
void replacePromptSegments(SQLiteConnection& connection, const GenerationMetadata& metadata,
                           std::int64_t generationRecordID);

// Every parameter with at least one value; a parameter without any value writes no row.
void replaceGenerationParameters(SQLiteConnection& connection, const GenerationMetadata& metadata,
                                 std::int64_t generationRecordID);

// The character caption segments of one polarity ("character" or "character_negative"), indexed
// from 0 like the prompt segments (the role tells them apart), each with its region centres.
void replaceCharacterSegments(SQLiteConnection& connection, const std::vector<CharacterCaption>& captions,
                              std::int64_t generationRecordID, bool negative);

}  // namespace lorvex
