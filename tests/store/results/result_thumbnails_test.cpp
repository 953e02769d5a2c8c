// Thumbnails for the results on screen: which requests queue a job, the "Enqueue" signpost's
// outcome, one batch at a time, and the restart while batches come back full.
#include <gtest/gtest.h>

#include <any>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/library_error.h"
#include "platform/log.h"
#include "store/image_library_store.h"
#include "store/results/results_model_test_access.h"
#include "store/store_records.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using testing::RecordSpec;
using testing::StoreHarness;

std::exception_ptr failure(const std::string& text) {
  return std::make_exception_ptr(LibraryError(LibraryError::Kind::database, text));
}

// Collects the signpost records of one test; restores the previous sink when it goes.
class SignpostRecorder {
 public:
  SignpostRecorder() {
    previous_ = platform::setSignpostSink([this](const platform::SignpostRecord& record) {
      std::lock_guard lock(mutex_);
      records_.push_back(record);
    });
  }
  ~SignpostRecorder() { platform::setSignpostSink(std::move(previous_)); }

  // The messages of the ended intervals of that name, in order.
  std::vector<std::string> endMessages(const std::string& name) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> messages;
    for (const auto& record : records_) {
      if (record.kind == platform::SignpostRecord::Kind::end && record.name == name)
        messages.push_back(record.message);
    }
    return messages;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<platform::SignpostRecord> records_;
  platform::SignpostSink previous_;
};

ThumbnailJobRunSummary batch(std::int64_t attempted, std::vector<ThumbnailPathUpdate> thumbnails = {}) {
  ThumbnailJobRunSummary summary;
  summary.attemptedCount = attempted;
  summary.succeededCount = static_cast<std::int64_t>(thumbnails.size());
  summary.failedCount = attempted - summary.succeededCount;
  summary.succeededThumbnails = std::move(thumbnails);
  return summary;
}

TEST(ImageLibraryStoreThumbnails, OnlyAShownRecordWithoutThumbnailIsQueued) {
  struct Row {
    const char* name;
    std::string requested;
    bool needsLiveServicePreparation;
    bool enqueueFails;
    std::vector<std::string> queued;
    std::vector<std::string> signposts;  // how the "Enqueue" intervals ended
    std::size_t batches;
  };
  const std::vector<Row> rows = {
      {"loaded, present, no thumbnail", "/a.png", false, false, {"/a.png"}, {"completed"}, 1},
      {"queueing refused: no message, no generation", "/a.png", false, true, {"/a.png"}, {"failed"}, 0},
      {"already has a thumbnail", "/t.png", false, false, {}, {}, 0},
      {"missing on disk", "/m.png", false, false, {}, {}, 0},
      {"not in the result window (a delete candidate the Trash review shows)",
       "/gone.png",
       false,
       false,
       {},
       {},
       0},
      {"before the live service is ready", "/a.png", true, false, {}, {}, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StoreHarness h;
    SignpostRecorder signposts;
    testing::StoreOptions options;
    options.needsLiveServicePreparation = row.needsLiveServicePreparation;
    auto store = h.makeStore(options);
    store->results().resultWindow().replaceRecords(
        {testing::record(RecordSpec{.path = "/a.png"}),
         testing::record(RecordSpec{.path = "/t.png", .thumbnailPath = "/cache/t.jpg"}),
         testing::record(RecordSpec{.path = "/m.png", .isMissing = true})},
        false, 0);
    if (row.enqueueFails) {
      h.service->setAnswer("enqueueThumbnailJobs", [](const testing::ServiceCall&) -> std::any {
        std::rethrow_exception(failure("database locked"));
      });
    }
    store->results().requestThumbnailIfMissing(row.requested);
    h.drainEvents();
    std::vector<std::string> queued;
    for (const auto& call : h.service->calls("enqueueThumbnailJobs")) {
      queued.insert(queued.end(), call.paths.begin(), call.paths.end());
    }
    EXPECT_EQ(queued, row.queued);
    EXPECT_EQ(signposts.endMessages("Enqueue"), row.signposts);
    EXPECT_EQ(h.service->calls("generatePendingThumbnails").size(), row.batches);
    EXPECT_EQ(store->context().errorMessage(), std::nullopt);
  }
}

TEST(ImageLibraryStoreThumbnails, ABatchRestartsOnlyWhenItCameBackFull) {
  struct Row {
    const char* name;
    std::optional<std::int64_t> attempted;  // nothing: the batch fails
    std::size_t batches;
    std::optional<std::string> thumbnail;
  };
  const std::vector<Row> rows = {
      {"64 attempted: full, another batch", 64, 2, "/cache/a.jpg"},
      {"63 attempted: the queue is drained", 63, 1, "/cache/a.jpg"},
      {"generation failed: nothing applied, no restart", std::nullopt, 1, std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StoreHarness h;
    auto store = h.makeStore();
    store->results().resultWindow().replaceRecords(testing::records({"/a.png", "/b.png"}), false, 0);
    h.service->hold("generatePendingThumbnails");
    store->results().startBackgroundThumbnailGeneration();
    h.service->waitForHeld("generatePendingThumbnails", 1);
    EXPECT_TRUE(ResultsModelTestAccess::backgroundThumbnailGenerationTask(store->results()));
    const auto first = h.service->heldCalls("generatePendingThumbnails").at(0);
    EXPECT_EQ(first.number, 64);
    if (row.attempted) {
      // One of the new thumbnails is of an image no longer loaded: it changes nothing.
      h.service->releaseWith(first.id,
                             batch(*row.attempted, {{"/a.png", "/cache/a.jpg"}, {"/x.png", "/cache/x.jpg"}}));
    } else {
      h.service->fail(first.id, failure("thumbnail store unavailable"));
    }
    h.drainEvents();
    EXPECT_EQ(h.service->calls("generatePendingThumbnails").size(), row.batches);
    EXPECT_EQ(store->results().resultWindow().records().at(0)->thumbnailPath, row.thumbnail);
    EXPECT_EQ(store->results().resultWindow().records().at(1)->thumbnailPath, std::nullopt);
    EXPECT_EQ(store->results().resultWindow().records().size(), 2u);
    // A restarted batch holds the handle until it answers; then the loop rests.
    EXPECT_EQ(static_cast<bool>(ResultsModelTestAccess::backgroundThumbnailGenerationTask(store->results())),
              row.batches == 2);
    h.service->releaseAll();
    h.drainEvents();
    EXPECT_FALSE(ResultsModelTestAccess::backgroundThumbnailGenerationTask(store->results()));
    EXPECT_EQ(store->context().errorMessage(), std::nullopt);
  }
}

TEST(ImageLibraryStoreThumbnails, TwoRequestsQueueTwiceAndStartOneBatch) {
  StoreHarness h;
  auto store = h.makeStore();
  store->results().resultWindow().replaceRecords(testing::records({"/a.png"}), false, 0);
  h.service->hold("generatePendingThumbnails");
  store->results().requestThumbnailIfMissing("/a.png");
  store->results().requestThumbnailIfMissing("/a.png");
  h.service->waitForHeld("generatePendingThumbnails", 1);
  h.drainEvents();
  EXPECT_EQ(h.service->calls("enqueueThumbnailJobs").size(), 2u);
  EXPECT_EQ(h.service->calls("generatePendingThumbnails").size(), 1u);
  h.service->releaseWith(h.service->heldCalls("generatePendingThumbnails").at(0).id,
                         batch(1, {{"/a.png", "/cache/a.jpg"}}));
  h.drainEvents();
  EXPECT_EQ(h.service->calls("generatePendingThumbnails").size(), 1u);
  EXPECT_EQ(store->results().resultWindow().records().at(0)->thumbnailPath, "/cache/a.jpg");
  // With its thumbnail in place, the record is not queued again.
  store->results().requestThumbnailIfMissing("/a.png");
  h.drainEvents();
  EXPECT_EQ(h.service->calls("enqueueThumbnailJobs").size(), 2u);
}

}  // namespace
}  // namespace lorvex
