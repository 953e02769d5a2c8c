#include "database/internal/carried_marks.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "database/internal/concept_index.h"
#include "database/internal/review_states.h"
#include "database/internal/row_mappers.h"
#include "model/text/paths.h"

namespace lorvex {

void replaceCarriedMarksNote(const std::filesystem::path& note, const std::string& text) {
  const std::filesystem::path temporary = note.string() + ".tmp";
  const int file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (file < 0) {
    throw std::filesystem::filesystem_error("Unable to write the note of a set-aside library", temporary,
                                            std::error_code(errno, std::generic_category()));
  }
  std::size_t written = 0;
  int failure = 0;
  while (written < text.size() && failure == 0) {
    const ssize_t result = ::write(file, text.data() + written, text.size() - written);
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0)
      failure = result < 0 ? errno : EIO;
    else
      written += static_cast<std::size_t>(result);
  }
  if (failure == 0 && ::fsync(file) != 0) failure = errno;
  ::close(file);
  if (failure == 0 && ::rename(temporary.c_str(), note.c_str()) != 0) failure = errno;
  if (failure != 0) {
    ::unlink(temporary.c_str());
    throw std::filesystem::filesystem_error("Unable to write the note of a set-aside library", note,
                                            std::error_code(failure, std::generic_category()));
  }
  const int folder = ::open(note.parent_path().empty() ? "." : note.parent_path().c_str(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

namespace {

bool hasOwnState(const ReviewState& state) {
  return state.favorite || state.deleteCandidate || state.notes.has_value();
}

// Nothing is at the path any more. A path that cannot be examined counts as still there: its
// marks are not handed to another file on a guess.
bool isGone(const std::string& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() == std::filesystem::file_type::not_found;
}

}  // namespace

std::set<std::int64_t> restoreTagConcepts(SQLiteConnection& connection, const LibrarySalvage& salvage) {
  std::set<std::int64_t> restored;
  if (salvage.concepts.empty()) return restored;
  connection.performTransaction([&] {
    const double now = connection.now();
    for (const SalvagedTagConcept& tagConcept : salvage.concepts) {
      connection.execute(
          "INSERT INTO tag_concepts (id, display_name, normalized_key, search_text, created_at, updated_at) "
          "VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING",
          {tagConcept.id, tagConcept.displayName, tagConcept.normalizedKey, tagConcept.searchText,
           tagConcept.createdAt, tagConcept.updatedAt});
      // Another concept may hold the id or the key: the salvaged one then stays out.
      if (!connection.query("SELECT 1 FROM tag_concepts WHERE id = ? AND normalized_key = ?",
                            {tagConcept.id, tagConcept.normalizedKey}, rows::exists))
        continue;
      restored.insert(tagConcept.id);
      for (const SalvagedTagConcept::Alias& alias : tagConcept.aliases) {
        // The term exists before any image carries it, as it did in the old library; the images'
        // projections find it by its key.
        connection.execute(
            "INSERT INTO tag_terms (normalized_key, display_name, search_text) VALUES (?, ?, ?) ON "
            "CONFLICT(normalized_key) DO NOTHING",
            {alias.normalizedKey, alias.displayName, alias.searchText});
        const std::int64_t termID =
            connection.query("SELECT id FROM tag_terms WHERE normalized_key = ?", {alias.normalizedKey},
                             rows::requiredFirstInt64("tag term ", alias.normalizedKey));
        connection.execute(
            "INSERT INTO tag_concept_aliases (concept_id, tag_term_id, is_active, created_at, updated_at) "
            "VALUES (?, ?, 1, ?, ?) ON CONFLICT(concept_id, tag_term_id) DO NOTHING",
            {tagConcept.id, termID, now, now});
      }
      rebuildTagConceptIndex(connection, tagConcept.id, now);
    }
  });
  return restored;
}

CarriedMarks::CarriedMarks(const LibrarySalvage& salvage, const std::set<std::int64_t>& conceptIDs) {
  for (const SalvagedReviewState& reviewed : salvage.reviewStates) {
    if (!hasOwnState(reviewed.state)) continue;
    Entry& entry = entryFor(reviewed.path, reviewed.contentSHA256);
    entry.state = reviewed.state;
    entry.trashed = entry.trashed || reviewed.trashed;
  }
  // Records without a review: a file at such a path is that record, and each one is another place
  // the content may have come from.
  for (const SalvagedReviewState& other : salvage.sameContent) {
    if (!other.path) continue;
    Entry& entry = entryFor(other.path, other.contentSHA256);
    entry.trashed = entry.trashed || other.trashed;
  }
  for (const SalvagedTagConcept& tagConcept : salvage.concepts) {
    if (!conceptIDs.contains(tagConcept.id)) continue;
    for (const SalvagedTagConcept::Assignment& assignment : tagConcept.assignments)
      entryFor(assignment.path, assignment.contentSHA256).conceptIDs.insert(tagConcept.id);
  }
}

CarriedMarks::Entry& CarriedMarks::entryFor(const std::optional<std::string>& path,
                                            const std::optional<std::string>& contentSHA256) {
  auto& keys = path ? byPath_ : contentOnly_;
  const std::string& key = path ? *path : *contentSHA256;
  const auto [found, added] = keys.try_emplace(key, entries_.size());
  if (added) {
    entries_.push_back({path, std::nullopt, {}, false});
    if (contentSHA256) byContent_.emplace(*contentSHA256, found->second);
  }
  return entries_[found->second];
}

CarriedMarks::ForFile CarriedMarks::forNewFile(const std::string& path,
                                               const std::optional<std::string>& contentSHA256,
                                               const PathsHolding& pathsHolding) const {
  if (const auto found = byPath_.find(path); found != byPath_.end()) {
    const Entry& entry = entries_[found->second];
    std::optional<ReviewState> state = entry.state;
    // Put back from the Trash: kept after all.
    if (state && entry.trashed) state->deleteCandidate = false;
    if (state && !hasOwnState(*state)) state.reset();
    return {state, {entry.conceptIDs.begin(), entry.conceptIDs.end()}};
  }
  if (!contentSHA256 || !byContent_.contains(*contentSHA256)) return {};
  for (const std::string& holder : pathsHolding(*contentSHA256)) {
    if (!byPath_.contains(holder)) return {};
  }
  // The same content where nothing is any more: the file was moved or renamed since. Among
  // several, those of the same name.
  const std::string_view name = text::lastPathComponent(path);
  std::vector<const Entry*> gone;
  bool sameName = false;
  const auto [first, last] = byContent_.equal_range(*contentSHA256);
  for (auto it = first; it != last; ++it) {
    const Entry& entry = entries_[it->second];
    if (entry.trashed || (entry.path && !isGone(*entry.path))) continue;
    const bool named = entry.path && text::lastPathComponent(*entry.path) == name;
    if (named && !sameName) gone.clear();
    sameName = sameName || named;
    if (named == sameName) gone.push_back(&entry);
  }
  if (gone.empty()) return {};
  std::sort(gone.begin(), gone.end(),
            [](const Entry* a, const Entry* b) { return a->path.value_or("") < b->path.value_or(""); });
  std::vector<ReviewState> states;
  for (const Entry* entry : gone) states.push_back(entry->state.value_or(ReviewState{}));
  ForFile carried;
  if (const ReviewState taken = handOverReviewState(states).taken; hasOwnState(taken)) carried.state = taken;
  if (gone.size() == 1) carried.conceptIDs.assign(gone[0]->conceptIDs.begin(), gone[0]->conceptIDs.end());
  return carried;
}

}  // namespace lorvex
