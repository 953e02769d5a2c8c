// Choosing a search plan from what is known of a query's conditions, one table per rule: which
// conditions are counted and in what order, how far gathering may read, which condition drives,
// the order and the manner of the tests, and the prefix of the driver's candidates. No database:
// the counts stand in for what the compiler would have measured.
#include "database/internal/search_plan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace lorvex::search {
namespace {

constexpr std::int64_t kUncapped = std::numeric_limits<std::int64_t>::max() / 2;
constexpr double kFolderCost = 0.15;

ConditionFacts statistics(ConditionKind kind, std::int64_t count) {
  ConditionFacts facts;
  facts.kind = kind;
  facts.counting = Counting::statistics;
  facts.count = count;
  return facts;
}

// Ids gathered to their end.
ConditionFacts gathered(ConditionKind kind, std::int64_t count, double candidateCost = 1.0) {
  ConditionFacts facts;
  facts.kind = kind;
  facts.counting = Counting::gathering;
  facts.candidateCost = candidateCost;
  facts.count = count;
  facts.gathered = true;
  return facts;
}

// Gathering that stopped at its cap: the count is only a lower bound.
ConditionFacts stoppedAt(ConditionKind kind, std::int64_t lowerBound) {
  ConditionFacts facts;
  facts.kind = kind;
  facts.counting = Counting::gathering;
  facts.count = lowerBound;
  return facts;
}

// Could be gathered, not counted yet.
ConditionFacts uncounted(ConditionKind kind, double candidateCost = 1.0) {
  ConditionFacts facts;
  facts.kind = kind;
  facts.counting = Counting::gathering;
  facts.candidateCost = candidateCost;
  return facts;
}

ConditionFacts probeOnly(ConditionKind kind) {
  ConditionFacts facts;
  facts.kind = kind;
  return facts;
}

// A page of 100 over 10,000 rows unless a case says otherwise: a condition drives below
// sqrt(100 × 10,000 / unit cost) = 1,000 images at unit cost.
struct Page {
  PlanChoice choice = PlanChoice::automatic;
  bool orderIndexServes = true;
  std::int64_t limit = 100;
  std::int64_t offset = 0;
  double rowCount = 10'000;
};

PlanInput planInput(std::vector<ConditionFacts> conditions, Page page = {}) {
  PlanInput input;
  input.choice = page.choice;
  input.orderIndexServes = page.orderIndexServes;
  input.limit = page.limit;
  input.offset = page.offset;
  input.rowCount = page.rowCount;
  input.conditions = std::move(conditions);
  return input;
}

std::vector<std::size_t> testedConditions(const SearchPlan& plan) {
  std::vector<std::size_t> order;
  for (const ConditionTest& test : plan.tests) order.push_back(test.condition);
  return order;
}

TEST(SearchPlanTest, ConditionsAreCountedUnlessAWalkOfTheOrderIndexIsForced) {
  const struct {
    PlanChoice choice;
    bool orderIndexServes;
    bool expected;
  } cases[] = {
      {PlanChoice::automatic, true, true},
      {PlanChoice::automatic, false, true},
      {PlanChoice::candidatesFirst, true, true},
      {PlanChoice::candidatesFirst, false, true},
      {PlanChoice::orderIndexWalk, true, false},
      // Without the order index a walk reads the whole table: a driver may still be cheaper.
      {PlanChoice::orderIndexWalk, false, true},
  };
  for (const auto& c : cases) {
    const PlanInput input = planInput({}, {.choice = c.choice, .orderIndexServes = c.orderIndexServes});
    EXPECT_EQ(countsConditions(input), c.expected)
        << static_cast<int>(c.choice) << " serves=" << c.orderIndexServes;
  }
}

TEST(SearchPlanTest, StatisticsAreCountedBeforeGatheringAndProbesNever) {
  const struct {
    std::string label;
    std::vector<ConditionFacts> conditions;
    std::vector<std::size_t> expected;
  } cases[] = {
      {"nothing", {}, {}},
      {"probes only", {probeOnly(ConditionKind::keyset), probeOnly(ConditionKind::character)}, {}},
      {"statistics first wherever they stand",
       {uncounted(ConditionKind::seed), statistics(ConditionKind::model, 5), probeOnly(ConditionKind::keyset),
        uncounted(ConditionKind::favorite), statistics(ConditionKind::promptTag, 9)},
       {1, 4, 0, 3}},
      {"each group in query order",
       {uncounted(ConditionKind::aspect), uncounted(ConditionKind::text), uncounted(ConditionKind::seed)},
       {0, 1, 2}},
  };
  for (const auto& c : cases) EXPECT_EQ(countingOrder(c.conditions), c.expected) << c.label;
}

TEST(SearchPlanTest, GatheringIsCappedWhereItsIdsCouldNoLongerDriveOrServeTheWalk) {
  const struct {
    std::string label;
    PlanInput input;
    std::size_t next;
    GatherCaps expected;
  } cases[] = {
      // Drive below 1,000; the walk gains from the ids up to sqrt(6 × 100 × 10,000) ≈ 2,449.
      {"alone", planInput({uncounted(ConditionKind::seed)}), 0, {1'001, 2'450}},
      {"the offset is part of what the page needs",
       planInput({uncounted(ConditionKind::seed)}, {.limit = 1, .offset = 99}),
       0,
       {1'001, 2'450}},
      // Cheap candidates may drive from more images: sqrt(1,000,000 / 0.15) ≈ 2,582.
      {"a folder", planInput({uncounted(ConditionKind::folders, kFolderCost)}), 0, {2'582, 2'582}},
      {"after a driver of 300",
       planInput({statistics(ConditionKind::model, 300), uncounted(ConditionKind::seed)}),
       1,
       {301, 301}},
      {"after a driver counted from statistics that stands later in the query",
       planInput({uncounted(ConditionKind::seed), statistics(ConditionKind::model, 300)}),
       0,
       {301, 301}},
      {"a folder after a driver of 300 costs 300 / 0.15",
       planInput({statistics(ConditionKind::model, 300), uncounted(ConditionKind::folders, kFolderCost)}),
       1,
       {2'001, 2'001}},
      // Half the rows gathered: a walk testing them costs 100 × 10,000 × 0.1 / 5,000 = 20.
      {"after gathered ids that make the walk cheap",
       planInput({gathered(ConditionKind::favorite, 5'000), uncounted(ConditionKind::seed)}),
       1,
       {21, 21}},
      {"a count too large to drive leaves the caps alone",
       planInput({statistics(ConditionKind::model, 5'000), uncounted(ConditionKind::seed)}),
       1,
       {1'001, 2'450}},
      {"conditions gathered after it do not count",
       planInput({uncounted(ConditionKind::seed), gathered(ConditionKind::favorite, 5)}),
       0,
       {1'001, 2'450}},
      {"no rows", planInput({uncounted(ConditionKind::seed)}, {.rowCount = 0}), 0, {1, 1}},
      {"forced to start from candidates",
       planInput({uncounted(ConditionKind::seed)}, {.choice = PlanChoice::candidatesFirst}),
       0,
       {kUncapped, kUncapped}},
      {"without the order index",
       planInput({uncounted(ConditionKind::seed)}, {.orderIndexServes = false}),
       0,
       {kUncapped, kUncapped}},
      {"without the order index, after a driver of 300",
       planInput({statistics(ConditionKind::model, 300), uncounted(ConditionKind::seed)},
                 {.orderIndexServes = false}),
       1,
       {301, 301}},
  };
  for (const auto& c : cases) {
    const GatherCaps caps = gatherCaps(c.input, c.next);
    EXPECT_EQ(caps.drive, c.expected.drive) << c.label;
    EXPECT_EQ(caps.walk, c.expected.walk) << c.label;
  }
}

TEST(SearchPlanTest, TheCheapestConditionDrivesWhenItBeatsTheWalk) {
  const struct {
    std::string label;
    PlanInput input;
    std::optional<std::size_t> expected;
  } cases[] = {
      {"nothing", planInput({}), std::nullopt},
      {"nothing countable", planInput({probeOnly(ConditionKind::keyset)}), std::nullopt},
      {"a count at the threshold", planInput({statistics(ConditionKind::model, 1'000)}), 0},
      {"a count over it", planInput({statistics(ConditionKind::model, 1'001)}), std::nullopt},
      {"the smaller of two counts",
       planInput({statistics(ConditionKind::model, 800), statistics(ConditionKind::promptTag, 300)}), 1},
      {"equal costs keep the first counted",
       planInput({gathered(ConditionKind::seed, 300), statistics(ConditionKind::model, 300)}), 1},
      // 1,500 × 0.15 = 225 beats 300.
      {"cheap candidates beat a smaller count",
       planInput(
           {statistics(ConditionKind::model, 300), gathered(ConditionKind::folders, 1'500, kFolderCost)}),
       1},
      {"a lower bound over the threshold", planInput({stoppedAt(ConditionKind::seed, 1'001)}), std::nullopt},
      // A walk that tests each row against 5,000 gathered ids costs 20; starting from 30 costs more.
      {"gathered ids that make the walk cheaper than any driver",
       planInput({gathered(ConditionKind::favorite, 5'000), gathered(ConditionKind::seed, 30)}),
       std::nullopt},
      // Testing rows against 500 gathered folder ids costs 200; starting from them 500 × 0.15 = 75.
      {"cheap candidates that beat the walk over their own ids",
       planInput({gathered(ConditionKind::folders, 500, kFolderCost)}), 0},
      {"a driver cheaper still than that walk",
       planInput({gathered(ConditionKind::favorite, 5'000), gathered(ConditionKind::seed, 10)}), 1},
      {"a walk forced",
       planInput({statistics(ConditionKind::model, 1)}, {.choice = PlanChoice::orderIndexWalk}),
       std::nullopt},
      {"a walk forced without an order index to walk",
       planInput({statistics(ConditionKind::model, 900'000)},
                 {.choice = PlanChoice::orderIndexWalk, .orderIndexServes = false, .rowCount = 1e6}),
       0},
      {"candidates forced",
       planInput({statistics(ConditionKind::model, 9'000)}, {.choice = PlanChoice::candidatesFirst}), 0},
      {"candidates forced with nothing countable",
       planInput({probeOnly(ConditionKind::keyset)}, {.choice = PlanChoice::candidatesFirst}), std::nullopt},
      {"any count without the order index",
       planInput({statistics(ConditionKind::model, 9'000)}, {.orderIndexServes = false}), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(choosePlan(c.input).driver, c.expected) << c.label;
}

TEST(SearchPlanTest, TestsRunMostSelectiveFirstWithGatheredIdsAheadOfAll) {
  // A forced walk keeps every condition among the tests; the last case has a driver.
  const Page walk{.choice = PlanChoice::orderIndexWalk};
  const struct {
    std::string label;
    PlanInput input;
    std::vector<std::size_t> expected;
  } cases[] = {
      {"gathered, counted, countable, then the rest",
       planInput({probeOnly(ConditionKind::keyset), statistics(ConditionKind::model, 10),
                  gathered(ConditionKind::favorite, 500), uncounted(ConditionKind::seed)},
                 walk),
       {2, 1, 3, 0}},
      {"counts ascending, ties in query order",
       planInput({statistics(ConditionKind::model, 300), statistics(ConditionKind::promptTag, 40),
                  statistics(ConditionKind::filterTags, 300)},
                 walk),
       {1, 0, 2}},
      {"gathered ids by their number",
       planInput({gathered(ConditionKind::favorite, 900), gathered(ConditionKind::seed, 20)}, walk),
       {1, 0}},
      {"a lower bound among the counts",
       planInput({statistics(ConditionKind::model, 5'000), stoppedAt(ConditionKind::seed, 1'001)}, walk),
       {1, 0}},
      {"the driver is not tested",
       planInput({statistics(ConditionKind::model, 50), statistics(ConditionKind::promptTag, 400),
                  probeOnly(ConditionKind::keyset)}),
       {1, 2}},
  };
  for (const auto& c : cases) EXPECT_EQ(testedConditions(choosePlan(c.input)), c.expected) << c.label;
}

TEST(SearchPlanTest, AWalkTestsSmallExactCountsAgainstTheirCandidatesAndGatheredIdsInMemory) {
  const struct {
    std::string label;
    PlanInput input;
    std::vector<ConditionTest> expected;
  } cases[] = {
      // Alone, a count is small beside the walk while count² < 6 × 100 × 10,000.
      {"a small count alone",
       planInput({statistics(ConditionKind::model, 2'000)}),
       {{0, TestMethod::candidateList}}},
      {"a large count alone", planInput({statistics(ConditionKind::model, 3'000)}), {{0, TestMethod::probe}}},
      // The walk reads 100 × 10,000 / 2,000 = 500 rows: candidates below 3,000 are worth gathering.
      {"the smallest count sets the length of the walk",
       planInput({statistics(ConditionKind::model, 2'000), statistics(ConditionKind::promptTag, 3'000)}),
       {{0, TestMethod::candidateList}, {1, TestMethod::probe}}},
      // 3,000 alone walks 333 rows: too many candidates to gather. The seed's 1,001 is only a lower
      // bound and must not lengthen the walk.
      {"a lower bound does not set the length of the walk",
       planInput({statistics(ConditionKind::model, 3'000), stoppedAt(ConditionKind::seed, 1'001)}),
       {{1, TestMethod::probe}, {0, TestMethod::probe}}},
      {"gathered ids", planInput({gathered(ConditionKind::favorite, 5'000)}), {{0, TestMethod::idSet}}},
      {"a lower bound", planInput({stoppedAt(ConditionKind::seed, 1'001)}), {{0, TestMethod::probe}}},
      {"a probe only", planInput({probeOnly(ConditionKind::keyset)}), {{0, TestMethod::probe}}},
      {"a forced walk counts nothing",
       planInput({uncounted(ConditionKind::seed), probeOnly(ConditionKind::keyset)},
                 {.choice = PlanChoice::orderIndexWalk, .rowCount = 0}),
       {{0, TestMethod::probe}, {1, TestMethod::probe}}},
      // Starting from candidates, small counts are probed on each batch; gathered ids stay in memory.
      {"beside a driver",
       planInput({statistics(ConditionKind::model, 50), statistics(ConditionKind::promptTag, 60),
                  gathered(ConditionKind::favorite, 70)}),
       {{2, TestMethod::idSet}, {1, TestMethod::probe}}},
  };
  for (const auto& c : cases) EXPECT_EQ(choosePlan(c.input).tests, c.expected) << c.label;
}

TEST(SearchPlanTest, TheDriversPrefixIsWidenedByWhatTheOtherConditionsAdmitAndGrowsFourfold) {
  const Page candidates{.choice = PlanChoice::candidatesFirst};
  const struct {
    std::string label;
    PlanInput input;
    double expectedLength;
    double expectedGrowth;
  } cases[] = {
      {"the driver alone: twice the page and a few",
       planInput({statistics(ConditionKind::model, 50)}, candidates), 264, 4},
      {"the offset is part of the page",
       planInput({statistics(ConditionKind::model, 50)},
                 {.choice = PlanChoice::candidatesFirst, .limit = 10, .offset = 90}),
       264, 4},
      {"another condition admitting half the rows",
       planInput({statistics(ConditionKind::model, 50), gathered(ConditionKind::favorite, 5'000)},
                 candidates),
       464, 4},
      {"shares multiply",
       planInput({statistics(ConditionKind::model, 50), gathered(ConditionKind::favorite, 5'000),
                  statistics(ConditionKind::promptTag, 2'000)},
                 candidates),
       2'064, 4},
      // The folder drives (5 × 0.15 < 1); the tag admits a ten-thousandth of the rows.
      {"no share below a thousandth",
       planInput({gathered(ConditionKind::folders, 5, kFolderCost), statistics(ConditionKind::promptTag, 1)},
                 candidates),
       200'064, 4},
      {"a lower bound admits any share",
       planInput({statistics(ConditionKind::model, 50), stoppedAt(ConditionKind::seed, 51)}), 264, 4},
      {"a probe admits any share",
       planInput({statistics(ConditionKind::model, 50), probeOnly(ConditionKind::keyset)}), 264, 4},
      {"no rows read",
       planInput({statistics(ConditionKind::model, 50), statistics(ConditionKind::promptTag, 1)},
                 {.choice = PlanChoice::candidatesFirst, .rowCount = 0}),
       264, 4},
      {"a walk has no prefix", planInput({statistics(ConditionKind::model, 5'000)}), 0, 0},
  };
  for (const auto& c : cases) {
    const SearchPlan plan = choosePlan(c.input);
    EXPECT_DOUBLE_EQ(plan.firstPrefixLength, c.expectedLength) << c.label;
    EXPECT_EQ(plan.prefixGrowth, c.expectedGrowth) << c.label;
  }
}

}  // namespace
}  // namespace lorvex::search
