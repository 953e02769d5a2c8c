#include "services/image_library_service.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>

#include "services/folders/inotify_folder_change_monitor.h"
#include "services/image_library_service_error.h"
#include "services/library_service_test_library.h"

namespace lorvex {
namespace {

using testing::LibraryServiceTestLibrary;

std::vector<std::string> paths(const std::vector<ImageRecord>& records) {
  std::vector<std::string> result;
  for (const ImageRecord& record : records) result.push_back(record.file.path);
  std::sort(result.begin(), result.end());
  return result;
}

template <typename Operation>
std::string failureOf(Operation&& operation) {
  try {
    operation();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(no failure)";
}

TEST(ImageLibraryService, RegisteredFolderIsScannedSearchedSummarisedAndGetsThumbnails) {
  LibraryServiceTestLibrary library;
  const std::string a = library.writeImage("a.png", "a cat, blue sky", 1'600'000'000.0);
  const std::string b = library.writeImage("nested/b.png", "a dog", 1'600'000'100.0);
  library.folder.writeFile("photos/notes.txt", "not an image");
  ImageLibraryService& service = library.start();

  service.registerFolders({library.photos});
  const std::vector<std::string> roots = service.restoreFolderAccess();
  ASSERT_EQ(roots, std::vector<std::string>{library.photos});
  const ImageLibraryScanSummary summary = service.scanLibrary(roots, {}, {});
  EXPECT_EQ(summary.scannedFileCount, 2);
  EXPECT_EQ(summary.indexedImageCount, 2);
  EXPECT_EQ(summary.failedFileCount, 0);

  EXPECT_EQ(paths(library.search(roots)), (std::vector<std::string>{a, b}));
  const auto tags = service.tagSuggestions(std::nullopt, 500);
  EXPECT_TRUE(
      std::any_of(tags.begin(), tags.end(), [](const TagSuggestion& tag) { return tag.value == "a cat"; }));

  const std::vector<RegisteredFolderSummary> summaries = service.registeredFolderSummaries();
  ASSERT_EQ(summaries.size(), 1u);
  EXPECT_EQ(summaries[0].path, library.photos);
  EXPECT_EQ(summaries[0].displayName, "photos");
  EXPECT_EQ(summaries[0].state, RegisteredFolderAccessState::available);
  EXPECT_EQ(summaries[0].indexedImageCount, 2);
  EXPECT_EQ(summaries[0].missingImageCount, 0);
  EXPECT_EQ(service.registeredFolderRoots(), (RegisteredFolderRoots{{library.photos}, {library.photos}}));
  EXPECT_EQ(service.interruptedIndexingRootURLs(), std::nullopt);
  EXPECT_EQ(service.resumeInterruptedIndexing({}, {}), std::nullopt);

  // The scan queued a thumbnail job per image; a run renders them all.
  const ThumbnailJobRunSummary run = service.generatePendingThumbnails(100, {});
  EXPECT_EQ(run.attemptedCount, 2);
  EXPECT_EQ(run.succeededCount, 2);
  ASSERT_EQ(run.succeededThumbnails.size(), 2u);
  for (const ThumbnailPathUpdate& update : run.succeededThumbnails) {
    EXPECT_TRUE(std::filesystem::is_regular_file(update.thumbnailPath)) << update.thumbnailPath;
    EXPECT_EQ(library.record(update.path)->thumbnailPath, update.thumbnailPath);
  }
  EXPECT_EQ(service.generatePendingThumbnails(100, {}).attemptedCount, 0);
}

TEST(ImageLibraryService, ChangedPathAndResumedScansAlsoQueueThumbnails) {
  LibraryServiceTestLibrary library;
  library.writeImage("a.png");
  ImageLibraryService& service = library.start();
  const std::vector<std::string> roots = library.registerAndScan();
  EXPECT_EQ(service.generatePendingThumbnails(10, {}).succeededCount, 1);

  const std::string added = library.writeImage("added.png", "a bird");
  const ImageLibraryScanSummary changed = service.scanChangedPaths({added}, roots, {}, {});
  EXPECT_EQ(changed.indexedImageCount, 1);
  const ThumbnailJobRunSummary run = service.generatePendingThumbnails(10, {});
  ASSERT_EQ(run.succeededThumbnails.size(), 1u);
  EXPECT_EQ(run.succeededThumbnails[0].path, added);
  EXPECT_EQ(library.record(added)->thumbnailPath, run.succeededThumbnails[0].thumbnailPath);

  // A job left running by an earlier launch is reported and finished.
  const std::string late = library.writeImage("late.png", "a fish");
  library.graph.database->startIndexingJob(roots);
  EXPECT_EQ(service.interruptedIndexingRootURLs(), roots);
  const std::optional<ImageLibraryScanSummary> resumed = service.resumeInterruptedIndexing({}, {});
  ASSERT_TRUE(resumed);
  EXPECT_EQ(service.interruptedIndexingRootURLs(), std::nullopt);
  EXPECT_EQ(service.generatePendingThumbnails(10, {}).succeededThumbnails.size(), 1u);
  EXPECT_NE(library.record(late)->thumbnailPath, std::nullopt);
}

TEST(ImageLibraryService, AnEmptyRegisteredFolderHasZeroCountsAndAMissingOneItsState) {
  LibraryServiceTestLibrary library;
  ImageLibraryService& service = library.start();
  const std::string empty = library.folder.makeFolder("empty");
  const std::string gone = library.folder.makeFolder("gone");
  service.registerFolders({empty, gone});
  std::filesystem::remove(gone);

  std::vector<RegisteredFolderSummary> summaries = service.registeredFolderSummaries();
  ASSERT_EQ(summaries.size(), 2u);
  std::sort(summaries.begin(), summaries.end(),
            [](const auto& a, const auto& b) { return a.displayName < b.displayName; });
  EXPECT_EQ(summaries[0].displayName, "empty");
  EXPECT_EQ(summaries[0].indexedImageCount, 0);
  EXPECT_EQ(summaries[0].missingImageCount, 0);
  EXPECT_EQ(summaries[1].displayName, "gone");
  EXPECT_EQ(summaries[1].state, RegisteredFolderAccessState::missing);
  const RegisteredFolderRoots roots = service.registeredFolderRoots();
  EXPECT_EQ(roots.registeredPaths.size(), 2u);
  EXPECT_EQ(roots.availableRootURLs, std::vector<std::string>{empty});
}

TEST(ImageLibraryService, ASearchWhoseCallerStoppedEndsWithoutAPage) {
  LibraryServiceTestLibrary library;
  library.writeImage("a.png");
  ImageLibraryService& service = library.start();
  const std::vector<std::string> roots = library.registerAndScan();
  ImageSearchQuery query;
  query.rootPaths = roots;
  query.limit = 10;
  std::stop_source stop;
  stop.request_stop();
  EXPECT_THROW(service.searchImages(query, stop.get_token()), SearchCancelledError);
  EXPECT_EQ(service.searchImages(query, {}).size(), 1u);
}

TEST(ImageLibraryService, AStoppedScanThrowsCancelledQueuesNoThumbnailsAndIsFinishedByTheNextResume) {
  struct Case {
    std::string name;
    // 0: the stop is requested before the call; n: by the scan's n-th progress report.
    int stopAtReport;
    std::function<void(ImageLibraryService&, const std::vector<std::string>& roots,
                       const ImageLibraryServicing::ProgressHandler&, std::stop_token)>
        scan;
  };
  const std::vector<Case> cases{
      {"full scan, before it starts", 0,
       [](auto& service, const auto& roots, const auto& progress, std::stop_token stop) {
         service.scanLibrary(roots, progress, stop);
       }},
      {"full scan, while it indexes", 3,
       [](auto& service, const auto& roots, const auto& progress, std::stop_token stop) {
         service.scanLibrary(roots, progress, stop);
       }},
      {"changed paths", 0,
       [](auto& service, const auto& roots, const auto& progress, std::stop_token stop) {
         service.scanChangedPaths(roots, roots, progress, stop);
       }},
      {"registered folder", 2,
       [](auto& service, const auto& roots, const auto& progress, std::stop_token stop) {
         service.syncRegisteredFolder(roots.front(), progress, stop);
       }},
      {"resumption", 0,
       [](auto& service, const auto&, const auto& progress, std::stop_token stop) {
         ASSERT_TRUE(service.interruptedIndexingRootURLs());
         service.resumeInterruptedIndexing(progress, stop);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LibraryServiceTestLibrary library;
    for (const char* name : {"a.png", "b.png", "c.png", "d.png"}) library.writeImage(name);
    ImageLibraryService& service = library.start();
    service.registerFolders({library.photos});
    const std::vector<std::string> roots = service.restoreFolderAccess();
    // The resumption case stops a job an earlier launch left running.
    if (c.name == "resumption") library.graph.database->startIndexingJob(roots);

    std::stop_source stop;
    if (c.stopAtReport == 0) stop.request_stop();
    int reports = 0;
    const auto progress = [&](const ImageLibraryIndexingProgress&) {
      if (++reports == c.stopAtReport) stop.request_stop();
    };
    try {
      c.scan(service, roots, progress, stop.get_token());
      ADD_FAILURE() << "the scan did not stop";
    } catch (const LibraryError& error) {
      EXPECT_EQ(error.errorKind(), LibraryError::Kind::cancelled);
    }
    EXPECT_EQ(service.interruptedIndexingRootURLs(), roots);
    EXPECT_EQ(library.count("SELECT COUNT(*) FROM thumbnail_jobs"), 0);

    ASSERT_TRUE(service.resumeInterruptedIndexing({}, {}));
    EXPECT_EQ(service.interruptedIndexingRootURLs(), std::nullopt);
    EXPECT_EQ(library.search(roots).size(), 4u);
    EXPECT_EQ(service.generatePendingThumbnails(10, {}).succeededCount, 4);
  }
}

TEST(ImageLibraryService, FailuresOfThePlatformReachTheCallerAsLibraryErrorsWithTheirText) {
  LibraryServiceTestLibrary library;
  ImageLibraryService& service = library.start();

  // A folder that is gone cannot be bookmarked.
  const std::string gone = library.folder / "gone";
  try {
    service.registerFolders({gone});
    ADD_FAILURE() << "a missing folder was registered";
  } catch (const LibraryError& error) {
    EXPECT_EQ(error.errorKind(), LibraryError::Kind::folderAccess);
    EXPECT_NE(error.localizedDescription().find(gone), std::string::npos) << error.localizedDescription();
  }

  // A thumbnail cache that is not a folder cannot be swept.
  std::filesystem::remove_all(library.graph.thumbnailDirectory);
  library.folder.writeFile("library/Thumbnails", "not a folder");
  try {
    service.sweepThumbnailCache(library.clock.now());
    ADD_FAILURE() << "a cache that is a file was swept";
  } catch (const LibraryError& error) {
    EXPECT_EQ(error.errorKind(), LibraryError::Kind::fileSystem);
    EXPECT_EQ(error.localizedDescription(), "Unable to list the thumbnail cache: Not a directory");
    EXPECT_THROW(std::rethrow_if_nested(error), platform::FileError);
  }
}

TEST(ImageLibraryService, SyncFindsTheRegisteredFolderThroughALinkOrADotAndRefusesOthers) {
  LibraryServiceTestLibrary library;
  library.writeImage("a.png");
  ImageLibraryService& service = library.start();
  service.registerFolders({library.photos});
  const std::string link = library.folder / "link";
  ASSERT_EQ(::symlink(library.photos.c_str(), link.c_str()), 0);

  EXPECT_EQ(service.syncRegisteredFolder(link, {}, {}).indexedImageCount, 1);
  EXPECT_EQ(service.syncRegisteredFolder(library.photos + "/.", {}, {}).scannedFileCount, 1);

  const std::string other = library.folder.makeFolder("other");
  EXPECT_EQ(failureOf([&] { service.syncRegisteredFolder(other + "/", {}, {}); }),
            "登録フォルダにアクセスできません: " + other);

  // A registered folder that is gone cannot be synced, and nothing is scanned.
  const auto jobs = library.count("SELECT COUNT(*) FROM indexing_jobs");
  std::filesystem::remove_all(library.photos);
  EXPECT_EQ(failureOf([&] { service.syncRegisteredFolder(library.photos, {}, {}); }),
            "登録フォルダにアクセスできません: " + library.photos);
  EXPECT_EQ(library.count("SELECT COUNT(*) FROM indexing_jobs"), jobs);
}

TEST(ImageLibraryService, EventCheckpointIsWithheldWhileImagesNeedIndexingAgain) {
  LibraryServiceTestLibrary library;
  library.writeImage("a.png");
  ImageLibraryService& service = library.start();
  const std::vector<std::string> roots = library.registerAndScan();
  const std::string link = library.folder / "link";
  ASSERT_EQ(::symlink(library.photos.c_str(), link.c_str()), 0);

  EXPECT_EQ(service.folderEventCheckpoint(roots), std::nullopt);  // nothing stored yet
  service.storeFolderEventID({link}, 42);                         // stored under the canonical path
  EXPECT_EQ(service.folderEventCheckpoint(roots), (RegisteredFolderEventCheckpoint{{library.photos}, 42}));
  EXPECT_EQ(service.folderEventCheckpoint({link}), (RegisteredFolderEventCheckpoint{{library.photos}, 42}));

  library.execute("UPDATE media_files SET projection_revision = 0");
  EXPECT_EQ(service.folderEventCheckpoint(roots), std::nullopt);
}

TEST(ImageLibraryService, MonitoringFromAStoredPositionReportsOneFullRescanAndNoMore) {
  LibraryServiceTestLibrary library;
  ImageLibraryService& service = library.start();
  const std::vector<std::string> roots = library.registerAndScan();
  const std::uint64_t position = service.currentFolderEventID();
  EXPECT_GT(service.currentFolderEventID(), position);

  // The monitor measures its delays on the library's manual clock: moving the clock and catching
  // up stands for waiting.
  const auto monitor =
      std::dynamic_pointer_cast<InotifyFolderChangeMonitor>(library.graph.dependencies.folderChangeMonitor);
  ASSERT_NE(monitor, nullptr);
  const auto wait = [&](double seconds) {
    ASSERT_TRUE(monitor->catchUp());
    library.clock.advance(seconds);
    ASSERT_TRUE(monitor->catchUp());
  };
  std::vector<RegisteredFolderChangeBatch> batches;  // written by the handler only during catchUp
  service.startMonitoring(roots, position,
                          [&](const RegisteredFolderChangeBatch& batch) { batches.push_back(batch); }, {});
  ASSERT_TRUE(monitor->waitUntilWatching(std::chrono::seconds(10)));
  wait(1.0);
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_TRUE(batches[0].requiresFullRescan);
  EXPECT_TRUE(batches[0].changedURLs.empty());
  // Handling that batch (a scan, storing the position) starts nothing new: no second batch.
  wait(2.5);
  EXPECT_EQ(batches.size(), 1u);
  service.scanLibrary(roots, {}, {});
  service.storeFolderEventID(roots, service.currentFolderEventID());
  wait(1.5);
  service.stopMonitoring();
  service.stopMonitoring();
  EXPECT_EQ(batches.size(), 1u);
}

// A tag-concept store that records what it is asked.
class RecordingTagConceptStore final : public TagConceptStore {
 public:
  std::vector<TagConcept> searchTagConcepts(const std::optional<std::string>&, std::int64_t) override {
    return {};
  }
  std::vector<TagConceptAlias> tagConceptAliases(std::int64_t) override { return {}; }
  std::vector<TagConceptManualAssignment> tagConceptImageAssignments(
      const std::vector<std::string>&) override {
    return {};
  }
  TagConcept createTagConcept(std::string_view name) override { return {1, std::string(name), 0}; }
  TagConcept renameTagConcept(std::int64_t id, std::string_view name) override {
    return {id, std::string(name), 0};
  }
  void addTagConceptAlias(std::int64_t, std::string_view) override {}
  void removeTagConceptAlias(std::int64_t, std::string_view) override {}
  void assignImagesToTagConcept(std::int64_t, const std::vector<std::string>& paths) override {
    assigned = paths;
  }
  void unassignImagesFromTagConcept(std::int64_t, const std::vector<std::string>& paths) override {
    unassigned = paths;
  }
  std::vector<std::string> assigned;
  std::vector<std::string> unassigned;
};

TEST(ImageLibraryService, ReviewStatesOfSeveralImagesAreWrittenTogetherOrNotAtAll) {
  LibraryServiceTestLibrary library;
  const std::string a = library.writeImage("a.png", "a cat", 1'600'000'000.0);
  const std::string b = library.writeImage("b.png", "a dog", 1'600'000'100.0);
  ImageLibraryService& service = library.start();
  library.registerAndScan();

  service.updateReviewStates({{a, {true, false, "a"}}, {b, {false, true, std::nullopt}}});
  EXPECT_EQ(library.record(a)->reviewState, (ReviewState{true, false, "a"}));
  EXPECT_EQ(library.record(b)->reviewState, (ReviewState{false, true, std::nullopt}));

  const std::string unknown = library.photos + "/unknown.png";
  EXPECT_EQ(failureOf([&] {
              service.updateReviewStates({{a, ReviewState{}}, {unknown, ReviewState{}}});
            }),
            "No indexed record exists for: " + unknown);
  EXPECT_EQ(library.record(a)->reviewState, (ReviewState{true, false, "a"}));
}

TEST(ImageLibraryService, TagConceptsNeedAStoreAndGetEachPathOnce) {
  LibraryServiceTestLibrary library;
  library.graph.dependencies.tagConceptStore = nullptr;
  ImageLibraryService& without = library.start();
  const std::vector<std::function<void()>> operations{
      [&] { without.searchTagConcepts(std::nullopt, 500); },
      [&] { without.tagConceptAliases(1); },
      [&] { without.tagConceptImageAssignments({"/a.png"}); },
      [&] { without.createTagConcept("cat"); },
      [&] { without.renameTagConcept(1, "dog"); },
      [&] { without.addTagConceptAlias(1, "cat"); },
      [&] { without.removeTagConceptAlias(1, "cat"); },
      [&] { without.assignImagesToTagConcept(1, {"/a.png"}); },
      [&] { without.unassignImagesFromTagConcept(1, {"/a.png"}); },
  };
  for (const auto& operation : operations) EXPECT_EQ(failureOf(operation), "タグ概念ストアを利用できません");

  auto store = std::make_shared<RecordingTagConceptStore>();
  library.graph.dependencies.tagConceptStore = store;
  ImageLibraryService& with = library.start();
  with.assignImagesToTagConcept(1, {"/b.png", "", "/a.png", "/b.png"});
  with.unassignImagesFromTagConcept(1, {"", "/c.png", "/c.png"});
  EXPECT_EQ(store->assigned, (std::vector<std::string>{"/b.png", "/a.png"}));
  EXPECT_EQ(store->unassigned, (std::vector<std::string>{"/c.png"}));
}

TEST(ImageLibraryService, LiveTagConceptsIncludeNewEmptyConcepts) {
  LibraryServiceTestLibrary library;
  ImageLibraryService& service = library.start();
  const TagConcept created = service.createTagConcept("  Blue   Sky ");
  EXPECT_EQ(created.displayName, "Blue Sky");
  EXPECT_EQ(service.searchTagConcepts(std::nullopt, 500), std::vector<TagConcept>{created});
}

TEST(ThumbnailRunWidth, HalfTheProcessorsAboveThreeElseTwo) {
  const std::vector<std::pair<std::size_t, std::size_t>> cases{{1, 2}, {2, 2}, {3, 2},  {4, 2},
                                                               {5, 2}, {8, 4}, {10, 5}, {64, 32}};
  for (const auto& [processors, width] : cases) EXPECT_EQ(thumbnailRunWidth(processors), width) << processors;
  EXPECT_GE(activeProcessorCount(), 1u);
}

TEST(UniqueNonEmptyPaths, DropsEmptyAndRepeatedPathsKeepingFirstSeenOrder) {
  EXPECT_EQ(uniqueNonEmptyPaths({"", "/b", "/a", "/b", "", "/a/"}),
            (std::vector<std::string>{"/b", "/a", "/a/"}));
  EXPECT_TRUE(uniqueNonEmptyPaths({"", ""}).empty());
  // Paths are compared exactly: letter case counts and a path of spaces is a path.
  EXPECT_EQ(uniqueNonEmptyPaths({"/a", "/b", "/a", "/A"}), (std::vector<std::string>{"/a", "/b", "/A"}));
  EXPECT_EQ(uniqueNonEmptyPaths({"", "/a", " ", "/a"}), (std::vector<std::string>{"/a", " "}));
}

}  // namespace
}  // namespace lorvex
