// PathSet against std::set as the reference: random inserts, erases and clears over a small
// alphabet of paths (so erased paths come back and the table fills with tombstones), checked after
// every step, with copies taken along the way that must keep what they held while the set goes on
// changing (copies share storage until one changes); plus what callers lean on: insertion order,
// equality whatever the order, and a moved-from set that is empty and usable.
#include "store/path_set.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "store/path_index.h"

namespace lorvex {
namespace {

std::vector<std::string> contents(const PathSet& set) {
  return {set.begin(), set.end()};
}

void expectSame(const PathSet& set, const std::set<std::string>& reference, int step) {
  ASSERT_EQ(set.size(), reference.size()) << "step " << step;
  ASSERT_EQ(set.empty(), reference.empty()) << "step " << step;
  const std::vector<std::string> listed = contents(set);
  ASSERT_EQ(std::set<std::string>(listed.begin(), listed.end()), reference) << "step " << step;
  ASSERT_EQ(listed.size(), reference.size()) << "step " << step << ": a path listed twice";
}

TEST(PathSetTest, FollowsAReferenceSetThroughRandomChurn) {
  std::mt19937 random(20261207);
  std::vector<std::string> alphabet;
  // Lengths from empty to past the small-string size, and paths that share long prefixes.
  for (int i = 0; i < 300; ++i)
    alphabet.push_back(i == 0 ? ""
                              : "/library/folder" + std::to_string(i % 7) + "/" + std::to_string(i) + ".png");
  PathSet set;
  std::set<std::string> reference;
  // Copies of the set as it was at some steps: changing the set (or them) must not reach them.
  std::vector<std::pair<PathSet, std::set<std::string>>> copies;
  for (int step = 0; step < 20000; ++step) {
    const std::string& path = alphabet[random() % alphabet.size()];
    if (random() % 500 == 0) {
      copies.emplace_back(set, reference);
      if (copies.size() > 4) {
        // One copy is changed in turn before it goes: the set must not see it.
        auto& [oldest, held] = copies.front();
        oldest.insert("/only/in/the/copy.png");
        held.insert("/only/in/the/copy.png");
        expectSame(oldest, held, step);
        copies.erase(copies.begin());
      }
    }
    switch (random() % 10) {
      case 0:
        if (random() % 50 == 0) {
          set.clear();
          reference.clear();
        }
        break;
      case 1:
      case 2:
      case 3:
      case 4:
        EXPECT_EQ(set.erase(path), reference.erase(path)) << "step " << step;
        break;
      default:
        EXPECT_EQ(set.insert(path), reference.insert(path).second) << "step " << step;
    }
    for (int probe = 0; probe < 3; ++probe) {
      const std::string& other = alphabet[random() % alphabet.size()];
      ASSERT_EQ(set.contains(other), reference.contains(other)) << "step " << step << " " << other;
    }
    if (step % 97 == 0) expectSame(set, reference, step);
  }
  expectSame(set, reference, -1);
  EXPECT_FALSE(set.contains("/only/in/the/copy.png"));
  for (const auto& [copy, held] : copies) expectSame(copy, held, -1);
}

TEST(PathSetTest, CopiesSharedAcrossThreadsEachChangeAlone) {
  // The window's set goes to the selection and from there to work on other threads: copies of
  // one storage are changed and dropped on several threads at once, each its own copy.
  PathSet shared;
  for (int i = 0; i < 2000; ++i) shared.insert("/library/" + std::to_string(i) + ".png");
  const PathSet original = shared;
  std::vector<std::thread> threads;
  std::vector<int> intact(8, 0);  // one int per thread: no shared word
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([copy = PathSet(shared), t, &intact]() mutable {
      PathSet mine = copy;
      if (t % 2 == 0) mine.erase("/library/" + std::to_string(t) + ".png");
      mine.insert("/thread/" + std::to_string(t) + ".png");
      intact[static_cast<std::size_t>(t)] = copy.size() == 2000 &&
                                                    mine.size() == (t % 2 == 0 ? 2000U : 2001U) &&
                                                    copy.contains("/library/" + std::to_string(t) + ".png")
                                                ? 1
                                                : 0;
    });
  }
  shared.insert("/main/thread.png");
  shared.clear();
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(intact, std::vector<int>(8, 1));
  EXPECT_EQ(original.size(), 2000U);
  EXPECT_FALSE(original.contains("/main/thread.png"));
}

TEST(PathSetTest, ListsPathsInTheOrderTheyFirstCameIn) {
  PathSet set{"/c", "/a", "/b"};
  set.insert("/a");
  set.erase("/c");
  set.insert("/d");
  set.insert("/c");
  EXPECT_EQ(contents(set), (std::vector<std::string>{"/a", "/b", "/d", "/c"}));
  // Growing the table keeps the order.
  for (int i = 0; i < 1000; ++i) set.insert("/grown/" + std::to_string(i));
  EXPECT_EQ(contents(set).front(), "/a");
  EXPECT_EQ(contents(set).back(), "/grown/999");
}

TEST(PathSetTest, EqualityIgnoresOrderAndHistory) {
  PathSet a{"/x", "/y", "/z"};
  PathSet b{"/z", "/x"};
  b.insert("/gone");
  b.erase("/gone");
  EXPECT_NE(a, b);
  b.insert("/y");
  EXPECT_EQ(a, b);
  b.erase("/y");
  b.insert("/w");
  EXPECT_NE(a, b);  // same size, other paths
  EXPECT_EQ(PathSet{}, PathSet());
}

TEST(PathSetTest, CopiesAreIndependentAndAMovedFromSetIsEmpty) {
  PathSet original{"/a", "/b"};
  PathSet copy = original;
  copy.insert("/c");
  original.erase("/a");
  EXPECT_EQ(original, (PathSet{"/b"}));
  EXPECT_EQ(copy, (PathSet{"/a", "/b", "/c"}));

  PathSet moved = std::move(copy);
  EXPECT_EQ(moved.size(), 3U);
  EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): the moved-from state is the point
  EXPECT_FALSE(copy.contains("/a"));
  EXPECT_EQ(copy.begin(), copy.end());
  copy.insert("/again");
  EXPECT_EQ(contents(copy), std::vector<std::string>{"/again"});
  moved = std::move(copy);
  EXPECT_EQ(contents(moved), std::vector<std::string>{"/again"});
}

TEST(PathSetTest, BuildsFromRangesOfStringsAndViews) {
  const std::vector<std::string> strings{"/1", "/2", "/1"};
  EXPECT_EQ(PathSet(strings.begin(), strings.end()), (PathSet{"/1", "/2"}));
  PathSet set;
  set.reserve(2, 4);
  set.insert(strings.begin(), strings.end());
  EXPECT_EQ(set.size(), 2U);
  EXPECT_EQ(set.count("/2"), 1U);
  EXPECT_EQ(set.count("/3"), 0U);
}

TEST(PathSetTest, PathsEnteredWithTheResultWindowsHashesAreFound) {
  // Select-all hands the window's hashes in: the two must agree, or a selected path would be
  // missed by every later lookup.
  PathSet set;
  for (const std::string& path :
       std::vector<std::string>{"/a.png", "/photos/\xC3\xA9t\xC3\xA9.png", "", std::string(300, 'x')}) {
    EXPECT_EQ(PathSet::hashOf(path), PathIndex::hashOf(path)) << path;
    EXPECT_TRUE(set.insert(path, static_cast<std::size_t>(PathIndex::hashOf(path))));
    EXPECT_FALSE(set.insert(path));
    EXPECT_TRUE(set.contains(path));
  }
  EXPECT_EQ(set.size(), 4U);
}

}  // namespace
}  // namespace lorvex
