#include "database/internal/new_row_bounds.h"

#include "database/internal/row_mappers.h"

namespace lorvex {

NewRowBounds NewRowBounds::read(SQLiteConnection& connection) {
  NewRowBounds bounds;
  const std::int64_t mediaFileID =
      connection.query("SELECT COALESCE(MAX(id), 0) FROM media_files", {}, rows::firstInt64OrZero);
  const bool mediaDependentsAbove =
      connection.query(
          "SELECT EXISTS (SELECT 1 FROM metadata_payloads WHERE media_file_id > ?1) OR EXISTS (SELECT 1 FROM "
          "generation_records WHERE media_file_id > ?1) OR EXISTS (SELECT 1 FROM tag_occurrences WHERE "
          "media_file_id > ?1) OR EXISTS (SELECT 1 FROM media_tag_index WHERE media_file_id > ?1)",
          {mediaFileID}, rows::firstInt64OrZero) != 0;
  if (!mediaDependentsAbove) bounds.mediaFileID = mediaFileID;

  const std::int64_t recordID =
      connection.query("SELECT COALESCE(MAX(id), 0) FROM generation_records", {}, rows::firstInt64OrZero);
  const bool recordDependentsAbove =
      connection.query(
          "SELECT EXISTS (SELECT 1 FROM prompt_segments WHERE generation_record_id > ?1) OR EXISTS (SELECT 1 "
          "FROM generation_parameters WHERE generation_record_id > ?1)",
          {recordID}, rows::firstInt64OrZero) != 0;
  if (!recordDependentsAbove) bounds.generationRecordID = recordID;
  return bounds;
}

}  // namespace lorvex
