#include "database/internal/search_query_compiler.h"

#include <algorithm>
#include <limits>
#include <set>
#include <utility>
#include <variant>

#include "database/internal/row_mappers.h"
#include "database/internal/search_sort_key.h"
#include "database/internal/sql_functions.h"
#include "database/internal/sql_paths.h"
#include "database/internal/tag_key_candidates.h"
#include "database/internal/tag_keys.h"
#include "model/generation_model_normalizer.h"
#include "model/image_tag_source_mask.h"
#include "model/overloaded.h"
#include "model/text/paths.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace lorvex::search {

namespace {

constexpr std::string_view kRootTable = "temp.lorvex_search_roots";

// A folder's images come from an index that holds their sort keys, so starting from one costs a
// fraction of a row lookup.
constexpr double kFolderCandidateCost = 0.15;
// More folders than this are read from a temporary table: each takes three bindings.
constexpr std::size_t kMaxInlineRoots = kMaxBoundListLength / 3;
// Past the soft cap, gathering checks every this many ids whether it should stop.
constexpr std::int64_t kGatherCheckInterval = 1024;

std::vector<std::int64_t> sortedUnique(std::vector<std::int64_t> values) {
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  return values;
}

void append(SQLiteV3Bindings& to, const SQLiteV3Bindings& from) {
  to.insert(to.end(), from.begin(), from.end());
}

SQLiteV3Bindings intBindings(const std::vector<std::int64_t>& values) {
  return SQLiteV3Bindings(values.begin(), values.end());
}

// The exclusive upper bound of the paths that begin with `prefix` (which ends in "/"): the same
// text with its last byte, "/", raised to "0". Paths compare byte for byte (BINARY collation), so
// [prefix, bound) is exactly "begins with prefix", and it is a range an index can walk.
std::string prefixUpperBound(std::string prefix) {
  prefix.back() = static_cast<char>(prefix.back() + 1);
  return prefix;
}

// Drops every root that lies at or under another one: it adds no image, and without nesting the
// folder ranges of the remaining roots are disjoint.
std::vector<std::string> outermostRoots(const std::vector<std::string>& roots) {
  std::set<std::string, std::less<>> kept;
  std::vector<std::string> sorted = roots;
  std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  std::vector<std::string> result;
  for (const std::string& root : sorted) {
    bool covered = kept.count(root) > 0;
    for (std::size_t slash = root.rfind('/'); !covered && slash != std::string::npos && slash > 0;
         slash = root.rfind('/', slash - 1)) {
      covered = kept.count(std::string_view(root).substr(0, slash)) > 0;
    }
    if (!covered && root.size() > 1 && kept.count("/") > 0 && root.front() == '/') covered = true;
    if (covered) continue;
    kept.insert(root);
    result.push_back(root);
  }
  std::sort(result.begin(), result.end());
  return result;
}

}  // namespace

// One condition of the id statement. `probe` tests one media_files row (alias m); `candidates`,
// when set, selects the ids of every image that can satisfy the condition, so the statement may
// start from them instead of walking the order index.
struct SearchCondition {
  explicit SearchCondition(ConditionKind kind) : kind(kind) {}

  ConditionKind kind;
  std::string probe;
  SQLiteV3Bindings probeBindings;
  std::string candidates;
  SQLiteV3Bindings candidateBindings;
  // A statement giving the number of images the condition admits from kept statistics; when
  // empty, the candidates are counted up to a cap.
  std::string statisticsEstimate;
  SQLiteV3Bindings statisticsBindings;
  // When set, the page starts from these media_files rows (alias m) directly, with `probe` as
  // their condition, instead of looking up each candidate id.
  std::string drivingSource;
  // What starting from one candidate costs, relative to looking up a media_files row by id.
  double candidateCost = 1.0;
  // Every id the candidates select, ascending, when they were few enough to gather.
  std::vector<std::int64_t> gatheredIDs;
  // Whether `probe` reads columns of the media_files row other than its id.
  bool probeReadsRow = false;

  ConditionFacts facts() const {
    ConditionFacts facts;
    facts.kind = kind;
    facts.counting = candidates.empty()           ? Counting::none
                     : statisticsEstimate.empty() ? Counting::gathering
                                                  : Counting::statistics;
    facts.candidateCost = candidateCost;
    return facts;
  }
};

namespace {

std::string joinedPlaceholders(std::size_t count) {
  return sql::inListPlaceholders(count);
}

SearchCondition filterGroupCondition(const ImageSearchFilterGroupV3& group) {
  SearchCondition condition(ConditionKind::filterTags);
  std::vector<std::string> probes;
  std::vector<std::string> sources;
  std::vector<std::string> counts;
  SQLiteV3Bindings tagBindings = intBindings(group.tagIDs);
  SQLiteV3Bindings conceptBindings = intBindings(group.conceptIDs);
  if (!group.tagIDs.empty()) {
    const std::string list = joinedPlaceholders(group.tagIDs.size());
    probes.push_back(
        "EXISTS (SELECT 1 FROM media_tag_index AS t WHERE t.media_file_id = m.id AND t.tag_term_id IN " +
        list + ")");
    sources.push_back(
        "SELECT t.media_file_id FROM media_tag_index AS t INDEXED BY idx_media_tag_index_tag_media "
        "WHERE t.tag_term_id IN " +
        list);
    counts.push_back("COALESCE((SELECT sum(image_count) FROM tag_term_stats WHERE tag_term_id IN " + list +
                     "), 0)");
    append(condition.probeBindings, tagBindings);
    append(condition.candidateBindings, tagBindings);
    append(condition.statisticsBindings, tagBindings);
  }
  if (!group.conceptIDs.empty()) {
    const std::string list = joinedPlaceholders(group.conceptIDs.size());
    probes.push_back(
        "EXISTS (SELECT 1 FROM concept_image_index AS c WHERE c.media_file_id = m.id AND c.concept_id IN " +
        list + ")");
    sources.push_back("SELECT c.media_file_id FROM concept_image_index AS c WHERE c.concept_id IN " + list);
    counts.push_back("COALESCE((SELECT sum(image_count) FROM tag_concept_stats WHERE concept_id IN " + list +
                     "), 0)");
    append(condition.probeBindings, conceptBindings);
    append(condition.candidateBindings, conceptBindings);
    append(condition.statisticsBindings, conceptBindings);
  }
  condition.probe = probes.size() == 1 ? probes[0] : "(" + probes[0] + " OR " + probes[1] + ")";
  condition.candidates = sources.size() == 1 ? sources[0] : sources[0] + " UNION ALL " + sources[1];
  condition.statisticsEstimate = "SELECT " + (counts.size() == 1 ? counts[0] : counts[0] + " + " + counts[1]);
  return condition;
}

SearchCondition promptTagCondition(std::int64_t tagID) {
  const std::int64_t promptBit = ImageTagSourceMask::prompt.rawValue();
  SearchCondition condition(ConditionKind::promptTag);
  condition.probe =
      "EXISTS (SELECT 1 FROM media_tag_index AS t WHERE t.media_file_id = m.id AND t.tag_term_id = ? "
      "AND (t.source_mask & ?) != 0)";
  condition.probeBindings = {tagID, promptBit};
  condition.candidates =
      "SELECT t.media_file_id FROM media_tag_index AS t INDEXED BY idx_media_tag_index_tag_media "
      "WHERE t.tag_term_id = ? AND (t.source_mask & ?) != 0";
  condition.candidateBindings = {tagID, promptBit};
  condition.statisticsEstimate =
      "SELECT COALESCE((SELECT prompt_image_count FROM tag_term_stats WHERE tag_term_id = ?), 0)";
  condition.statisticsBindings = {tagID};
  return condition;
}

SearchCondition modelCondition(std::int64_t modelID) {
  SearchCondition condition(ConditionKind::model);
  condition.probe =
      "EXISTS (SELECT 1 FROM generation_records AS g JOIN model_usages AS u ON u.generation_record_id = g.id "
      "WHERE g.media_file_id = m.id AND g.is_primary = 1 AND u.model_id = ?)";
  condition.probeBindings = {modelID};
  condition.candidates =
      "SELECT g.media_file_id FROM model_usages AS u CROSS JOIN generation_records AS g INDEXED BY "
      "idx_generation_records_id_media "
      "ON g.id = u.generation_record_id WHERE u.model_id = ? AND g.is_primary = 1";
  condition.candidateBindings = {modelID};
  condition.statisticsEstimate = "SELECT COALESCE((SELECT image_count FROM models WHERE id = ?), 0)";
  condition.statisticsBindings = {modelID};
  return condition;
}

SearchCondition seedCondition(std::int64_t seed) {
  SearchCondition condition(ConditionKind::seed);
  condition.probe =
      "EXISTS (SELECT 1 FROM generation_records AS g JOIN generation_parameters AS p "
      "ON p.generation_record_id = g.id WHERE g.media_file_id = m.id AND g.is_primary = 1 "
      "AND p.key = 'seed' AND p.integer_value = ?)";
  condition.probeBindings = {seed};
  condition.candidates =
      "SELECT g.media_file_id FROM generation_parameters AS p CROSS JOIN generation_records AS g INDEXED BY "
      "idx_generation_records_id_media "
      "ON g.id = p.generation_record_id WHERE p.key = 'seed' AND p.integer_value = ? AND g.is_primary = 1";
  condition.candidateBindings = {seed};
  return condition;
}

SearchCondition aspectCondition(const std::vector<ImageAspectClass>& classes) {
  SQLiteV3Bindings values;
  for (ImageAspectClass aspect : classes) values.emplace_back(rawValue(aspect));
  const std::string list = joinedPlaceholders(values.size());
  SearchCondition condition(ConditionKind::aspect);
  condition.probe =
      "EXISTS (SELECT 1 FROM image_properties AS ip WHERE ip.media_file_id = m.id AND ip.aspect_class IN " +
      list + ")";
  condition.probeBindings = values;
  condition.candidates =
      "SELECT ip.media_file_id FROM image_properties AS ip WHERE ip.aspect_class IN " + list;
  condition.candidateBindings = values;
  return condition;
}

SearchCondition textCondition(const std::string& matchText) {
  SearchCondition condition(ConditionKind::text);
  condition.probe = "m.id IN (SELECT rowid FROM media_text_fts WHERE media_text_fts MATCH ?)";
  condition.probeBindings = {matchText};
  condition.candidates = "SELECT rowid FROM media_text_fts WHERE media_text_fts MATCH ?";
  condition.candidateBindings = {matchText};
  return condition;
}

SearchCondition characterCondition(const std::string& characterText) {
  SearchCondition condition(ConditionKind::character);
  condition.probe =
      "EXISTS (SELECT 1 FROM generation_records AS g JOIN prompt_segments AS s ON s.generation_record_id = "
      "g.id "
      "WHERE g.media_file_id = m.id AND g.is_primary = 1 AND s.role IN ('character', 'character_caption') "
      "AND s.is_negative = 0 AND lower(s.content) LIKE ?)";
  condition.probeBindings = {"%" + text::lowercased(characterText) + "%"};
  return condition;
}

SearchCondition reviewFlagCondition(ConditionKind kind, std::string_view column, std::string_view index,
                                    bool value) {
  const std::string col(column);
  SearchCondition condition(kind);
  condition.probe =
      "COALESCE((SELECT r." + col + " FROM review_states AS r WHERE r.media_file_id = m.id), 0) = ?";
  condition.probeBindings = {value ? 1 : 0};
  if (value) {
    condition.candidates = "SELECT r.media_file_id FROM review_states AS r INDEXED BY " + std::string(index) +
                           " WHERE r." + col + " = ?";
    condition.candidateBindings = {1};
  }
  return condition;
}

SearchCondition inlineRootCondition(const std::vector<std::string>& roots) {
  SearchCondition condition(ConditionKind::folders);
  std::string probe = "(";
  // The roots are disjoint, and so are a root's own path and the paths under it: the candidates of
  // each range need no merging with the others.
  std::string candidates;
  const std::string select =
      "SELECT f.id FROM media_files AS f INDEXED BY idx_media_files_path_browse WHERE ";
  for (std::size_t i = 0; i < roots.size(); ++i) {
    const std::string separator = i == 0 ? "" : " OR ";
    probe += separator + "m.absolute_path = ? OR (m.absolute_path >= ? AND m.absolute_path < ?)";
    candidates += (i == 0 ? "" : " UNION ALL ") + select + "f.absolute_path = ? UNION ALL " + select +
                  "f.absolute_path >= ? AND f.absolute_path < ?";
    std::string prefix = sql::folderPrefix(roots[i]);
    const SQLiteV3Bindings bindings{roots[i], prefix, prefixUpperBound(prefix)};
    append(condition.probeBindings, bindings);
    append(condition.candidateBindings, bindings);
  }
  condition.probe = probe + ")";
  condition.candidates = candidates;
  // The path index holds the sort keys too: a folder's images come in page order without a row
  // lookup each.
  condition.drivingSource = "media_files AS m INDEXED BY idx_media_files_path_browse";
  condition.probeReadsRow = true;
  condition.candidateCost = kFolderCandidateCost;
  return condition;
}

// For more roots than one list may bind: the outermost roots go into a temporary table in chunks,
// and the condition reads their disjoint folder ranges from there.
SearchCondition tableRootCondition() {
  const std::string table(kRootTable);
  SearchCondition condition(ConditionKind::folders);
  condition.probe = "(EXISTS (SELECT 1 FROM " + table +
                    " AS r WHERE r.path = m.absolute_path) OR EXISTS (SELECT 1 FROM (SELECT r.hi FROM " +
                    table +
                    " AS r WHERE r.lo <= m.absolute_path ORDER BY r.lo DESC LIMIT 1) AS nearest "
                    "WHERE nearest.hi > m.absolute_path))";
  condition.candidates =
      "SELECT f.id FROM " + table + " AS r CROSS JOIN media_files AS f ON f.absolute_path = r.path " +
      "UNION ALL SELECT f.id FROM " + table +
      " AS r CROSS JOIN media_files AS f ON f.absolute_path >= r.lo AND f.absolute_path < r.hi";
  condition.probeReadsRow = true;
  return condition;
}

}  // namespace

std::optional<std::string> ftsMatchText(std::string_view input) {
  const std::string_view trimmed = text::trimmedWhitespace(input);
  if (trimmed.empty()) return std::nullopt;
  std::string result;
  std::size_t offset = 0;
  while (offset < trimmed.size()) {
    if (const std::size_t length = text::whiteSpaceLength(trimmed, offset); length > 0) {
      offset += length;
      continue;
    }
    std::size_t end = offset;
    while (end < trimmed.size() && text::whiteSpaceLength(trimmed, end) == 0) ++end;
    if (!result.empty()) result += ' ';
    result += '"';
    for (char c : trimmed.substr(offset, end - offset)) {
      result += c;
      if (c == '"') result += '"';
    }
    result += '"';
    offset = end;
  }
  return result;
}

std::string orderByText(ImageSearchSortV3 sort, std::string_view table) {
  const SortKey& key = sortKey(sort);
  const std::string t(table);
  const std::string keyword(key.keyword());
  return t + "." + std::string(key.column) + " " + keyword + ", " + t + ".id " + keyword;
}

std::optional<std::pair<std::string, SQLiteV3Bindings>> keysetPredicate(const ImageSearchQueryV3& query,
                                                                        std::string_view table) {
  if (!query.cursor) return std::nullopt;
  const SortKey& key = sortKey(query.sort);
  const std::string t(table);
  const std::string column = t + "." + std::string(key.column);
  const std::string beyond(key.after());
  const std::string tie = column + " = ? AND " + t + ".id" + beyond + "?))";
  using Predicate = std::optional<std::pair<std::string, SQLiteV3Bindings>>;
  const auto afterDate = [&](const ImageSearchCursorV3::ModificationDate& date) -> Predicate {
    if (key.cursor != SortCursorKind::modificationDate) return std::nullopt;
    return std::pair{"(" + column + beyond + "? OR (" + tie,
                     SQLiteV3Bindings{date.timestamp, date.timestamp, date.imageID}};
  };
  const auto afterName = [&](const ImageSearchCursorV3::FileName& name) -> Predicate {
    if (key.cursor != SortCursorKind::fileName) return std::nullopt;
    return std::pair{"(" + column + beyond + "?\n    OR (" + tie,
                     SQLiteV3Bindings{name.basenameNormalized, name.basenameNormalized, name.imageID}};
  };
  return std::visit(Overloaded{afterDate, afterName}, query.cursor->position);
}

SearchQueryCompiler::SearchQueryCompiler(SQLiteConnection& connection, std::stop_token stop)
    : connection_(connection), stop_(std::move(stop)) {}

void SearchQueryCompiler::checkCancelled() const {
  if (stop_.stop_requested()) throw SearchCancelledError();
}

std::vector<std::int64_t> SearchQueryCompiler::tagTermIDs(const std::vector<std::string>& keys) {
  std::vector<std::string> sorted = keys;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  std::vector<std::int64_t> ids;
  for (std::size_t start = 0; start < sorted.size(); start += kMaxBoundListLength) {
    const std::size_t count = std::min(kMaxBoundListLength, sorted.size() - start);
    const SQLiteV3Bindings bindings(sorted.begin() + static_cast<std::ptrdiff_t>(start),
                                    sorted.begin() + static_cast<std::ptrdiff_t>(start + count));
    auto chunk = connection_.query("SELECT id FROM tag_terms WHERE normalized_key IN " +
                                       sql::inListPlaceholders(count) + " ORDER BY id ASC",
                                   bindings, rows::int64Column);
    ids.insert(ids.end(), chunk.begin(), chunk.end());
  }
  if (sorted.size() > kMaxBoundListLength) ids = sortedUnique(std::move(ids));
  return ids;
}

std::optional<std::int64_t> SearchQueryCompiler::modelID(std::string_view source) {
  const auto descriptor = GenerationModelNormalizer::descriptor(source);
  const std::string lookup = descriptor ? descriptor->rawSource : std::string(source);
  return connection_.query("SELECT id FROM models WHERE raw_source = ?", {lookup}, rows::firstInt64);
}

std::optional<ImageSearchQueryV3> SearchQueryCompiler::compile(const ImageSearchQuery& query) {
  checkCancelled();
  ImageSearchQueryV3 compiled;

  for (const std::string& filterTag : query.filterTags) {
    const std::vector<std::string> candidates = tagKeyCandidates(filterTag);
    if (candidates.empty()) continue;
    checkCancelled();
    std::vector<std::int64_t> ids = tagTermIDs(candidates);
    if (ids.empty()) return std::nullopt;
    compiled.filterGroups.push_back({sortedUnique(std::move(ids)), {}});
  }
  for (std::int64_t conceptID : sortedUnique(query.filterConceptIDs)) {
    compiled.filterGroups.push_back({{}, {conceptID}});
  }

  std::vector<std::int64_t> promptTagIDs;
  for (const std::string& key : normalizedTagKeys(query.promptTags)) {
    checkCancelled();
    const std::vector<std::int64_t> ids = tagTermIDs({key});
    if (ids.empty()) return std::nullopt;
    promptTagIDs.insert(promptTagIDs.end(), ids.begin(), ids.end());
  }
  checkCancelled();
  compiled.promptTagIDs = sortedUnique(std::move(promptTagIDs));

  if (query.source) {
    compiled.modelID = modelID(*query.source);
    if (!compiled.modelID) return std::nullopt;
  }

  compiled.rootPaths = sql::standardizedUniquePaths(query.rootPaths);
  std::sort(compiled.rootPaths.begin(), compiled.rootPaths.end());
  compiled.seed = query.seed;
  compiled.aspectClasses = aspectClassesForFilters(query.aspectFilters);
  compiled.textSearchQuery = ftsMatchText(query.text);
  if (query.characterText) compiled.characterText = text::trimmedNonEmpty(*query.characterText);
  compiled.favorite = query.favorite;
  compiled.deleteCandidate = query.deleteCandidate;
  compiled.missing = query.missing;
  compiled.includeMissing = query.includeMissing || query.missing.has_value();
  compiled.sort = compiledSort(query.sort);
  compiled.limit = query.limit;
  compiled.offset = query.offset;
  std::erase_if(compiled.filterGroups, [](const ImageSearchFilterGroupV3& group) {
    return group.tagIDs.empty() && group.conceptIDs.empty();
  });
  return compiled;
}

std::vector<std::int64_t> SearchQueryCompiler::readIDs(const std::string& sql,
                                                       const SQLiteV3Bindings& bindings) {
  return connection_.query(sql, bindings, [this](SQLiteRows& rows) {
    std::vector<std::int64_t> ids;
    for (;;) {
      checkCancelled();
      if (!rows.next()) break;
      ids.push_back(rows.int64(0));
    }
    checkCancelled();
    return ids;
  });
}

std::optional<std::vector<std::int64_t>> SearchQueryCompiler::gatherIDs(const std::string& sql,
                                                                        const SQLiteV3Bindings& bindings,
                                                                        std::int64_t softCap,
                                                                        std::int64_t hardCap,
                                                                        double rowCount) {
  return connection_.query(sql, bindings, [&](SQLiteRows& rows) -> std::optional<std::vector<std::int64_t>> {
    std::vector<std::int64_t> ids;
    bool ascending = true;
    for (;;) {
      checkCancelled();
      if (!rows.next()) {
        if (static_cast<std::int64_t>(ids.size()) >= hardCap) return std::nullopt;
        return ids;
      }
      const std::int64_t id = rows.int64(0);
      ascending = ascending && (ids.empty() || ids.back() < id);
      ids.push_back(id);
      const auto count = static_cast<std::int64_t>(ids.size());
      if (count < softCap || count % kGatherCheckInterval != 0) continue;
      // Ids that come ascending come from an index that orders one condition's images by id, so
      // the share of ids passed so far says how many there are in all.
      const double projected = id > 0 ? static_cast<double>(count) * rowCount / static_cast<double>(id)
                                      : std::numeric_limits<double>::infinity();
      if (count >= hardCap || !ascending || projected >= static_cast<double>(hardCap)) return std::nullopt;
    }
  });
}

std::vector<SearchCondition> SearchQueryCompiler::conditions(const ImageSearchQueryV3& query) {
  std::vector<SearchCondition> conditions;
  for (const ImageSearchFilterGroupV3& group : query.filterGroups) {
    if (!group.tagIDs.empty() || !group.conceptIDs.empty()) conditions.push_back(filterGroupCondition(group));
  }
  for (std::int64_t tagID : query.promptTagIDs) conditions.push_back(promptTagCondition(tagID));
  if (query.modelID) conditions.push_back(modelCondition(*query.modelID));
  if (query.seed) conditions.push_back(seedCondition(*query.seed));
  if (query.favorite) {
    conditions.push_back(reviewFlagCondition(ConditionKind::favorite, "favorite",
                                             "idx_review_states_favorite", *query.favorite));
  }
  if (query.deleteCandidate) {
    conditions.push_back(reviewFlagCondition(ConditionKind::deleteCandidate, "delete_candidate",
                                             "idx_review_states_delete_candidate", *query.deleteCandidate));
  }
  if (!query.rootIDs.empty()) {
    // Root ids are never produced by the compilation; a caller that sets them gets a plain test.
    SearchCondition condition(ConditionKind::rootIDs);
    condition.probe = "m.root_id IN " + sql::inListPlaceholders(query.rootIDs.size());
    condition.probeReadsRow = true;
    condition.probeBindings = intBindings(query.rootIDs);
    conditions.push_back(std::move(condition));
  }
  if (!query.rootPaths.empty()) {
    const std::vector<std::string> roots = outermostRoots(query.rootPaths);
    if (roots.size() <= kMaxInlineRoots) {
      conditions.push_back(inlineRootCondition(roots));
    } else {
      fillRootTable(roots);
      conditions.push_back(tableRootCondition());
    }
  }
  if (!query.aspectClasses.empty()) conditions.push_back(aspectCondition(query.aspectClasses));
  if (query.textSearchQuery) conditions.push_back(textCondition(*query.textSearchQuery));
  if (query.characterText) conditions.push_back(characterCondition(*query.characterText));
  if (auto keyset = keysetPredicate(query, "m")) {
    SearchCondition condition(ConditionKind::keyset);
    // The rows after the cursor lie at or past its sort key: a bound the order indexes seek to,
    // so a page far down the order starts there instead of walking every row before it.
    const SortKey& key = sortKey(query.sort);
    condition.probe =
        "m." + std::string(key.column) + std::string(key.atOrAfter()) + "? AND " + keyset->first;
    condition.probeBindings = {keyset->second.front()};
    append(condition.probeBindings, keyset->second);
    condition.probeReadsRow = true;
    conditions.push_back(std::move(condition));
  }
  return conditions;
}

bool SearchQueryCompiler::countConditions(std::vector<SearchCondition>& conditions, PlanInput& input) {
  for (std::size_t i : countingOrder(input.conditions)) {
    checkCancelled();
    SearchCondition& condition = conditions[i];
    ConditionFacts& facts = input.conditions[i];
    if (facts.counting == Counting::statistics) {
      facts.count = connection_.query(condition.statisticsEstimate, condition.statisticsBindings,
                                      rows::firstInt64OrZero);
      continue;
    }
    const GatherCaps caps = gatherCaps(input, i);
    SQLiteV3Bindings bindings = condition.candidateBindings;
    bindings.emplace_back(caps.walk);
    std::optional<std::vector<std::int64_t>> gathered =
        gatherIDs("SELECT * FROM (" + condition.candidates + ") LIMIT ?", bindings, caps.drive, caps.walk,
                  input.rowCount);
    if (!gathered) {
      // Stopped before the end: at least as many images as could still drive.
      facts.count = caps.drive;
      continue;
    }
    condition.gatheredIDs = sortedUnique(std::move(*gathered));
    // No image can match: the page is empty, whatever the other conditions say.
    if (condition.gatheredIDs.empty()) return false;
    facts.count = static_cast<std::int64_t>(condition.gatheredIDs.size());
    facts.gathered = true;
  }
  return true;
}

std::vector<std::int64_t> SearchQueryCompiler::pageIDs(const ImageSearchQueryV3& query, PlanChoice choice) {
  checkCancelled();
  Page page;
  page.sort = query.sort;
  page.limit = std::max<std::int64_t>(query.limit, 0);
  page.offset = std::max<std::int64_t>(query.offset, 0);
  if (page.limit == 0) return {};
  if (query.missing) {
    page.missing = *query.missing ? 1 : 0;
  } else if (!query.includeMissing) {
    page.missing = 0;
  }

  std::vector<SearchCondition> conditions = this->conditions(query);
  PlanInput input;
  input.choice = choice;
  input.orderIndexServes = page.missing.has_value();
  input.limit = page.limit;
  input.offset = page.offset;
  for (const SearchCondition& condition : conditions) input.conditions.push_back(condition.facts());
  if (countsConditions(input)) {
    input.rowCount = static_cast<double>(
        connection_.query("SELECT COALESCE(max(id), 0) FROM media_files", {}, rows::firstInt64OrZero));
    if (!countConditions(conditions, input)) return {};
  }
  const SearchPlan plan = choosePlan(input);
  return plan.driver ? filterCandidatePrefix(conditions, plan, page) : walkOrderIndex(conditions, plan, page);
}

std::vector<std::int64_t> SearchQueryCompiler::walkOrderIndex(const std::vector<SearchCondition>& conditions,
                                                              const SearchPlan& plan, const Page& page) {
  std::string sql = "SELECT m.id FROM media_files AS m";
  if (page.missing) sql += " INDEXED BY " + std::string(sortKey(page.sort).orderIndex);
  std::vector<std::string> clauses;
  SQLiteV3Bindings bindings;
  if (page.missing) {
    clauses.emplace_back("m.missing = ?");
    bindings.emplace_back(*page.missing);
  }
  for (const ConditionTest& test : plan.tests) {
    const SearchCondition& condition = conditions[test.condition];
    switch (test.method) {
      case TestMethod::idSet:
        clauses.emplace_back("lorvex_id_in(m.id, ?)");
        bindings.emplace_back(SQLiteV3Binding::Blob{idSetBlob(condition.gatheredIDs)});
        break;
      case TestMethod::candidateList:
        clauses.push_back("m.id IN (" + condition.candidates + ")");
        append(bindings, condition.candidateBindings);
        break;
      case TestMethod::probe:
        clauses.push_back(condition.probe);
        append(bindings, condition.probeBindings);
        break;
    }
  }
  sql += "\nWHERE ";
  if (clauses.empty()) sql += "1 = 1";
  for (std::size_t i = 0; i < clauses.size(); ++i) sql += (i == 0 ? "" : "\n  AND ") + clauses[i];
  sql += "\nORDER BY " + orderByText(page.sort, "m") + "\nLIMIT ? OFFSET ?";
  bindings.emplace_back(page.limit);
  bindings.emplace_back(page.offset);
  return readIDs(sql, bindings);
}

std::vector<std::int64_t> SearchQueryCompiler::filterCandidatePrefix(
    const std::vector<SearchCondition>& conditions, const SearchPlan& plan, const Page& page) {
  // The driver's images in page order; the other conditions are tested afterwards, in batches,
  // only on as many of them as the page needs.
  const SearchCondition& driving = conditions[*plan.driver];
  std::string sql = "SELECT m.id FROM ";
  SQLiteV3Bindings bindings;
  if (driving.drivingSource.empty()) {
    // Candidates are ordered by their sort keys alone; a narrow index by id holds them, so each
    // candidate costs a lookup in it rather than in the wide table. Date orders read the index
    // without the names: fewer pages to touch for the same lookups (a fifth less time).
    sql += "media_files AS m INDEXED BY " + std::string(sortKey(page.sort).idIndex) + "\nWHERE m.id IN (" +
           driving.candidates + ")";
    bindings = driving.candidateBindings;
  } else {
    sql += driving.drivingSource + "\nWHERE " + driving.probe;
    bindings = driving.probeBindings;
  }
  if (page.missing) {
    sql += "\n  AND m.missing = ?";
    bindings.emplace_back(*page.missing);
  }
  // The rows before a cursor are left out of the driver's order itself, not tested batch by batch
  // after it: a page far down the order does not read its way there.
  std::vector<ConditionTest> tests;
  for (const ConditionTest& test : plan.tests) {
    const SearchCondition& condition = conditions[test.condition];
    if (condition.kind == ConditionKind::keyset && test.method == TestMethod::probe) {
      sql += "\n  AND " + condition.probe;
      append(bindings, condition.probeBindings);
    } else {
      tests.push_back(test);
    }
  }
  sql += "\nORDER BY " + orderByText(page.sort, "m") + "\nLIMIT ? OFFSET ?";
  if (tests.empty()) {
    bindings.emplace_back(page.limit);
    bindings.emplace_back(page.offset);
    return readIDs(sql, bindings);
  }
  // The other conditions are tested on a prefix of the driver's images in page order, in batches,
  // only until the page is full, the prefix growing while the page stays short: a bounded sort of
  // a prefix costs much less than sorting every candidate.
  std::string probes;
  SQLiteV3Bindings probeBindings;
  std::vector<const std::vector<std::int64_t>*> idSets;
  bool probesReadRows = false;
  for (const ConditionTest& test : tests) {
    const SearchCondition& condition = conditions[test.condition];
    if (test.method == TestMethod::idSet) {
      idSets.push_back(&condition.gatheredIDs);
    } else {
      probes += "\n  AND " + condition.probe;
      append(probeBindings, condition.probeBindings);
      probesReadRows = probesReadRows || condition.probeReadsRow;
    }
  }
  double prefixLength = plan.firstPrefixLength;
  std::vector<std::int64_t> found;
  std::int64_t skipped = 0;
  std::int64_t read = 0;
  for (;;) {
    // LIMIT -1 reads to the end: a prefix this long is every candidate anyway.
    const std::int64_t prefix = prefixLength >= kEndless ? -1 : static_cast<std::int64_t>(prefixLength);
    SQLiteV3Bindings prefixBindings = bindings;
    prefixBindings.emplace_back(prefix);
    prefixBindings.emplace_back(read);
    const std::vector<std::int64_t> ordered = readIDs(sql, prefixBindings);
    for (std::size_t start = 0; start < ordered.size(); start += kMaxBoundListLength) {
      const std::size_t end = std::min(ordered.size(), start + kMaxBoundListLength);
      std::vector<std::int64_t> batch;
      for (std::size_t i = start; i < end; ++i) {
        if (std::all_of(idSets.begin(), idSets.end(), [&](const std::vector<std::int64_t>* ids) {
              return std::binary_search(ids->begin(), ids->end(), ordered[i]);
            })) {
          batch.push_back(ordered[i]);
        }
      }
      if (!probes.empty() && !batch.empty()) {
        SQLiteV3Bindings batchBindings = intBindings(batch);
        append(batchBindings, probeBindings);
        // Probes that read only the id need no lookup of the row: the ids come from the rows.
        std::string batchSQL;
        if (probesReadRows) {
          batchSQL = "SELECT m.id FROM media_files AS m INDEXED BY idx_media_files_id_sort\nWHERE m.id IN " +
                     sql::inListPlaceholders(batch.size());
        } else {
          batchSQL = "WITH m(id) AS (VALUES (?)";
          for (std::size_t i = 1; i < batch.size(); ++i) batchSQL += ", (?)";
          batchSQL += ")\nSELECT m.id FROM m\nWHERE 1 = 1";
        }
        std::vector<std::int64_t> passing = readIDs(batchSQL + probes, batchBindings);
        passing = sortedUnique(std::move(passing));
        std::erase_if(
            batch, [&](std::int64_t id) { return !std::binary_search(passing.begin(), passing.end(), id); });
      }
      for (std::int64_t id : batch) {
        if (skipped < page.offset) {
          ++skipped;
          continue;
        }
        found.push_back(id);
        if (static_cast<std::int64_t>(found.size()) == page.limit) return found;
      }
    }
    if (prefix < 0 || static_cast<std::int64_t>(ordered.size()) < prefix) return found;
    read += prefix;
    prefixLength *= plan.prefixGrowth;
  }
}

void SearchQueryCompiler::fillRootTable(const std::vector<std::string>& roots) {
  connection_.execute(
      "CREATE TEMP TABLE IF NOT EXISTS lorvex_search_roots (path TEXT NOT NULL, lo TEXT NOT NULL, hi TEXT "
      "NOT NULL)");
  connection_.execute("CREATE INDEX IF NOT EXISTS temp.lorvex_search_roots_lo ON lorvex_search_roots(lo)");
  connection_.execute(
      "CREATE INDEX IF NOT EXISTS temp.lorvex_search_roots_path ON lorvex_search_roots(path)");
  connection_.execute("DELETE FROM " + std::string(kRootTable));
  for (std::size_t start = 0; start < roots.size(); start += kMaxInlineRoots) {
    checkCancelled();
    const std::size_t count = std::min(kMaxInlineRoots, roots.size() - start);
    std::string insert = "INSERT INTO " + std::string(kRootTable) + " (path, lo, hi) VALUES ";
    SQLiteV3Bindings bindings;
    for (std::size_t i = 0; i < count; ++i) {
      const std::string& root = roots[start + i];
      std::string prefix = sql::folderPrefix(root);
      insert += i == 0 ? "(?, ?, ?)" : ", (?, ?, ?)";
      bindings.insert(bindings.end(), {root, prefix, prefixUpperBound(prefix)});
    }
    connection_.execute(insert, bindings);
  }
}

}  // namespace lorvex::search
