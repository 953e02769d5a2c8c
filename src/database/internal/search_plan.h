// How a library search finds the ids of one page, decided from what is known of the query's
// conditions before any id statement runs: plain values and pure functions, no SQL. The compiler
// (search_query_compiler.h) describes and counts the conditions and runs the plan chosen here.
//
// Two plans give the same rows in the same order; only their cost differs:
//   - walk the order index (missing flag, then the sort key) and test every condition on each row,
//     stopping once the page is full; best when the page fills quickly;
//   - start from the candidates of the condition that admits fewest images (the driver), sort a
//     prefix of them into page order, test the other conditions on it, and grow the prefix while
//     the page stays short; best when the driver admits few images.
// Costs are counted in lookups of one media_files row by id.
//
// Counting a condition's images happens in stages, because the cap on gathering one condition's
// ids depends on the counts taken before it: the compiler walks `countingOrder`, asks `gatherCaps`
// before gathering, records each count in its ConditionFacts, and then asks `choosePlan`.
//
// Thread safety: plain values and pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace lorvex::search {

// A cap or prefix length at or beyond this has no bound: reading goes on to the end.
inline constexpr double kEndless = 1e15;

// Which plan the id statement takes. Tests and benchmarks force each plan to prove they agree and
// to compare their costs.
enum class PlanChoice { automatic, orderIndexWalk, candidatesFirst };

// What a condition tests. The plan's rules read only the other facts; the kind names the condition
// for a reader of a plan.
enum class ConditionKind {
  filterTags,  // a filter group: any of its tags or concepts
  promptTag,
  model,
  seed,
  favorite,
  deleteCandidate,
  rootIDs,
  folders,
  aspect,
  text,
  character,
  keyset,  // the rows after a cursor
};

// How the number of images a condition admits is learnt.
enum class Counting {
  none,        // it cannot select its images, only test a row: never counted, never drives
  statistics,  // kept statistics give the exact count at the cost of one read
  gathering,   // its ids are read up to a cap, and kept when they end before it
};

// What the planner knows of one condition of the query.
struct ConditionFacts {
  ConditionKind kind = ConditionKind::filterTags;
  Counting counting = Counting::none;
  // What starting the page from one of its candidates costs, in row lookups.
  double candidateCost = 1.0;
  // The count taken: exact, or only a lower bound when gathering stopped at its cap.
  std::optional<std::int64_t> count;
  // Its ids were gathered to their end: `count` is their number, and rows can be tested against
  // them in memory.
  bool gathered = false;

  bool countIsExact() const { return count && (counting == Counting::statistics || gathered); }
};

struct PlanInput {
  PlanChoice choice = PlanChoice::automatic;
  // The query fixes the missing flag, so the order index gives the rows in page order and a walk can
  // stop once the page is full. Otherwise there is nothing to walk but the whole table.
  bool orderIndexServes = true;
  // The page: both at least 0, the limit above 0.
  std::int64_t limit = 0;
  std::int64_t offset = 0;
  // The highest media_files id, which bounds the number of rows (0 when it was not read).
  double rowCount = 0;
  // In the query's order; their indexes name them in the plan.
  std::vector<ConditionFacts> conditions;
};

// How one row is tested against a condition.
enum class TestMethod {
  idSet,          // its id is looked up in the condition's gathered ids
  candidateList,  // its id is tested against the condition's candidate statement, which SQLite
                  // builds once into a temporary index
  probe,          // the condition's own test of the row
};

struct ConditionTest {
  std::size_t condition = 0;
  TestMethod method = TestMethod::probe;
  friend bool operator==(const ConditionTest&, const ConditionTest&) = default;
};

struct SearchPlan {
  // The condition whose candidates the page starts from; nothing to walk the order index.
  std::optional<std::size_t> driver;
  // Every condition but the driver, to be tested in this order: SQLite tests a row's conditions in
  // the order they are written and stops at the first that fails.
  std::vector<ConditionTest> tests;
  // With a driver: the length of the first prefix of its candidates tested (kEndless and beyond:
  // all of them), and the factor it grows by while the page stays short.
  double firstPrefixLength = 0;
  double prefixGrowth = 0;
  friend bool operator==(const SearchPlan&, const SearchPlan&) = default;
};

// Whether the conditions are counted before the plan is chosen: always, unless the walk is forced
// and the order index serves it.
bool countsConditions(const PlanInput& input);

// The order in which conditions are counted: those with statistics first (one cheap read each),
// then those gathered, each group in query order. Conditions that are never counted are left out.
std::vector<std::size_t> countingOrder(const std::vector<ConditionFacts>& conditions);

// How far to gather a condition's ids: read at most `walk` ids; once `drive` have come, stop as
// soon as they look likely to reach `walk`. A gathering that stops counts as `drive` images.
struct GatherCaps {
  std::int64_t drive = 0;
  std::int64_t walk = 0;
  friend bool operator==(const GatherCaps&, const GatherCaps&) = default;
};

// The caps for gathering condition `next` (a gathering condition), from the counts of the
// conditions before it in counting order.
GatherCaps gatherCaps(const PlanInput& input, std::size_t next);

// The plan for the page, from the counts taken (every condition in counting order when
// `countsConditions`, none otherwise).
SearchPlan choosePlan(const PlanInput& input);

}  // namespace lorvex::search
