// The derived rows of tag concepts: which images a concept matches (concept_image_index, with the
// prompt-tag source mask under which it matches), how many (tag_concept_stats) and its full-text
// row (tag_concept_search_fts).
//
// The defining rule is the full rebuild of one concept: an image matches when it carries a tag
// that is an active alias of the concept (mask: the largest mask among those tag rows), or when it
// is actively assigned to the concept by hand (mask 0 unless an alias matched too). Changes to a
// concept, its aliases or its assignments rebuild that concept. Projecting an image changes only
// that image's tag rows, so the projection updates only that image's rows of the concepts its old
// and new tags feed, and adjusts their counts by the difference; the result is the same as a full
// rebuild of those concepts, without reading every image of a large concept. (A concept's search
// row depends only on the concept itself, which a projection does not change, so it stays.)
//
// None of these takes the lock or opens a transaction: callers run them inside their own locked
// transaction. The first failing statement throws SQLiteImageRepositoryV3Error and the caller's
// transaction rolls back.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "database/internal/sqlite_connection.h"

namespace lorvex {

// Recomputes every derived row of the concept and refreshes its search entry. `now` stamps the
// count.
void rebuildTagConceptIndex(SQLiteConnection& connection, std::int64_t conceptID, double now);

// Rewrites the concept's tag_concept_search_fts row from tag_concepts; a concept that does not
// exist ends without one.
void refreshTagConceptSearchEntry(SQLiteConnection& connection, std::int64_t conceptID);

// The concepts of each tag term read so far in one transaction (which writes no alias).
using TagTermConceptCache = std::unordered_map<std::int64_t, std::vector<std::int64_t>>;

// The concepts with an active alias among the tag terms, ascending, without duplicates. With a
// cache (kept by the caller for one transaction), only the terms it does not hold yet are read.
std::vector<std::int64_t> conceptIDs(SQLiteConnection& connection,
                                     const std::vector<std::int64_t>& tagTermIDs,
                                     TagTermConceptCache* cache = nullptr);

// Brings the image's rows of the given concepts in line with its current tag rows and
// assignments, and moves each concept's count by the rows gained or lost. `conceptIDs` must
// include every concept with an active alias among the image's tag terms before and after the
// change (see conceptIDs).
void updateConceptIndexForMediaFile(SQLiteConnection& connection, std::int64_t mediaFileID,
                                    const std::vector<std::int64_t>& conceptIDs, double now);

}  // namespace lorvex
