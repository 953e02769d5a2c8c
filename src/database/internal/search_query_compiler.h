// The first stage of a library search: the caller's query (ImageSearchQuery) becomes the compiled
// query (ImageSearchQueryV3, every name resolved to an id) and then one SQL statement that selects
// the ids of one result page, in the requested order.
//
// Names the user typed (filter tags, prompt tags, a model source) are resolved once, before any
// statement is built. When one of them names nothing in the library no image can match, and the
// compilation answers with no query: the caller returns an empty page without running the id
// statement.
//
// The page's ids are found in stages: the query's conditions are described (each with its SQL and
// what the planner needs to know of it), counted from kept statistics or by gathering their ids up
// to a cap, and given to `choosePlan` (search_plan.h); then one of two executors runs the plan:
//   - walk the order index (missing flag, then the sort key) in one statement with LIMIT and
//     OFFSET, testing every condition on each row: gathered ids through lorvex_id_in, small
//     counted conditions against their candidates, the others by their own subquery;
//   - start from the driver's images (a tag, a concept, a model, a seed, a review flag, a folder,
//     an aspect class, the text index), sort a prefix of them into page order, and test the other
//     conditions on it in batches of 400, growing the prefix until the page is full. A folder's
//     images come from an index that holds their sort keys, so they need no row lookups.
// Both plans give exactly the same rows in the same order; only their cost differs.
//
// Thread safety: a compiler belongs to one search and runs on its thread, under the connection's
// lock. Its lookups and estimates go through the connection's statement layer and end in
// SearchCancelledError once `stop` is requested.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "database/internal/search_plan.h"
#include "database/internal/sqlite_connection.h"
#include "database/sqlite_binding.h"
#include "model/image_search_query.h"
#include "model/image_search_query_v3.h"

namespace lorvex::search {

// At most this many ids, paths or keys are bound into one list of one statement.
inline constexpr std::size_t kMaxBoundListLength = 400;

// The FTS5 match text of a typed search text: every whitespace-separated token becomes a quoted
// FTS5 string (inner double quotes doubled), joined by single spaces, so operators and column
// filters typed by the user mean nothing and all tokens must occur. Nothing for an empty or
// whitespace-only text.
std::optional<std::string> ftsMatchText(std::string_view text);

// The ORDER BY text of a sort (its row of search_sort_key.h) over media_files named `table`; the id
// breaks ties in the sort's direction.
std::string orderByText(ImageSearchSortV3 sort, std::string_view table = "media_files");

// The keyset predicate of a query whose cursor matches its sort, with its three bindings; nothing
// for no cursor or a cursor of the other kind.
std::optional<std::pair<std::string, SQLiteV3Bindings>> keysetPredicate(
    const ImageSearchQueryV3& query, std::string_view table = "media_files");

// One condition of the id statement: its SQL, its facts for the planner, its gathered ids.
struct SearchCondition;

class SearchQueryCompiler {
 public:
  SearchQueryCompiler(SQLiteConnection& connection, std::stop_token stop);

  // The compiled query, or nothing when a filter tag, a prompt tag or the model source names
  // nothing in the library. Throws SearchCancelledError and the statement layer's errors.
  std::optional<ImageSearchQueryV3> compile(const ImageSearchQuery& query);

  // The ids of the compiled query's page, in page order. May run bounded estimate queries, and
  // for more root folders than fit in one list fills a temporary table of folder ranges.
  std::vector<std::int64_t> pageIDs(const ImageSearchQueryV3& query,
                                    PlanChoice choice = PlanChoice::automatic);

  // The ids of the tag terms with these keys, ascending; no statement for no keys.
  std::vector<std::int64_t> tagTermIDs(const std::vector<std::string>& keys);
  // The id of the stored model with this source (after the model normalizer), if any.
  std::optional<std::int64_t> modelID(std::string_view source);

 private:
  void checkCancelled() const;
  std::vector<std::int64_t> readIDs(const std::string& sql, const SQLiteV3Bindings& bindings);
  // Every id a statement selects, or nothing when there are `hardCap` or more, or when past
  // `softCap` they stop coming ascending or project a total of `hardCap` or more over the ids up to
  // `rowCount`.
  std::optional<std::vector<std::int64_t>> gatherIDs(const std::string& sql, const SQLiteV3Bindings& bindings,
                                                     std::int64_t softCap, std::int64_t hardCap,
                                                     double rowCount);
  void fillRootTable(const std::vector<std::string>& roots);

  // The stages of pageIDs: the query's conditions (filling the root table when they need it),
  // their counts (false when gathered ids show that no image can match), and the two executors of
  // a plan.
  struct Page {
    ImageSearchSortV3 sort = ImageSearchSortV3::modificationDateDescending;
    std::int64_t limit = 0;
    std::int64_t offset = 0;
    // The missing flag the rows must have; nothing for either.
    std::optional<std::int64_t> missing;
  };
  std::vector<SearchCondition> conditions(const ImageSearchQueryV3& query);
  bool countConditions(std::vector<SearchCondition>& conditions, PlanInput& input);
  std::vector<std::int64_t> walkOrderIndex(const std::vector<SearchCondition>& conditions,
                                           const SearchPlan& plan, const Page& page);
  std::vector<std::int64_t> filterCandidatePrefix(const std::vector<SearchCondition>& conditions,
                                                  const SearchPlan& plan, const Page& page);

  SQLiteConnection& connection_;
  std::stop_token stop_;
};

}  // namespace lorvex::search
