#include "database/internal/record_hydration.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "database/internal/nocase_order.h"
#include "database/internal/search_query_compiler.h"
#include "model/image_tag_source_mask.h"
#include "model/text/whitespace.h"

namespace lorvex::search {

namespace {

// The last column is the primary generation record's id, which the caption statement reads by.
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
    "image_properties.thumbnail_key, media_files.missing, media_files.content_sha256,\n"
    "generation_records.id";
constexpr int kGenerationRecordIDColumn = 34;

constexpr std::string_view kJoins =
    "LEFT JOIN image_properties ON image_properties.media_file_id = media_files.id\n"
    "LEFT JOIN review_states ON review_states.media_file_id = media_files.id\n"
    "LEFT JOIN generation_records\n"
    "  ON generation_records.media_file_id = media_files.id\n"
    " AND generation_records.is_primary = 1\n"
    "LEFT JOIN metadata_providers ON metadata_providers.id = generation_records.provider_id\n"
    "LEFT JOIN metadata_formats ON metadata_formats.id = generation_records.format_id";

// A key (a media file id or a generation record id) and the index of the record it belongs to.
using KeyedSlot = std::pair<std::int64_t, std::size_t>;

// The records being hydrated, with the keys their captions and tags are read by. Sorted by key, a
// slot list finds every record of a key by one binary search.
struct HydrationSlots {
  std::vector<ImageRecord> records;
  std::vector<KeyedSlot> byMediaID;
  std::vector<KeyedSlot> byGenerationRecordID;
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

// Finds the records of a key in a sorted slot list. A statement's rows come grouped by key, so the
// range of the previous row is tried before searching.
class SlotFinder {
 public:
  explicit SlotFinder(const std::vector<KeyedSlot>& slots)
      : slots_(slots), first_(slots.end()), last_(slots.end()) {}

  template <typename Visit>
  void forEachSlot(std::int64_t key, Visit&& visit) {
    if (first_ == last_ || first_->first != key) {
      first_ = std::lower_bound(slots_.begin(), slots_.end(), KeyedSlot{key, 0});
      last_ = first_;
      while (last_ != slots_.end() && last_->first == key) ++last_;
    }
    for (auto it = first_; it != last_; ++it) visit(it->second);
  }

 private:
  const std::vector<KeyedSlot>& slots_;
  std::vector<KeyedSlot>::const_iterator first_;
  std::vector<KeyedSlot>::const_iterator last_;
};

// Runs `chunk` over consecutive runs of at most kMaxBoundListLength keys.
template <typename Chunk>
void forEachKeyChunk(std::span<const std::int64_t> keys, const std::stop_token& stop, Chunk&& chunk) {
  for (std::size_t start = 0; start < keys.size(); start += kMaxBoundListLength) {
    checkCancelled(stop);
    chunk(keys.subspan(start, std::min(kMaxBoundListLength, keys.size() - start)));
  }
}

// The distinct keys of a sorted slot list, in ascending order.
std::vector<std::int64_t> distinctKeys(const std::vector<KeyedSlot>& slots) {
  std::vector<std::int64_t> keys;
  keys.reserve(slots.size());
  for (const auto& [key, slot] : slots) {
    if (keys.empty() || keys.back() != key) keys.push_back(key);
  }
  return keys;
}

// Key lists are padded with NULL (which matches nothing in an IN list) to one of a few lengths, so
// that pages of every size share a handful of prepared statements instead of filling the
// statement cache with one text per length.
std::size_t paddedListLength(std::size_t count) {
  std::size_t length = 1;
  while (length < count) length *= 2;
  return std::min(length, kMaxBoundListLength);
}

// "(?, ?, …)" for the padded length of `keys`; the key bindings are appended to `bindings`.
std::string keyList(std::span<const std::int64_t> keys, SQLiteV3Bindings& bindings) {
  const std::size_t length = paddedListLength(keys.size());
  std::string list = "(";
  for (std::size_t index = 0; index < length; ++index) {
    list += index == 0 ? "?" : ", ?";
    bindings.emplace_back(index < keys.size() ? SQLiteV3Binding(keys[index]) : SQLiteV3Binding::null());
  }
  list += ")";
  return list;
}

// Fills `record` from a row of kColumns and derives what the record's columns imply. Returns the
// primary generation record's id, if the file has one.
std::optional<std::int64_t> decodeRecord(SQLiteRows& rows, ImageRecord& record) {
  record.file = ImageFileInfo{rows.text(1), rows.int64(2), rows.real(3)};
  GenerationMetadata& metadata = record.metadata;
  metadata.width = rows.optionalInt64(4);
  metadata.height = rows.optionalInt64(5);
  if (auto code = rows.optionalText(6)) {
    std::string displayName = rows.isNull(7) ? *code : rows.text(7);
    metadata.provider = GenerationMetadataProvider{std::move(*code), std::move(displayName)};
  }
  if (auto code = rows.optionalText(8)) {
    std::string displayName = rows.isNull(9) ? *code : rows.text(9);
    metadata.format = GenerationMetadataFormat{std::move(*code), std::move(displayName)};
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
        GenerationModelUsage{*metadata.source, std::move(provider), "primary", std::nullopt, std::nullopt});
  }
  return rows.optionalInt64(kGenerationRecordIDColumn);
}

// Positive and negative character captions with their centers, read by primary generation record.
void attachCharacterCaptions(SQLiteConnection& connection, HydrationSlots& slots,
                             const std::stop_token& stop) {
  const std::vector<std::int64_t> recordIDs = distinctKeys(slots.byGenerationRecordID);
  forEachKeyChunk(recordIDs, stop, [&](std::span<const std::int64_t> chunk) {
    SQLiteV3Bindings bindings;
    const std::string sql =
        "SELECT prompt_segments.generation_record_id,\n"
        "       prompt_segments.id,\n"
        "       prompt_segments.is_negative,\n"
        "       prompt_segments.content,\n"
        "       prompt_regions.center_x,\n"
        "       prompt_regions.center_y\n"
        "FROM prompt_segments\n"
        "LEFT JOIN prompt_regions ON prompt_regions.segment_id = prompt_segments.id\n"
        "WHERE prompt_segments.generation_record_id IN " +
        keyList(chunk, bindings) +
        "\n"
        "AND prompt_segments.role IN ('character', 'character_negative', 'character_caption')\n"
        "AND prompt_segments.is_negative IN (0, 1)\n"
        "ORDER BY prompt_segments.generation_record_id ASC,\n"
        "         prompt_segments.segment_index ASC,\n"
        "         prompt_segments.id ASC,\n"
        "         prompt_regions.region_index ASC";
    // Rows of one caption segment are adjacent (ordered by record, segment index, segment id), so
    // a new segment id starts a new caption.
    connection.query(sql, bindings, [&](SQLiteRows& rows) {
      SlotFinder finder(slots.byGenerationRecordID);
      std::optional<std::int64_t> currentSegment;
      forEachRow(rows, stop, [&](SQLiteRows& row) {
        const std::int64_t segment = row.int64(1);
        const bool startsCaption = segment != currentSegment;
        currentSegment = segment;
        const bool negative = row.int64(2) != 0;
        const bool hasCenter = !row.isNull(4) && !row.isNull(5);
        finder.forEachSlot(row.int64(0), [&](std::size_t slot) {
          GenerationMetadata& metadata = slots.records[slot].metadata;
          auto& list = negative ? metadata.negativeCharacterCaptions : metadata.characterCaptions;
          if (startsCaption || list.empty()) list.push_back(CharacterCaption{row.text(3), {}});
          if (hasCenter) list.back().centers.push_back(CaptionCenter{row.real(4), row.real(5)});
        });
      });
      return 0;
    });
  });
}

// Display names of the prompt tags, in case-insensitive order with byte order breaking ties.
void attachPromptTags(SQLiteConnection& connection, HydrationSlots& slots, const std::stop_token& stop) {
  const std::vector<std::int64_t> mediaIDs = distinctKeys(slots.byMediaID);
  forEachKeyChunk(mediaIDs, stop, [&](std::span<const std::int64_t> chunk) {
    SQLiteV3Bindings bindings;
    const std::string sql =
        "SELECT media_tag_index.media_file_id, tag_terms.display_name\n"
        "FROM media_tag_index\n"
        "JOIN tag_terms ON tag_terms.id = media_tag_index.tag_term_id\n"
        "WHERE media_tag_index.media_file_id IN " +
        keyList(chunk, bindings) +
        "\n"
        "AND (media_tag_index.source_mask & ?) != 0";
    bindings.emplace_back(ImageTagSourceMask::prompt.rawValue());
    connection.query(sql, bindings, [&](SQLiteRows& rows) {
      SlotFinder finder(slots.byMediaID);
      forEachRow(rows, stop, [&](SQLiteRows& row) {
        if (row.isNull(1)) return;
        finder.forEachSlot(row.int64(0),
                           [&](std::size_t slot) { slots.records[slot].promptTags.push_back(row.text(1)); });
      });
      return 0;
    });
  });
  // Sorting here rather than in the statement spares SQLite a temporary B-tree of every row.
  for (const auto& [mediaID, slot] : slots.byMediaID) {
    auto& tags = slots.records[slot].promptTags;
    std::sort(tags.begin(), tags.end(), [](const std::string& left, const std::string& right) {
      return sql::noCaseThenBinaryLess(left, right);
    });
  }
}

void attachCaptionsAndTags(SQLiteConnection& connection, HydrationSlots& slots, const std::stop_token& stop) {
  std::sort(slots.byMediaID.begin(), slots.byMediaID.end());
  std::sort(slots.byGenerationRecordID.begin(), slots.byGenerationRecordID.end());
  checkCancelled(stop);
  attachCharacterCaptions(connection, slots, stop);
  checkCancelled(stop);
  attachPromptTags(connection, slots, stop);
}

}  // namespace

std::vector<ImageRecord> recordsForIDs(SQLiteConnection& connection, const std::vector<std::int64_t>& ids,
                                       const std::stop_token& stop) {
  if (ids.empty()) return {};
  // Each distinct id is read once, into the slot of its first position; the statements read by key
  // and leave the order to the slots, so SQLite never sorts the wide rows.
  HydrationSlots slots;
  slots.records.resize(ids.size());
  std::vector<KeyedSlot> positions;
  positions.reserve(ids.size());
  for (std::size_t position = 0; position < ids.size(); ++position)
    positions.emplace_back(ids[position], position);
  std::sort(positions.begin(), positions.end());
  std::vector<KeyedSlot> firstPositions;
  firstPositions.reserve(positions.size());
  for (const KeyedSlot& position : positions) {
    if (firstPositions.empty() || firstPositions.back().first != position.first)
      firstPositions.push_back(position);
  }
  const std::vector<std::int64_t> distinctIDs = distinctKeys(firstPositions);

  std::vector<bool> found(ids.size(), false);
  forEachKeyChunk(distinctIDs, stop, [&](std::span<const std::int64_t> chunk) {
    SQLiteV3Bindings bindings;
    const std::string sql = "SELECT " + std::string(kColumns) + "\nFROM media_files\n" + std::string(kJoins) +
                            "\nWHERE media_files.id IN " + keyList(chunk, bindings);
    connection.query(sql, bindings, [&](SQLiteRows& rows) {
      SlotFinder finder(firstPositions);
      forEachRow(rows, stop, [&](SQLiteRows& row) {
        const std::int64_t id = row.int64(0);
        finder.forEachSlot(id, [&](std::size_t slot) {
          if (found[slot]) return;
          found[slot] = true;
          slots.byMediaID.emplace_back(id, slot);
          if (auto recordID = decodeRecord(row, slots.records[slot])) {
            slots.byGenerationRecordID.emplace_back(*recordID, slot);
          }
        });
      });
      return 0;
    });
  });
  if (slots.byMediaID.empty()) return {};
  attachCaptionsAndTags(connection, slots, stop);

  // Repeated ids get copies of the first one's record; ids without a media file row are left out.
  std::vector<ImageRecord>& records = slots.records;
  std::size_t source = 0;
  for (std::size_t index = 0; index < positions.size(); ++index) {
    const auto& [id, position] = positions[index];
    if (index == 0 || positions[index - 1].first != id) {
      source = position;
    } else if (found[source]) {
      records[position] = records[source];
      found[position] = true;
    }
  }
  std::size_t kept = 0;
  for (std::size_t position = 0; position < records.size(); ++position) {
    if (!found[position]) continue;
    if (kept != position) records[kept] = std::move(records[position]);
    ++kept;
  }
  records.erase(records.begin() + static_cast<std::ptrdiff_t>(kept), records.end());
  return std::move(records);
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
  HydrationSlots slots;
  connection.query(sql, all, [&](SQLiteRows& rows) {
    forEachRow(rows, stop, [&](SQLiteRows& row) {
      const std::size_t slot = slots.records.size();
      slots.byMediaID.emplace_back(row.int64(0), slot);
      if (auto recordID = decodeRecord(row, slots.records.emplace_back())) {
        slots.byGenerationRecordID.emplace_back(*recordID, slot);
      }
    });
    return 0;
  });
  if (slots.records.empty()) return {};
  attachCaptionsAndTags(connection, slots, stop);
  return std::move(slots.records);
}

}  // namespace lorvex::search
