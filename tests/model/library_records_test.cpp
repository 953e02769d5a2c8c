// Equality against identity of the records that lists and selections key by one field.
#include <gtest/gtest.h>

#include "model/image_drag_payload.h"
#include "model/image_record.h"
#include "model/indexing_job.h"
#include "model/registered_folder.h"
#include "model/scan_diagnostic_context.h"
#include "model/thumbnail_job.h"

namespace lorvex {
namespace {

ImageRecord sampleRecord() {
  ImageRecord record;
  record.file = {"/library/a.png", 1234, 1'700'000'000.25};
  record.metadata.prompt = "cat";
  record.promptTags = {"cat", "dog"};
  record.reviewState = {false, false, std::nullopt};
  return record;
}

TEST(LibraryRecordsTest, ImageRecordEqualityIsMemberwiseWhileIdentityIsThePath) {
  const ImageRecord base = sampleRecord();
  struct Change {
    const char* name;
    void (*apply)(ImageRecord&);
  };
  const Change changes[] = {
      {"favorite", [](ImageRecord& r) { r.reviewState.favorite = true; }},
      {"delete candidate", [](ImageRecord& r) { r.reviewState.deleteCandidate = true; }},
      {"empty note against none", [](ImageRecord& r) { r.reviewState.notes = ""; }},
      {"tag order",
       [](ImageRecord& r) {
         r.promptTags = {"dog", "cat"};
       }},
      {"date below a millisecond", [](ImageRecord& r) { r.file.modificationDate += 0.0001; }},
      {"size", [](ImageRecord& r) { r.file.fileSize = 0; }},
      {"metadata", [](ImageRecord& r) { r.metadata.prompt = "cat "; }},
      {"thumbnail", [](ImageRecord& r) { r.thumbnailPath = "/thumbs/x.jpg"; }},
      {"hash", [](ImageRecord& r) { r.contentSHA256 = std::string(64, '0'); }},
      {"missing", [](ImageRecord& r) { r.isMissing = true; }},
  };
  for (const Change& change : changes) {
    ImageRecord changed = base;
    change.apply(changed);
    EXPECT_NE(changed, base) << change.name;
    EXPECT_EQ(changed.id(), base.id()) << change.name;
  }
  ImageRecord moved = base;
  moved.file.path = "/library/b.png";
  EXPECT_EQ(moved.id(), "/library/b.png");
  EXPECT_EQ(sampleRecord(), base);
}

TEST(LibraryRecordsTest, UnprojectedStateNeverEqualsTheCurrentRevision) {
  const ImageFileInfo file{"/library/a.png", 10, 5.0};
  EXPECT_NE((IndexedImageFileState{file, 0}), (IndexedImageFileState{file, kMetadataProjectionRevision}));
  EXPECT_EQ((IndexedImageFileState{file, kMetadataProjectionRevision}),
            (IndexedImageFileState{file, kMetadataProjectionRevision}));
}

TEST(LibraryRecordsTest, AbsentOptionalsDifferFromZeroValues) {
  IndexingQueueItem unrecorded{1, 1, "/a.png", std::nullopt, std::nullopt, IndexingQueueItemStatus::pending,
                               {}};
  IndexingQueueItem zeroSize = unrecorded;
  zeroSize.fileSize = 0;
  EXPECT_NE(unrecorded, zeroSize);

  ImageLibraryIndexingProgress betweenFiles{ImageLibraryIndexingPhase::indexing, 1, 2, 1, 0, std::nullopt};
  ImageLibraryIndexingProgress onFile = betweenFiles;
  onFile.currentPath = "/a.png";
  EXPECT_NE(betweenFiles, onFile);

  RegisteredFolderChangeBatch noEvent{{"/a"}, std::nullopt, false};
  RegisteredFolderChangeBatch eventZero{{"/a"}, 0, false};
  EXPECT_NE(noEvent, eventZero);

  const ImageLibraryScanDiagnosticContext fullScan{
      ImageLibraryScanDiagnosticSource::backgroundFullScan, {"/lib"}, std::nullopt, 1.5};
  EXPECT_FALSE(fullScan.changedPathCount.has_value());
}

TEST(LibraryRecordsTest, FolderSummaryIdentityIsThePath) {
  const RegisteredFolderSummary a{"/lib",       "lib",       RegisteredFolderAccessState::available, 10, 0,
                                  std::nullopt, std::nullopt};
  RegisteredFolderSummary b = a;
  b.indexedImageCount = 11;
  EXPECT_NE(a, b);
  EXPECT_EQ(a.id(), b.id());
}

TEST(LibraryRecordsTest, ThumbnailRetryDelayDoublesUpToItsCeiling) {
  struct Case {
    std::int64_t retryCount;
    double delay;
  };
  const Case cases[] = {{-5, 60}, {0, 60},   {1, 120},  {2, 240},     {3, 480},
                        {4, 960}, {5, 1920}, {6, 1920}, {1000, 1920}, {INT64_MAX, 1920}};
  for (const Case& c : cases) EXPECT_EQ(thumbnailRetryDelay(c.retryCount), c.delay) << c.retryCount;
}

TEST(LibraryRecordsTest, EmptySummariesEqualZeroValuesAndAreShared) {
  EXPECT_EQ(ThumbnailJobRunSummary::empty(), (ThumbnailJobRunSummary{0, 0, 0, {}}));
  EXPECT_EQ(&ThumbnailJobRunSummary::empty(), &ThumbnailJobRunSummary::empty());
  EXPECT_EQ(ThumbnailCacheSweepSummary::empty(), (ThumbnailCacheSweepSummary{0, {}, 0, 0}));
  EXPECT_NE(ThumbnailJobRunSummary::empty(), (ThumbnailJobRunSummary{1, 0, 1, {}}));
}

TEST(LibraryRecordsTest, DragPayloadsCompareByLocation) {
  EXPECT_EQ(ImageDragPayload{"/a.png"}, ImageDragPayload{"/a.png"});
  EXPECT_NE(ImageDragPayload{"/a.png"}, ImageDragPayload{"/A.png"});
}

}  // namespace
}  // namespace lorvex
