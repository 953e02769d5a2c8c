// Reading the person's marks back from a damaged library file, each fact from every structure that
// holds it.
#include "database/library_salvage.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>

#include "database/internal/log_files_as_found.h"
#include "database/internal/sqlite_connection.h"
#include "platform/log.h"

namespace lorvex {

namespace {

using Error = SQLiteImageRepositoryV3Error;
using RowHandler = std::function<void(SQLiteRows&)>;

// Hands every row of the query to `take`; false when the query stopped early (damage, or a table
// or index this file does not have).
bool readAll(SQLiteConnection& db, const std::string& sql, const RowHandler& take) {
  try {
    db.query(sql, {}, [&](SQLiteRows& rows) {
      while (rows.next()) take(rows);
      return 0;
    });
    return true;
  } catch (const Error& error) {
    platform::logDebug("Database", "Salvage read stopped (" + error.localizedDescription() + "): " + sql);
    return false;
  }
}

// One structure read from the front, and when damage stopped that, from the back as well: a single
// damaged stretch costs only the rows inside it. `order` is the ORDER BY column list, each column
// ascending; the backward read turns every one of them around.
void readAround(SQLiteConnection& db, const std::string& select, const std::vector<std::string>& order,
                const RowHandler& take) {
  std::string ascending;
  std::string descending;
  for (const auto& column : order) {
    ascending += (ascending.empty() ? " ORDER BY " : ", ") + column;
    descending += (descending.empty() ? " ORDER BY " : ", ") + column + " DESC";
  }
  if (!readAll(db, select + ascending, take)) readAll(db, select + descending, take);
}

struct MediaFacts {
  std::optional<std::string> path;
  std::optional<std::string> contentSHA256;
};

// Path and content hash of each wanted media id, from the table and from the indexes that carry
// them; an index is read only while some wanted id still lacks what it holds.
std::unordered_map<std::int64_t, MediaFacts> readMediaFacts(SQLiteConnection& db,
                                                            const std::set<std::int64_t>& wanted) {
  std::unordered_map<std::int64_t, MediaFacts> facts;
  if (wanted.empty()) return facts;
  const auto lacking = [&](auto member) {
    for (const std::int64_t id : wanted) {
      const auto found = facts.find(id);
      if (found == facts.end() || !(found->second.*member)) return true;
    }
    return false;
  };
  readAround(db, "SELECT id, absolute_path, content_sha256 FROM media_files NOT INDEXED", {"id"},
             [&](SQLiteRows& rows) {
               const std::int64_t id = rows.int64(0);
               if (!wanted.contains(id)) return;
               MediaFacts& media = facts[id];
               if (!rows.isNull(1)) media.path = rows.text(1);
               if (!rows.isNull(2)) media.contentSHA256 = rows.text(2);
             });
  const auto takePath = [&](SQLiteRows& rows) {
    const std::int64_t id = rows.int64(0);
    if (wanted.contains(id) && !rows.isNull(1)) facts[id].path = rows.text(1);
  };
  for (const char* index : {"sqlite_autoindex_media_files_1", "idx_media_files_path_browse"}) {
    if (!lacking(&MediaFacts::path)) break;
    readAround(db, std::string("SELECT id, absolute_path FROM media_files INDEXED BY ") + index,
               {"absolute_path"}, takePath);
  }
  if (lacking(&MediaFacts::contentSHA256)) {
    readAround(db,
               "SELECT id, content_sha256 FROM media_files INDEXED BY idx_media_files_content_sha256 WHERE "
               "content_sha256 IS NOT NULL",
               {"content_sha256"}, [&](SQLiteRows& rows) {
                 const std::int64_t id = rows.int64(0);
                 if (wanted.contains(id)) facts[id].contentSHA256 = rows.text(1);
               });
  }
  return facts;
}

// The review states that are not the default one, by media id. The flags are also kept in two
// indexes, which name the images even where the table's pages are lost (notes are only in the
// table).
std::map<std::int64_t, ReviewState> readReviewStates(SQLiteConnection& db) {
  std::map<std::int64_t, ReviewState> states;
  readAround(db,
             "SELECT media_file_id, favorite, delete_candidate, notes FROM review_states NOT INDEXED WHERE "
             "favorite <> 0 OR delete_candidate <> 0 OR notes IS NOT NULL",
             {"media_file_id"}, [&](SQLiteRows& rows) {
               ReviewState& state = states[rows.int64(0)];
               state.favorite = state.favorite || rows.int64(1) != 0;
               state.deleteCandidate = state.deleteCandidate || rows.int64(2) != 0;
               if (!rows.isNull(3)) state.notes = rows.text(3);
             });
  readAround(
      db, "SELECT media_file_id FROM review_states INDEXED BY idx_review_states_favorite WHERE favorite = 1",
      {"media_file_id"}, [&](SQLiteRows& rows) { states[rows.int64(0)].favorite = true; });
  readAround(db,
             "SELECT media_file_id FROM review_states INDEXED BY idx_review_states_delete_candidate WHERE "
             "delete_candidate = 1",
             {"media_file_id"}, [&](SQLiteRows& rows) { states[rows.int64(0)].deleteCandidate = true; });
  return states;
}

}  // namespace

LibrarySalvage salvageLibrary(const std::filesystem::path& databaseFile) {
  LibrarySalvage salvage;
  // The set-aside file is only read: it stays as it was moved aside.
  const LogFilesAsFound asFound(databaseFile);
  SQLiteConnection db({}, {}, platform::systemClock());
  try {
    db.open(databaseFile.string(), SQLiteConnection::Access::readOnly);
  } catch (const Error& error) {
    platform::logError("Database", "The set-aside library cannot be read for its marks (" +
                                       error.localizedDescription() + "): " + databaseFile.string());
    return salvage;
  }
  auto guard = db.lock();

  const std::map<std::int64_t, ReviewState> states = readReviewStates(db);

  std::map<std::int64_t, SalvagedTagConcept> concepts;
  readAround(db,
             "SELECT id, display_name, normalized_key, search_text, created_at, updated_at FROM tag_concepts",
             {"id"}, [&](SQLiteRows& rows) {
               SalvagedTagConcept& tagConcept = concepts[rows.int64(0)];
               tagConcept.id = rows.int64(0);
               tagConcept.displayName = rows.text(1);
               tagConcept.normalizedKey = rows.text(2);
               tagConcept.searchText = rows.text(3);
               tagConcept.createdAt = rows.real(4);
               tagConcept.updatedAt = rows.real(5);
             });
  std::map<std::int64_t, std::set<std::int64_t>> aliasTerms;
  std::map<std::int64_t, std::set<std::int64_t>> assignedMedia;
  if (!concepts.empty()) {
    readAround(db, "SELECT concept_id, tag_term_id FROM tag_concept_aliases WHERE is_active = 1",
               {"concept_id", "tag_term_id"},
               [&](SQLiteRows& rows) { aliasTerms[rows.int64(0)].insert(rows.int64(1)); });
    readAround(db, "SELECT concept_id, media_file_id FROM image_concept_assignments WHERE is_active = 1",
               {"concept_id", "media_file_id"},
               [&](SQLiteRows& rows) { assignedMedia[rows.int64(0)].insert(rows.int64(1)); });
  }

  std::set<std::int64_t> wantedTerms;
  for (const auto& [conceptID, terms] : aliasTerms) wantedTerms.insert(terms.begin(), terms.end());
  std::unordered_map<std::int64_t, SalvagedTagConcept::Alias> terms;
  if (!wantedTerms.empty()) {
    readAround(db, "SELECT id, normalized_key, display_name, search_text FROM tag_terms", {"id"},
               [&](SQLiteRows& rows) {
                 if (wantedTerms.contains(rows.int64(0)))
                   terms[rows.int64(0)] = {rows.text(1), rows.text(2), rows.text(3)};
               });
  }

  std::set<std::int64_t> wantedMedia;
  for (const auto& [mediaID, state] : states) wantedMedia.insert(mediaID);
  for (const auto& [conceptID, media] : assignedMedia) wantedMedia.insert(media.begin(), media.end());
  const auto facts = readMediaFacts(db, wantedMedia);
  const auto factsOf = [&](std::int64_t mediaID) -> const MediaFacts* {
    const auto found = facts.find(mediaID);
    if (found == facts.end() || (!found->second.path && !found->second.contentSHA256)) return nullptr;
    return &found->second;
  };

  std::set<std::int64_t> trashed;
  readAround(db, "SELECT media_file_id FROM trashed_media_files", {"media_file_id"},
             [&](SQLiteRows& rows) { trashed.insert(rows.int64(0)); });
  std::set<std::string> markedContents;
  for (const auto& [mediaID, state] : states) {
    if (const MediaFacts* media = factsOf(mediaID)) {
      salvage.reviewStates.push_back({media->path, media->contentSHA256, state, trashed.contains(mediaID)});
      if (media->contentSHA256) markedContents.insert(*media->contentSHA256);
    }
  }
  if (!markedContents.empty()) {
    // From the table and from the content's index, each past what damage hides from the other.
    std::map<std::int64_t, SalvagedReviewState> others;
    const RowHandler takeOther = [&](SQLiteRows& rows) {
      const std::int64_t id = rows.int64(0);
      if (states.contains(id) || rows.isNull(1) || rows.isNull(2) || !markedContents.contains(rows.text(2)))
        return;
      others[id] = {rows.text(1), rows.text(2), {}, trashed.contains(id)};
    };
    readAround(db, "SELECT id, absolute_path, content_sha256 FROM media_files NOT INDEXED", {"id"},
               takeOther);
    readAround(db,
               "SELECT id, absolute_path, content_sha256 FROM media_files INDEXED BY "
               "idx_media_files_content_sha256 WHERE content_sha256 IS NOT NULL",
               {"content_sha256"}, takeOther);
    for (auto& [mediaID, other] : others) salvage.sameContent.push_back(std::move(other));
  }
  for (auto& [conceptID, tagConcept] : concepts) {
    for (const std::int64_t term : aliasTerms[conceptID]) {
      if (const auto found = terms.find(term); found != terms.end())
        tagConcept.aliases.push_back(found->second);
    }
    for (const std::int64_t mediaID : assignedMedia[conceptID]) {
      if (const MediaFacts* media = factsOf(mediaID))
        tagConcept.assignments.push_back({media->path, media->contentSHA256});
    }
    salvage.concepts.push_back(std::move(tagConcept));
  }
  platform::logInfo("Database", "Read " + std::to_string(salvage.reviewStates.size()) +
                                    " review states and " + std::to_string(salvage.concepts.size()) +
                                    " tag concepts back from " + databaseFile.string());
  return salvage;
}

}  // namespace lorvex
