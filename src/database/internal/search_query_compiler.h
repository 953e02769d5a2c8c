// The first stage of a library search: the caller's query (ImageSearchQuery) becomes the compiled
// query (ImageSearchQueryV3, every name resolved to an id) and then one SQL statement that selects
// the ids of one result page, in the requested order.
//
// Names the user typed (filter tags, prompt tags, a model source) are resolved once, before any
// statement is built. When one of them names nothing in the library no image can match, and the
// compilation answers with no query: the caller returns an empty page without running the id
// statement.
//
// The page's ids come from one of two plans, chosen from cheap estimates of how many images each
// condition admits:
//   - walk the order index (missing flag, then the sort key) with every condition tested on each
//     row, in one statement with LIMIT and OFFSET; best when the page fills quickly. The ids of a
//     condition that admits few enough images are gathered first, and each row is tested against
//     them (lorvex_id_in) instead of by a subquery;
//   - start from the images of the most selective condition (a tag, a concept, a model, a seed, a
//     review flag, a folder, an aspect class, the text index), sort a prefix of them into page
//     order, and test the other conditions on it in batches of 400, growing the prefix until the
//     page is full; best when that condition admits few images. A folder's images come from an
//     index that holds their sort keys, so they need no row lookups.
// The conditions of a row are tested most selective first.
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

// The ORDER BY text of a sort over the media_files alias `m`; the id breaks ties in the sort's
// direction.
std::string orderByText(ImageSearchSortV3 sort, std::string_view table = "media_files");

// The keyset predicate of a query whose cursor matches its sort, with its three bindings; nothing
// for no cursor or a cursor of the other kind.
std::optional<std::pair<std::string, SQLiteV3Bindings>> keysetPredicate(
    const ImageSearchQueryV3& query, std::string_view table = "media_files");

// Which plan the id statement takes. Tests force each plan to prove they agree.
enum class SearchPlan { automatic, orderIndexWalk, candidatesFirst };

class SearchQueryCompiler {
 public:
  SearchQueryCompiler(SQLiteConnection& connection, std::stop_token stop);

  // The compiled query, or nothing when a filter tag, a prompt tag or the model source names
  // nothing in the library. Throws SearchCancelledError and the statement layer's errors.
  std::optional<ImageSearchQueryV3> compile(const ImageSearchQuery& query);

  // The ids of the compiled query's page, in page order. May run bounded estimate queries, and
  // for more root folders than fit in one list fills a temporary table of folder ranges.
  std::vector<std::int64_t> pageIDs(const ImageSearchQueryV3& query, SearchPlan plan = SearchPlan::automatic);

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

  SQLiteConnection& connection_;
  std::stop_token stop_;
};

}  // namespace lorvex::search
