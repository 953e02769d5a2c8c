#include "database/record_hydration.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>

#include "database/search_query_compiler.h"
#include "database/sql_paths.h"
#include "model/image_tag_source_mask.h"
#include "model/text/whitespace.h"

namespace lorvex::search {

namespace {

constexpr std::string_view kColumns =
    "media_files.id, media_files.absolute_path, media_files.file_size, media_files.modification_time,\n"
    "image_properties.width, image_properties.height,\n"
    "metadata_providers.code, metadata_providers.display_name,\n"
    "metadata_formats.code, metadata_formats.display_name,\n"
    "generation_records.title, generation_records.prompt,\n"
    "generation_records.negative_prompt, generation_records.software, generation_records.source,\n"
    "generation_records.generation_time, generation_records.seed, generation_records.steps, "
    "generation_records.scale,\n"
    "generation_records.sampler, generation_records.noise_schedule, generation_records.request_type,\n"
    "generation_records.version, generation_records.signed_hash, generation_records.base_caption,\n"
    "generation_records.negative_base_caption, generation_records.raw_comment_json,\n"
    "generation_records.parse_warning, COALESCE(review_states.favorite, 0),\n"
    "COALESCE(review_states.delete_candidate, 0), review_states.notes,\n"
    "image_properties.thumbnail_key, media_files.missing, media_files.content_sha256";

constexpr std::string_view kJoins =
    "LEFT JOIN image_properties ON image_properties.media_file_id = media_files.id\n"
    "LEFT JOIN review_states ON review_states.media_file_id = media_files.id\n"
    "LEFT JOIN generation_records\n"
    "  ON generation_records.media_file_id = media_files.id\n"
    " AND generation_records.is_primary = 1\n"
    "LEFT JOIN metadata_providers ON metadata_providers.id = generation_records.provider_id\n"
    "LEFT JOIN metadata_formats ON metadata_formats.id = generation_records.format_id";

// One row of the record SELECT, before its captions and tags are attached.
struct RecordRow {
  std::int64_t id = 0;
  ImageRecord record;
};

void checkCancelled(const std::stop_token& stop) {
  if (stop.stop_requested()) throw SearchCancelledError();
}

template <typename Visit>
void forEachRow(SQLiteRows& rows, const std::stop_token& stop, Visit&& visit) {
  for (;;) {
    checkCancelled(stop);
    if (!rows.next()) break;
    visit(rows);
  }
  checkCancelled(stop);
}

RecordRow decodeRecordRow(SQLiteRows& rows) {
  RecordRow row;
  row.id = rows.int64(0);
  ImageRecord& record = row.record;
  record.file = ImageFileInfo{rows.text(1), rows.int64(2), rows.real(3)};
  GenerationMetadata& metadata = record.metadata;
  metadata.width = rows.optionalInt64(4);
  metadata.height = rows.optionalInt64(5);
  if (auto code = rows.optionalText(6)) {
    metadata.provider = GenerationMetadataProvider{*code, rows.optionalText(7).value_or(*code)};
  }
  if (auto code = rows.optionalText(8)) {
    metadata.format = GenerationMetadataFormat{*code, rows.optionalText(9).value_or(*code)};
  }
  metadata.title = rows.optionalText(10);
  metadata.prompt = rows.optionalText(11);
  metadata.negativePrompt = rows.optionalText(12);
  metadata.software = rows.optionalText(13);
  metadata.source = rows.optionalText(14);
  metadata.generationTime = rows.optionalReal(15);
  metadata.seed = rows.optionalInt64(16);
  metadata.steps = rows.optionalInt64(17);
  metadata.scale = rows.optionalReal(18);
  metadata.sampler = rows.optionalText(19);
  metadata.noiseSchedule = rows.optionalText(20);
  metadata.requestType = rows.optionalText(21);
  metadata.version = rows.optionalInt64(22);
  metadata.signedHash = rows.optionalText(23);
  metadata.baseCaption = rows.optionalText(24);
  metadata.negativeBaseCaption = rows.optionalText(25);
  metadata.rawCommentJSON = rows.optionalText(26);
  metadata.parseWarning = rows.optionalText(27);
  record.reviewState = ReviewState{rows.int64(28) != 0, rows.int64(29) != 0, rows.optionalText(30)};
  record.thumbnailPath = rows.optionalText(31);
  record.isMissing = rows.int64(32) != 0;
  record.contentSHA256 = rows.optionalText(33);

  metadata.promptSegments = GenerationMetadata::makePromptSegments(
      metadata.prompt, metadata.negativePrompt, metadata.baseCaption, metadata.negativeBaseCaption);
  metadata.generationParameters = GenerationMetadata::makeGenerationParameters(
      {metadata.seed, metadata.steps, metadata.scale, metadata.sampler, metadata.noiseSchedule,
       metadata.requestType, metadata.version});
  if (metadata.source && !text::trimmedWhitespace(*metadata.source).empty()) {
    std::optional<std::string> provider;
    if (metadata.provider) provider = metadata.provider->displayName;
    metadata.modelUsages.push_back(
        GenerationModelUsage{*metadata.source, provider, "primary", std::nullopt, std::nullopt});
  }
  return row;
}

std::vector<RecordRow> readRecordRows(SQLiteConnection& connection, const std::string& sql,
                                      const SQLiteV3Bindings& bindings, const std::stop_token& stop) {
  return connection.query(sql, bindings, [&](SQLiteRows& rows) {
    std::vector<RecordRow> result;
    forEachRow(rows, stop, [&](SQLiteRows& row) { result.push_back(decodeRecordRow(row)); });
    return result;
  });
}

template <typename Chunk>
void forEachIDChunk(const std::vector<std::int64_t>& ids, const std::stop_token& stop, Chunk&& chunk) {
  for (std::size_t start = 0; start < ids.size(); start += kMaxBoundListLength) {
    checkCancelled(stop);
    const std::size_t count = std::min(kMaxBoundListLength, ids.size() - start);
    chunk(std::vector<std::int64_t>(ids.begin() + static_cast<std::ptrdiff_t>(start),
                                    ids.begin() + static_cast<std::ptrdiff_t>(start + count)));
  }
}

std::unordered_map<std::int64_t, std::vector<CharacterCaption>> characterCaptions(
    SQLiteConnection& connection, const std::vector<std::int64_t>& mediaIDs, bool negative,
    const std::stop_token& stop) {
  std::unordered_map<std::int64_t, std::vector<CharacterCaption>> captions;
  forEachIDChunk(mediaIDs, stop, [&](const std::vector<std::int64_t>& chunk) {
    SQLiteV3Bindings bindings(chunk.begin(), chunk.end());
    bindings.emplace_back(negative ? 1 : 0);
    const std::string sql =
        "SELECT generation_records.media_file_id,\n"
        "       prompt_segments.id,\n"
        "       prompt_segments.segment_index,\n"
        "       prompt_segments.content,\n"
        "       prompt_regions.center_x,\n"
        "       prompt_regions.center_y\n"
        "FROM generation_records\n"
        "JOIN prompt_segments\n"
        "  ON prompt_segments.generation_record_id = generation_records.id\n"
        "LEFT JOIN prompt_regions ON prompt_regions.segment_id = prompt_segments.id\n"
        "WHERE generation_records.media_file_id IN " +
        sql::inListPlaceholders(chunk.size()) +
        "\n"
        "AND generation_records.is_primary = 1\n"
        "AND prompt_segments.role IN ('character', 'character_negative', 'character_caption')\n"
        "AND prompt_segments.is_negative = ?\n"
        "ORDER BY generation_records.media_file_id ASC,\n"
        "         prompt_segments.segment_index ASC,\n"
        "         prompt_segments.id ASC,\n"
        "         prompt_regions.region_index ASC";
    // Rows of one caption segment are adjacent (ordered by media, segment index, segment id), so a
    // new segment id starts a new caption.
    connection.query(sql, bindings, [&](SQLiteRows& rows) {
      std::int64_t currentSegment = 0;
      bool haveSegment = false;
      forEachRow(rows, stop, [&](SQLiteRows& row) {
        auto& list = captions[row.int64(0)];
        const std::int64_t segment = row.int64(1);
        if (!haveSegment || segment != currentSegment || list.empty()) {
          list.push_back(CharacterCaption{row.text(3), {}});
          currentSegment = segment;
          haveSegment = true;
        }
        if (!row.isNull(4) && !row.isNull(5))
          list.back().centers.push_back(CaptionCenter{row.real(4), row.real(5)});
      });
      return 0;
    });
  });
  return captions;
}

std::unordered_map<std::int64_t, std::vector<std::string>> promptTagNames(
    SQLiteConnection& connection, const std::vector<std::int64_t>& mediaIDs, const std::stop_token& stop) {
  std::unordered_map<std::int64_t, std::vector<std::string>> tags;
  forEachIDChunk(mediaIDs, stop, [&](const std::vector<std::int64_t>& chunk) {
    SQLiteV3Bindings bindings(chunk.begin(), chunk.end());
    bindings.emplace_back(ImageTagSourceMask::prompt.rawValue());
    const std::string sql =
        "SELECT media_tag_index.media_file_id, tag_terms.display_name\n"
        "FROM media_tag_index\n"
        "JOIN tag_terms ON tag_terms.id = media_tag_index.tag_term_id\n"
        "WHERE media_tag_index.media_file_id IN " +
        sql::inListPlaceholders(chunk.size()) +
        "\n"
        "AND (media_tag_index.source_mask & ?) != 0\n"
        "ORDER BY media_tag_index.media_file_id ASC,\n"
        "         tag_terms.display_name COLLATE NOCASE ASC,\n"
        "         tag_terms.display_name ASC";
    connection.query(sql, bindings, [&](SQLiteRows& rows) {
      forEachRow(rows, stop, [&](SQLiteRows& row) {
        if (!row.isNull(1)) tags[row.int64(0)].push_back(row.text(1));
      });
      return 0;
    });
  });
  return tags;
}

std::vector<ImageRecord> hydrateRecords(SQLiteConnection& connection, std::vector<RecordRow> rows,
                                        const std::stop_token& stop) {
  if (rows.empty()) return {};
  checkCancelled(stop);
  std::vector<std::int64_t> ids;
  ids.reserve(rows.size());
  for (const RecordRow& row : rows) ids.push_back(row.id);
  auto positive = characterCaptions(connection, ids, false, stop);
  checkCancelled(stop);
  auto negative = characterCaptions(connection, ids, true, stop);
  checkCancelled(stop);
  auto tags = promptTagNames(connection, ids, stop);

  std::vector<ImageRecord> records;
  records.reserve(rows.size());
  for (RecordRow& row : rows) {
    checkCancelled(stop);
    ImageRecord& record = row.record;
    if (auto found = positive.find(row.id); found != positive.end()) {
      record.metadata.characterCaptions = std::move(found->second);
    }
    if (auto found = negative.find(row.id); found != negative.end()) {
      record.metadata.negativeCharacterCaptions = std::move(found->second);
    }
    if (auto found = tags.find(row.id); found != tags.end()) record.promptTags = std::move(found->second);
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace

std::vector<ImageRecord> recordsForIDs(SQLiteConnection& connection, const std::vector<std::int64_t>& ids,
                                       const std::stop_token& stop) {
  std::vector<RecordRow> rows;
  forEachIDChunk(ids, stop, [&](const std::vector<std::int64_t>& chunk) {
    std::string values;
    SQLiteV3Bindings bindings;
    bindings.reserve(chunk.size() * 2);
    for (std::size_t position = 0; position < chunk.size(); ++position) {
      values += position == 0 ? "(?, ?)" : ", (?, ?)";
      bindings.emplace_back(static_cast<std::int64_t>(position));
      bindings.emplace_back(chunk[position]);
    }
    const std::string sql = "WITH page(position, image_id) AS (\n    VALUES " + values + "\n)\nSELECT " +
                            std::string(kColumns) +
                            "\nFROM page\nJOIN media_files ON media_files.id = page.image_id\n" +
                            std::string(kJoins) + "\nORDER BY page.position ASC";
    auto chunkRows = readRecordRows(connection, sql, bindings, stop);
    std::move(chunkRows.begin(), chunkRows.end(), std::back_inserter(rows));
  });
  return hydrateRecords(connection, std::move(rows), stop);
}

std::vector<ImageRecord> selectRecords(SQLiteConnection& connection, std::string_view join,
                                       std::string_view where, const SQLiteV3Bindings& bindings,
                                       ImageSearchSortV3 sort, std::int64_t limit, std::int64_t offset,
                                       const std::stop_token& stop) {
  const std::string sql = "SELECT " + std::string(kColumns) + "\nFROM media_files\n" + std::string(kJoins) +
                          "\n" + std::string(join) + "\nWHERE " + std::string(where) + "\nORDER BY " +
                          orderByText(sort) + "\nLIMIT ? OFFSET ?";
  SQLiteV3Bindings all = bindings;
  all.emplace_back(std::max<std::int64_t>(limit, 0));
  all.emplace_back(std::max<std::int64_t>(offset, 0));
  return hydrateRecords(connection, readRecordRows(connection, sql, all, stop), stop);
}

}  // namespace lorvex::search
