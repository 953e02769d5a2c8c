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
#include "database/internal/new_row_bounds.h"
#include "database/internal/sqlite_connection.h"
#include "model/generation_metadata.h"

namespace lorvex {

// A model usage of the metadata that resolved to a models row.
struct ModelUsageProjection {
  std::int64_t modelID = 0;
  std::string role;

  friend bool operator==(const ModelUsageProjection&, const ModelUsageProjection&) = default;
};

// Deletes the primary record and inserts the new one with its segments, parameters and model
// usages; returns the new record's id. `source` comes from upsertMetadataSource. Nothing is
// deleted under a media file or record that `bounds` says this transaction created.
std::int64_t replacePrimaryGenerationRecord(SQLiteConnection& connection, const GenerationMetadata& metadata,
                                            const MetadataSourceIDs& source, std::int64_t mediaFileID,
                                            const std::vector<ModelUsageProjection>& models, double now,
                                            const NewRowBounds& bounds = {});

// Every prompt segment of the record, rewritten: contents trimmed, empty ones left out, indexes
// counting the stored rows from 0.
// `clearFirst` false: the record has no segments yet.
void replacePromptSegments(SQLiteConnection& connection, const GenerationMetadata& metadata,
                           std::int64_t generationRecordID, bool clearFirst = true);

// Every parameter with at least one value; a parameter without any value writes no row.
void replaceGenerationParameters(SQLiteConnection& connection, const GenerationMetadata& metadata,
                                 std::int64_t generationRecordID, bool clearFirst = true);

// The character caption segments of one polarity ("character" or "character_negative"), indexed
// from 0 like the prompt segments (the role tells them apart), each with its region centres.
// `clearFirst` false: the record has no segments of those roles yet.
void replaceCharacterSegments(SQLiteConnection& connection, const std::vector<CharacterCaption>& captions,
                              std::int64_t generationRecordID, bool negative, bool clearFirst = true);

// Whether replaceCharacterSegments must clear first on a record that was just created with these
// prompt segments: when one of them has a character role of that polarity.
bool promptSegmentsHaveCharacterRole(const GenerationMetadata& metadata, bool negative);

}  // namespace lorvex
