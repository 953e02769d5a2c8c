// The scripted service the store tests stand on: its library answers as the database would for the
// store's queries, held calls wait for the test, and draining waits for pool jobs but not held ones.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "database/sqlite_image_repository_error.h"
#include "model/library_error.h"
#include "store/async/run_blocking.h"
#include "store/support/store_harness.h"

namespace lorvex::testing {
namespace {

std::vector<std::string> pathsOf(const std::vector<ImageRecord>& records) {
  std::vector<std::string> paths;
  for (const auto& record : records) paths.push_back(record.file.path);
  return paths;
}

TEST(ScriptedImageLibraryServiceTest, LibraryAnswerFiltersSortsAndPagesLikeTheDatabase) {
  ScriptedImageLibraryService service;
  auto records = makeLibraryRecords(4, "a");
  records[1].reviewState.favorite = true;
  records[2].reviewState.deleteCandidate = true;
  records[3].isMissing = true;
  auto other = makeLibraryRecords(1, "b");
  records.push_back(other[0]);
  service.setRecords(records);

  struct Row {
    const char* name;
    ImageSearchQuery query;
    std::vector<std::string> expected;
  };
  const auto query = [](auto&& edit) {
    ImageSearchQuery q;
    q.limit = 100;
    edit(q);
    return q;
  };
  const std::vector<Row> rows = {
      {"everything live, newest first",
       query([](auto&) {}),
       {"/a/0.png", "/b/0.png", "/a/1.png", "/a/2.png"}},
      {"favourites only", query([](auto& q) { q.favorite = true; }), {"/a/1.png"}},
      {"delete candidates hidden",
       query([](auto& q) { q.deleteCandidate = false; }),
       {"/a/0.png", "/b/0.png", "/a/1.png"}},
      {"missing included",
       query([](auto& q) {
         q.includeMissing = true;
         q.rootPaths = {"/a"};
       }),
       {"/a/0.png", "/a/1.png", "/a/2.png", "/a/3.png"}},
      {"root limits, sibling prefix excluded", query([](auto& q) { q.rootPaths = {"/b"}; }), {"/b/0.png"}},
      {"sentinel root matches nothing",
       query([](auto& q) { q.rootPaths = {"/.vantrel-no-registered-folder"}; }),
       {}},
      {"offset and limit",
       query([](auto& q) {
         q.offset = 1;
         q.limit = 2;
       }),
       {"/b/0.png", "/a/1.png"}},
      {"oldest first",
       query([](auto& q) {
         q.sort = ImageSearchSort::modificationDateAscending;
         q.rootPaths = {"/a"};
       }),
       {"/a/2.png", "/a/1.png", "/a/0.png"}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(pathsOf(service.libraryAnswer(row.query)), row.expected) << row.name;
  }
  ImageSearchQuery unmodelled;
  unmodelled.text = "cat";
  EXPECT_THROW(service.libraryAnswer(unmodelled), std::logic_error);
}

TEST(ScriptedImageLibraryServiceTest, HeldCallsWaitForTheirReleaseAndDrainingDoesNotWaitForThem) {
  StoreHarness harness;
  harness.service->setRecords(makeLibraryRecords(3));
  harness.service->hold("searchImages");
  std::atomic<int> finished = 0;
  std::vector<std::string> first;
  std::string secondError;
  ImageSearchQuery query;
  query.limit = 10;
  std::stop_source firstStop;
  harness.userInitiatedPool.start([&] {
    first = pathsOf(harness.service->searchImages(query, firstStop.get_token()));
    ++finished;
  });
  // The second job asks for one record more, so the test can tell the two held calls apart
  // whichever thread starts first.
  ImageSearchQuery secondQuery = query;
  secondQuery.limit = 11;
  harness.userInitiatedPool.start([&] {
    try {
      harness.service->searchImages(secondQuery, {});
    } catch (const LibraryError& error) {
      secondError = error.localizedDescription();
    }
    ++finished;
  });
  ASSERT_TRUE(harness.service->waitForHeld("searchImages", 2));
  ASSERT_TRUE(harness.drainEvents());
  EXPECT_EQ(finished.load(), 0);
  EXPECT_EQ(harness.service->blockedCount(), 2u);

  for (const auto& call : harness.service->heldCalls("searchImages")) {
    if (call.query->limit == 11) {
      harness.service->fail(call.id,
                            std::make_exception_ptr(LibraryError(LibraryError::Kind::database, "disk full")));
    } else {
      harness.service->release(call.id);
    }
  }
  harness.userInitiatedPool.waitForDone();
  EXPECT_EQ(first, (std::vector<std::string>{"/library/0.png", "/library/1.png", "/library/2.png"}));
  EXPECT_EQ(secondError, "disk full");

  // A search stopped before it answers ends as a stopped database search does.
  harness.service->answerImmediately("searchImages");
  firstStop.request_stop();
  EXPECT_THROW(harness.service->searchImages(query, firstStop.get_token()), SearchCancelledError);
  EXPECT_EQ(harness.service->calls("searchImages").size(), 3u);
}

TEST(ScriptedImageLibraryServiceTest, ReleaseWithAndOverridesReplaceTheDefaultAnswer) {
  StoreHarness harness;
  harness.service->hold("registeredFolderSummaries");
  harness.service->setAnswer("tagSuggestions", [](const ServiceCall& call) {
    return std::any(std::vector<TagSuggestion>{{.value = *call.text + "!", .imageCount = call.number}});
  });
  EXPECT_EQ(harness.service->tagSuggestions(std::string("cat"), 7),
            (std::vector<TagSuggestion>{{"cat!", 7}}));

  std::vector<RegisteredFolderSummary> answered;
  harness.utilityPool.start([&] { answered = harness.service->registeredFolderSummaries(); });
  ASSERT_TRUE(harness.service->waitForHeld("registeredFolderSummaries"));
  RegisteredFolderSummary folder;
  folder.path = "/pictures";
  harness.service->releaseWith(harness.service->heldCalls()[0].id,
                               std::vector<RegisteredFolderSummary>{folder});
  harness.utilityPool.waitForDone();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].path, "/pictures");
}

TEST(ScriptedImageLibraryServiceTest, DrainingWaitsForARunningJobAndItsPostedResult) {
  StoreHarness harness;
  auto store = harness.makeStore();
  bool delivered = false;
  std::atomic<bool> go = false;
  auto link = store->context().scope().link();
  harness.utilityPool.start([&, link] {
    while (!go.load()) QThread::yieldCurrentThread();
    link->post([&] { delivered = true; });
  });
  go = true;
  ASSERT_TRUE(harness.drainEvents());
  EXPECT_TRUE(delivered);
}

}  // namespace
}  // namespace lorvex::testing
