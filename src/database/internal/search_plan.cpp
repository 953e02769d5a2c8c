#include "database/internal/search_plan.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace lorvex::search {

namespace {

// Gathering one candidate id into a temporary index costs about a sixth of looking up one row.
constexpr double kGatherPerLookup = 6.0;
// Testing a walked row against gathered ids costs about a tenth of looking one candidate up.
constexpr double kSetTestPerLookup = 0.1;
// When the walk is not weighed against starting from candidates, any count may drive.
constexpr double kAnyCount = 1e18;
// A cap at or beyond kEndless is bound as this.
constexpr std::int64_t kUncapped = std::numeric_limits<std::int64_t>::max() / 2;
// A condition's share of the rows is taken as at least this: shares multiply, and a product of
// several small ones would promise rows the estimates cannot vouch for.
constexpr double kSmallestShare = 1e-3;
// The first prefix of the driver's candidates holds this many times the rows the page needs, after
// the share the other conditions admit, plus a few; then it grows by kPrefixGrowth.
constexpr double kPrefixPageMultiple = 2.0;
constexpr double kPrefixSlack = 64.0;
constexpr double kPrefixGrowth = 4.0;

double neededRows(const PlanInput& input) {
  return static_cast<double>(input.limit) + static_cast<double>(input.offset);
}

// The walk is weighed against starting from candidates only when the choice is free and there is
// an order index to walk.
bool weighsWalk(const PlanInput& input) {
  return input.choice == PlanChoice::automatic && input.orderIndexServes;
}

// Walking costs about (rows needed) / (share of rows that qualify) lookups, starting from k
// candidates about k × their unit cost; the two meet at k = sqrt(needed × rows / unit cost).
double driveThreshold(const PlanInput& input, const ConditionFacts& condition) {
  if (!weighsWalk(input)) return kAnyCount;
  return std::sqrt(neededRows(input) * input.rowCount / condition.candidateCost);
}

std::int64_t capAt(double value) {
  return value >= kEndless ? kUncapped : static_cast<std::int64_t>(value) + 1;
}

double shareOfRows(const PlanInput& input, std::int64_t count) {
  return std::clamp(static_cast<double>(count) / input.rowCount, kSmallestShare, 1.0);
}

// The best driver after the first `steps` counts in counting order, and the cost of the cheapest
// way to the page seen so far (a driver's, or a walk made cheap by gathered ids).
struct Weighing {
  std::optional<std::size_t> driver;
  std::optional<double> bestCost;
};

Weighing weighDrivers(const PlanInput& input, std::size_t steps) {
  Weighing weighing;
  const std::vector<std::size_t> order = countingOrder(input.conditions);
  std::vector<bool> counted(input.conditions.size(), false);
  for (std::size_t step = 0; step < std::min(steps, order.size()); ++step) {
    const std::size_t i = order[step];
    const ConditionFacts& condition = input.conditions[i];
    counted[i] = true;
    if (!condition.count) continue;
    const double estimate = static_cast<double>(*condition.count);
    // Gathered ids also make the walk cheap: starting from them, or from any later condition,
    // must beat a walk that tests each row against them. The walk passes over the rows that the
    // other conditions counted so far turn away too.
    if (condition.gathered && weighsWalk(input)) {
      double othersShare = 1.0;
      for (std::size_t other = 0; other < input.conditions.size(); ++other) {
        if (other == i || !counted[other] || !input.conditions[other].countIsExact() || input.rowCount <= 0) {
          continue;
        }
        othersShare *= shareOfRows(input, *input.conditions[other].count);
      }
      const double walkCost =
          neededRows(input) * input.rowCount * kSetTestPerLookup / (estimate * othersShare);
      if (estimate * condition.candidateCost >= walkCost) {
        if (!weighing.bestCost || walkCost < *weighing.bestCost) weighing.bestCost = walkCost;
        continue;
      }
    }
    if (estimate > driveThreshold(input, condition)) continue;
    const double cost = estimate * condition.candidateCost;
    if (!weighing.bestCost || cost < *weighing.bestCost) {
      weighing.bestCost = cost;
      weighing.driver = i;
    }
  }
  return weighing;
}

// Most selective first: gathered ids whatever their number (testing them costs a tenth of any
// subquery), then counted conditions by their counts, then those never counted (they admit most
// images, like the exclusion of delete candidates), those that cannot be counted at all last.
std::vector<std::size_t> testOrder(const std::vector<ConditionFacts>& conditions) {
  const auto rank = [&](std::size_t i) {
    const ConditionFacts& condition = conditions[i];
    if (condition.gathered) return std::tuple{0, *condition.count};
    if (condition.count) return std::tuple{1, *condition.count};
    return std::tuple{condition.counting == Counting::none ? 3 : 2, std::int64_t{0}};
  };
  std::vector<std::size_t> order(conditions.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return rank(a) < rank(b); });
  return order;
}

// The smallest count taken, an exact one rather than a lower bound.
std::optional<std::int64_t> smallestCount(const std::vector<ConditionFacts>& conditions) {
  std::optional<std::int64_t> smallest;
  bool smallestIsExact = false;
  for (const ConditionFacts& condition : conditions) {
    if (!condition.count) continue;
    const bool exact = condition.countIsExact();
    if (!smallest || (exact && !smallestIsExact) ||
        ((exact || !smallestIsExact) && *condition.count < *smallest)) {
      smallest = *condition.count;
      smallestIsExact = exact;
    }
  }
  return smallest;
}

}  // namespace

bool countsConditions(const PlanInput& input) {
  return input.choice != PlanChoice::orderIndexWalk || !input.orderIndexServes;
}

std::vector<std::size_t> countingOrder(const std::vector<ConditionFacts>& conditions) {
  std::vector<std::size_t> order;
  for (Counting counting : {Counting::statistics, Counting::gathering}) {
    for (std::size_t i = 0; i < conditions.size(); ++i) {
      if (conditions[i].counting == counting) order.push_back(i);
    }
  }
  return order;
}

GatherCaps gatherCaps(const PlanInput& input, std::size_t next) {
  const std::vector<std::size_t> order = countingOrder(input.conditions);
  const auto position = static_cast<std::size_t>(std::find(order.begin(), order.end(), next) - order.begin());
  const Weighing weighing = weighDrivers(input, position);
  const ConditionFacts& condition = input.conditions[next];
  // The ids are gathered up to where they could no longer drive or beat the best way so far.
  // Without such a way, gathered ids also serve the walk, which tests each row against them: then
  // gathering goes on while it looks likely to end before it costs more than it saves.
  double drive = driveThreshold(input, condition);
  if (weighing.bestCost) drive = std::min(drive, *weighing.bestCost / condition.candidateCost);
  const double walk = weighing.bestCost
                          ? drive
                          : std::max(drive, std::sqrt(kGatherPerLookup * neededRows(input) * input.rowCount));
  return {capAt(drive), capAt(walk)};
}

SearchPlan choosePlan(const PlanInput& input) {
  SearchPlan plan;
  if (countsConditions(input)) plan.driver = weighDrivers(input, input.conditions.size()).driver;

  // The walk reads about this many rows. A condition whose exact count is small beside it is
  // tested against its candidates, gathered once by SQLite into a temporary index, rather than by
  // a row lookup per walked row.
  const double walked =
      neededRows(input) * input.rowCount /
      static_cast<double>(std::max<std::int64_t>(smallestCount(input.conditions).value_or(1), 1));
  // The driver's prefix is widened by the share of images the other conditions are known to admit.
  double admittedShare = 1.0;
  for (std::size_t i : testOrder(input.conditions)) {
    if (i == plan.driver) continue;
    const ConditionFacts& condition = input.conditions[i];
    TestMethod method = TestMethod::probe;
    if (condition.gathered) {
      method = TestMethod::idSet;
    } else if (!plan.driver && condition.countIsExact() &&
               static_cast<double>(*condition.count) < kGatherPerLookup * walked) {
      method = TestMethod::candidateList;
    }
    plan.tests.push_back({i, method});
    if (condition.countIsExact() && input.rowCount > 0) admittedShare *= shareOfRows(input, *condition.count);
  }
  if (plan.driver) {
    plan.firstPrefixLength = kPrefixPageMultiple * neededRows(input) / admittedShare + kPrefixSlack;
    plan.prefixGrowth = kPrefixGrowth;
  }
  return plan;
}

}  // namespace lorvex::search
