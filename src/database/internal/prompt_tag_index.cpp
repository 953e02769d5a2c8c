#include "database/internal/prompt_tag_index.h"

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "database/internal/full_text_rows.h"
#include "database/internal/generation_record_projection.h"
#include "database/internal/sql_paths.h"
#include "database/internal/tag_keys.h"
#include "model/image_tag_source_mask.h"
#include "model/novelai_prompt_syntax.h"
#include "model/prompt_tags.h"

namespace lorvex {

namespace {

struct TagEntry {
  std::string displayName;
  std::int64_t mask = 0;
};

// Joins the non-empty texts with single spaces.
std::string joinNonEmpty(std::initializer_list<const std::string*> parts) {
  std::string joined;
  for (const std::string* part : parts) {
    if (part->empty()) continue;
    if (!joined.empty()) joined += ' ';
    joined += *part;
  }
  return joined;
}

template <typename Range, typename Projection>
std::string joinedWithSpaces(const Range& items, Projection project) {
  std::string joined;
  bool first = true;
  for (const auto& item : items) {
    if (!first) joined += ' ';
    joined += project(item);
    first = false;
  }
  return joined;
}

}  // namespace

std::int64_t upsertTagTerm(SQLiteConnection& connection, std::string_view key, std::string_view displayName,
                           TagTermCache* cache) {
  struct StoredTerm {
    std::int64_t id = 0;
    std::string displayName;
  };
  std::optional<StoredTerm> stored;
  const auto cached = cache != nullptr ? cache->find(std::string(key)) : TagTermCache::iterator();
  if (cache != nullptr && cached != cache->end()) {
    stored = StoredTerm{cached->second.first, cached->second.second};
  } else {
    // Most tags of an image are known terms whose name stays: one read settles them, and the row
    // is not rewritten (which would dirty its page for nothing).
    stored = connection.query("SELECT id, display_name FROM tag_terms WHERE normalized_key = ?", {key},
                              [](SQLiteRows& rows) -> std::optional<StoredTerm> {
                                if (!rows.next()) return std::nullopt;
                                return StoredTerm{rows.int64(0), rows.text(1)};
                              });
  }
  const auto remember = [&](std::int64_t id, std::string_view name) {
    if (cache != nullptr) (*cache)[std::string(key)] = {id, std::string(name)};
  };
  if (!stored) {
    connection.execute("INSERT INTO tag_terms (normalized_key, display_name, search_text) VALUES (?, ?, ?)",
                       {key, displayName, tagSearchText(key, displayName)});
    const std::int64_t id = connection.lastInsertRowID();
    remember(id, displayName);
    return id;
  }
  // The smaller display name (byte order, as SQL compares text) wins; the search text follows it.
  if (displayName < std::string_view(stored->displayName)) {
    connection.execute("UPDATE tag_terms SET display_name = ?, search_text = ? WHERE id = ?",
                       {displayName, tagSearchText(key, displayName), stored->id});
    remember(stored->id, displayName);
  } else if (cache != nullptr && cached == cache->end()) {
    remember(stored->id, stored->displayName);
  }
  return stored->id;
}

TagSourceMasks replaceTagRows(SQLiteConnection& connection, const ImageRecord& record,
                              std::int64_t mediaFileID, std::int64_t recordID, TagTermCache* cache,
                              bool clearFirst) {
  if (clearFirst) {
    connection.execute("DELETE FROM tag_occurrences WHERE media_file_id = ?", {mediaFileID});
    connection.execute("DELETE FROM media_tag_index WHERE media_file_id = ?", {mediaFileID});
  }

  // Ordered by key, the order in which the terms are written.
  std::map<std::string, TagEntry> entries;
  const std::int64_t promptBit = ImageTagSourceMask::prompt.rawValue();
  const std::int64_t characterBit = ImageTagSourceMask::character.rawValue();
  // An image keeps its first kMaximumStoredPromptTagCount distinct tags, the prompt's first; its
  // text stays searchable whole through the full-text row. The captions are still read to the end,
  // so that a kept tag that a caption holds later is marked as such.
  const auto full = [&entries] { return entries.size() >= kMaximumStoredPromptTagCount; };
  for (auto& key : normalizedTagKeys(record.promptTags)) {
    if (full()) break;
    auto [entry, inserted] = entries.try_emplace(key, TagEntry{key, promptBit});
    if (!inserted) entry->second.mask |= promptBit;
  }
  for (const auto& caption : record.metadata.characterCaptions) {
    novelai_prompt::forEachToken(caption.caption, [&](const novelai_prompt::TokenView& view) {
      if (!view.tag) return;
      std::string token(*view.tag);
      const auto normalized = normalizeNovelAIPromptTag(token);
      if (!normalized) return;
      auto key = tagKey(*normalized);
      // Like a prompt's, a caption "tag" longer than a tag can be is found by its text instead.
      if (!key || key->size() > kMaximumStoredPromptTagBytes) return;
      auto entry = entries.find(*key);
      if (entry == entries.end()) {
        if (!full()) entries.emplace(std::move(*key), TagEntry{std::move(token), characterBit});
        return;
      }
      entry->second.mask |= characterBit;
      if (token < entry->second.displayName) entry->second.displayName = std::move(token);
    });
  }

  TagSourceMasks masks;
  SQLiteV3Bindings indexRows;
  SQLiteV3Bindings occurrenceRows;
  for (const auto& [key, entry] : entries) {
    const std::int64_t termID = upsertTagTerm(connection, key, entry.displayName, cache);
    indexRows.insert(indexRows.end(), {mediaFileID, termID, entry.mask});
    occurrenceRows.insert(occurrenceRows.end(),
                          {mediaFileID, recordID, termID, entry.mask, tagSourceRole(entry.mask), 0});
    masks[termID] = entry.mask;
  }
  // The keys are distinct, so each row is its own; the upsert only meets rows of other writers.
  const auto execute = [&](const std::string& sql, const SQLiteV3Bindings& bindings) {
    connection.execute(sql, bindings);
  };
  sql::forEachRowGroup(
      "INSERT INTO media_tag_index (media_file_id, tag_term_id, source_mask)",
      " ON CONFLICT(media_file_id, tag_term_id) DO UPDATE SET source_mask = excluded.source_mask", 3,
      std::move(indexRows), execute);
  sql::forEachRowGroup(
      "INSERT INTO tag_occurrences (media_file_id, generation_record_id, tag_term_id, source_mask, "
      "source_role, "
      "occurrence_index)",
      "", 6, std::move(occurrenceRows), execute);
  return masks;
}

void TagTermStatsDeltas::add(const TagSourceMasks& previous, const TagSourceMasks& current) {
  const auto bit = [](const TagSourceMasks& masks, std::int64_t termID, std::int64_t member) -> std::int64_t {
    const auto found = masks.find(termID);
    return found != masks.end() && (found->second & member) != 0 ? 1 : 0;
  };
  const auto addTerm = [&](std::int64_t termID) {
    auto& delta = terms_[termID];
    delta[0] += (current.contains(termID) ? 1 : 0) - (previous.contains(termID) ? 1 : 0);
    delta[1] += bit(current, termID, ImageTagSourceMask::prompt.rawValue()) -
                bit(previous, termID, ImageTagSourceMask::prompt.rawValue());
    delta[2] += bit(current, termID, ImageTagSourceMask::character.rawValue()) -
                bit(previous, termID, ImageTagSourceMask::character.rawValue());
  };
  for (const auto& [termID, mask] : previous) addTerm(termID);
  for (const auto& [termID, mask] : current) {
    if (!previous.contains(termID)) addTerm(termID);
  }
}

void TagTermStatsDeltas::merge(const TagTermStatsDeltas& other) {
  for (const auto& [termID, delta] : other.terms_) {
    auto& sum = terms_[termID];
    for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += delta[i];
  }
}

void TagTermStatsDeltas::apply(SQLiteConnection& connection, double now) const {
  for (const auto& [termID, delta] : terms_) {
    const auto [imageDelta, promptDelta, characterDelta] = delta;
    connection.execute(
        "INSERT INTO tag_term_stats (tag_term_id, image_count, prompt_image_count, character_image_count, "
        "updated_at) VALUES (?, max(0, ?), max(0, ?), max(0, ?), ?) ON CONFLICT(tag_term_id) DO UPDATE SET "
        "image_count = max(0, tag_term_stats.image_count + ?), prompt_image_count = max(0, "
        "tag_term_stats.prompt_image_count + ?), character_image_count = max(0, "
        "tag_term_stats.character_image_count + ?), updated_at = excluded.updated_at",
        {termID, imageDelta, promptDelta, characterDelta, now, imageDelta, promptDelta, characterDelta});
  }
}

namespace {

// A full-text row of this many bytes of text and more is a large one (see below).
constexpr std::size_t kLargeFullTextBytes = 4u << 20;

}  // namespace

void replaceMediaTextFTSRow(SQLiteConnection& connection, const ImageRecord& record,
                            std::int64_t mediaFileID) {
  const GenerationMetadata& metadata = record.metadata;
  std::vector<const PromptTextSegment*> positive;
  std::vector<const PromptTextSegment*> negative;
  for (const auto& segment : metadata.promptSegments)
    (segment.isNegative ? negative : positive).push_back(&segment);
  const auto content = [](const PromptTextSegment* segment) -> const std::string& {
    return segment->content;
  };
  const auto caption = [](const CharacterCaption& item) -> const std::string& { return item.caption; };

  // A prompt of one segment (most) is bound as it lies in the record: it can be tens of megabytes.
  const bool promptIsOneSegment = positive.size() == 1;
  std::string prompt = promptIsOneSegment ? std::string() : joinedWithSpaces(positive, content);
  const std::string negativeSegments = joinedWithSpaces(negative, content);
  const std::string characters = joinedWithSpaces(metadata.characterCaptions, caption);
  const std::string negativeCharacters = joinedWithSpaces(metadata.negativeCharacterCaptions, caption);
  std::string negativeText = joinNonEmpty({&negativeSegments, &negativeCharacters});
  std::string characterText = joinNonEmpty({&characters, &negativeCharacters});

  static constexpr std::string_view kColumns[] = {"prompt", "negative_prompt", "source", "character_captions",
                                                  "tags"};
  // FTS5 holds every distinct term of a row in memory until it writes the row's index, over a
  // hundred bytes a term; for a text of megabytes the transaction's other pages need not be held
  // beside that.
  std::size_t textBytes = negativeText.size() + characterText.size();
  for (const PromptTextSegment* segment : positive) textBytes += segment->content.size();
  if (positive.empty() && metadata.prompt) textBytes += metadata.prompt->size();
  if (textBytes >= kLargeFullTextBytes) connection.writeOutCachedPages();
  replaceFullTextRow(
      connection, "media_text_fts", kColumns, mediaFileID,
      // The joined texts are moved into the row, not copied.
      makeBindings(promptIsOneSegment && !positive.front()->content.empty()
                       ? SQLiteV3Binding::borrowedText(positive.front()->content)
                   : !prompt.empty() ? SQLiteV3Binding(std::move(prompt))
                                     : SQLiteV3Binding(metadata.prompt),
                   !negativeText.empty() ? SQLiteV3Binding(std::move(negativeText))
                                         : SQLiteV3Binding(metadata.negativePrompt),
                   metadata.source, std::move(characterText),
                   joinedWithSpaces(record.promptTags,
                                    [](const std::string& tag) -> const std::string& { return tag; })));
}

void refreshModelSearchRow(SQLiteConnection& connection, std::int64_t modelID) {
  const auto row = connection.query(
      "SELECT display_name, raw_source, family, version, source_hash, image_count FROM models WHERE id = ?",
      {modelID}, [](SQLiteRows& rows) -> std::optional<SQLiteV3Bindings> {
        if (!rows.next() || rows.int64(5) <= 0) return std::nullopt;
        return SQLiteV3Bindings{rows.text(0), rows.text(1), rows.optionalText(2), rows.optionalText(3),
                                rows.optionalText(4)};
      });
  static constexpr std::string_view kColumns[] = {"display_name", "raw_source", "family", "version",
                                                  "source_hash"};
  replaceFullTextRow(connection, "model_search_fts", kColumns, modelID, row);
}

}  // namespace lorvex
