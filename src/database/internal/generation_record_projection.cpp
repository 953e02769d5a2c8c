#include "database/internal/generation_record_projection.h"

#include "database/internal/sql_paths.h"
#include "model/text/whitespace.h"

namespace lorvex {

std::int64_t replacePrimaryGenerationRecord(SQLiteConnection& connection, const GenerationMetadata& metadata,
                                            const MetadataSourceIDs& source, std::int64_t mediaFileID,
                                            const std::vector<ModelUsageProjection>& models, double now,
                                            const NewRowBounds& bounds) {
  const char* parseStatus = metadata.parseWarning ? "partial" : "parsed";
  std::optional<std::string> parser;
  if (metadata.format) {
    parser = metadata.format->code;
  } else if (metadata.provider) {
    parser = metadata.provider->code;
  }

  if (!bounds.isNewMediaFile(mediaFileID)) {
    connection.execute("DELETE FROM generation_records WHERE media_file_id = ? AND is_primary = 1",
                       {mediaFileID});
  }
  connection.execute(
      "INSERT INTO generation_records (media_file_id, provider_id, format_id, is_primary, parse_status, "
      "parser, title, prompt, negative_prompt, software, source, generation_time, seed, steps, scale, "
      "sampler, noise_schedule, request_type, version, signed_hash, base_caption, negative_base_caption, "
      "raw_comment_json, parse_warning, created_at, updated_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
      "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
      makeBindings(mediaFileID, source.providerID, source.formatID, 1, parseStatus, parser, metadata.title,
                   metadata.prompt, metadata.negativePrompt, metadata.software, metadata.source,
                   metadata.generationTime, metadata.seed, metadata.steps, metadata.scale, metadata.sampler,
                   metadata.noiseSchedule, metadata.requestType, metadata.version, metadata.signedHash,
                   metadata.baseCaption, metadata.negativeBaseCaption, metadata.rawCommentJSON,
                   metadata.parseWarning, now, now));
  const std::int64_t recordID = connection.lastInsertRowID();

  const bool clearFirst = !bounds.isNewGenerationRecord(recordID);
  replacePromptSegments(connection, metadata, recordID, clearFirst);
  replaceGenerationParameters(connection, metadata, recordID, clearFirst);
  for (const auto& usage : models) {
    connection.execute(
        "INSERT INTO model_usages (generation_record_id, model_id, usage_role) VALUES (?, ?, ?) ON "
        "CONFLICT(generation_record_id, model_id, usage_role) DO NOTHING",
        {recordID, usage.modelID, usage.role});
  }
  return recordID;
}

void replacePromptSegments(SQLiteConnection& connection, const GenerationMetadata& metadata,
                           std::int64_t generationRecordID, bool clearFirst) {
  if (clearFirst)
    connection.execute("DELETE FROM prompt_segments WHERE generation_record_id = ?", {generationRecordID});
  std::int64_t index = 0;
  for (const auto& segment : metadata.promptSegments) {
    const std::string_view content = text::trimmedWhitespace(segment.content);
    if (content.empty()) continue;
    connection.execute(
        "INSERT INTO prompt_segments (generation_record_id, segment_index, role, is_negative, content) "
        "VALUES (?, ?, ?, ?, ?)",
        makeBindings(generationRecordID, index, segment.role, segment.isNegative, content));
    ++index;
  }
}

void replaceGenerationParameters(SQLiteConnection& connection, const GenerationMetadata& metadata,
                                 std::int64_t generationRecordID, bool clearFirst) {
  if (clearFirst) {
    connection.execute("DELETE FROM generation_parameters WHERE generation_record_id = ?",
                       {generationRecordID});
  }
  SQLiteV3Bindings rows;
  for (const auto& parameter : metadata.generationParameters) {
    if (!parameter.integerValue && !parameter.realValue && !parameter.textValue) continue;
    rows.insert(rows.end(), {generationRecordID, parameter.key, parameter.integerValue, parameter.realValue,
                             parameter.textValue});
  }
  sql::forEachRowGroup(
      "INSERT INTO generation_parameters (generation_record_id, key, integer_value, real_value, text_value)",
      "", 5, std::move(rows),
      [&](const std::string& sql, const SQLiteV3Bindings& bindings) { connection.execute(sql, bindings); });
}

void replaceCharacterSegments(SQLiteConnection& connection, const std::vector<CharacterCaption>& captions,
                              std::int64_t generationRecordID, bool negative, bool clearFirst) {
  if (clearFirst) {
    connection.execute(
        "DELETE FROM prompt_segments WHERE generation_record_id = ? AND role IN ('character', "
        "'character_negative', 'character_caption') AND is_negative = ?",
        {generationRecordID, negative});
  }
  const char* role = negative ? "character_negative" : "character";
  for (std::size_t i = 0; i < captions.size(); ++i) {
    const CharacterCaption& caption = captions[i];
    connection.execute(
        "INSERT INTO prompt_segments (generation_record_id, segment_index, content, is_negative, role) "
        "VALUES (?, ?, ?, ?, ?)",
        {generationRecordID, i, caption.caption, negative, role});
    const std::int64_t segmentID = connection.lastInsertRowID();
    for (std::size_t j = 0; j < caption.centers.size(); ++j) {
      connection.execute(
          "INSERT INTO prompt_regions (segment_id, region_index, center_x, center_y) VALUES (?, ?, ?, ?)",
          {segmentID, j, caption.centers[j].x, caption.centers[j].y});
    }
  }
}

bool promptSegmentsHaveCharacterRole(const GenerationMetadata& metadata, bool negative) {
  for (const auto& segment : metadata.promptSegments) {
    if (segment.isNegative == negative &&
        (segment.role == "character" || segment.role == "character_negative" ||
         segment.role == "character_caption"))
      return true;
  }
  return false;
}

}  // namespace lorvex
