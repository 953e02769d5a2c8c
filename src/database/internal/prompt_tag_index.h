// Writing what tag and full-text searches read for one image: the tag vocabulary (tag_terms), the
// image's tag rows (media_tag_index and tag_occurrences) with the mask telling whether a tag came
// from the prompt (1), a positive character caption (2) or both, its full-text row, and the
// full-text row of a model. Runs inside the per-image projection transaction; the caller holds the
// connection's lock.
//
// Failures: a failing statement throws SQLiteImageRepositoryV3Error from the statement layer and
// the caller's transaction rolls back; a missing primary generation record throws recordNotFound
// ("generation record for media 12").
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "database/internal/sqlite_connection.h"
#include "model/image_record.h"

namespace lorvex {

// Tag term id -> source mask of one image, ascending by id.
using TagSourceMasks = std::map<std::int64_t, std::int64_t>;

// The tag terms (id and display name) one transaction has read or written, so that a batch of
// projections reads each term once. Valid only inside that transaction, and only while none of
// its writes are rolled back: clear it then.
using TagTermCache = std::unordered_map<std::string, std::pair<std::int64_t, std::string>>;

// The term's id. A new term takes the display name; a known one keeps the smaller of its display
// name and this one (byte order), its search text following.
std::int64_t upsertTagTerm(SQLiteConnection& connection, std::string_view key, std::string_view displayName,
                           TagTermCache* cache = nullptr);

// Rewrites the image's tag rows from its prompt tags and positive character captions and returns
// them; the occurrences point to `recordID`, the image's primary generation record. `clearFirst`
// false: the image has no tag rows yet.
TagSourceMasks replaceTagRows(SQLiteConnection& connection, const ImageRecord& record,
                              std::int64_t mediaFileID, std::int64_t recordID, TagTermCache* cache = nullptr,
                              bool clearFirst = true);

// The tag_term_stats differences of several images' projections, summed per term, so that a batch
// of projections writes each term's row once. An image's previous and current tag rows move, per
// term of either map, the image count by presence and the prompt and character counts by their
// mask bits, never below 0. Written (in ascending term order), every term of any added map has its
// row, also when nothing changed, so every term an image carries has a statistics row.
class TagTermStatsDeltas {
 public:
  void add(const TagSourceMasks& previous, const TagSourceMasks& current);
  void merge(const TagTermStatsDeltas& other);
  void apply(SQLiteConnection& connection, double now) const;

 private:
  // Per term: image, prompt and character count differences.
  std::map<std::int64_t, std::array<std::int64_t, 3>> terms_;
};

// Makes the image's media_text_fts row (rowid = media id) hold its current texts.
void replaceMediaTextFTSRow(SQLiteConnection& connection, const ImageRecord& record,
                            std::int64_t mediaFileID);

// Makes the model's model_search_fts row (rowid = model id) match the model: present with its
// names exactly while the model is used by an image, absent otherwise.
void refreshModelSearchRow(SQLiteConnection& connection, std::int64_t modelID);

}  // namespace lorvex
