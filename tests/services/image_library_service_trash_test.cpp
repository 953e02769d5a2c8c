#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "platform/trash.h"
#include "services/forwarding_image_library_repository.h"
#include "services/image_library_service_error.h"
#include "services/library_service_test_library.h"
#include "services/thumbnails/file_manager_thumbnail_cache_remover.h"
#include "services/trash/file_manager_trash_mover.h"

namespace lorvex {
namespace {

using testing::LibraryServiceTestLibrary;
using testing::setModificationTime;

constexpr double kReviewed = 1'600'000'000.25;

// A photo folder of indexed images with thumbnails; the service is built by the test (after it
// has replaced a collaborator) through start().
class TrashFlowTest : public ::testing::Test {
 protected:
  std::string image(const std::string& name) { return library.writeImage(name, "a cat", kReviewed); }

  // Registers, scans, renders the thumbnails and marks `candidates` as delete candidates.
  void indexAndMark(const std::vector<std::string>& candidates) {
    ImageLibraryService& service = *library.service;
    library.registerAndScan();
    service.generatePendingThumbnails(100, {});
    for (const std::string& path : candidates)
      service.updateReviewState(path, ReviewState{false, true, std::nullopt});
  }

  std::string trashed(const std::string& name) const { return library.folder / ("data/Trash/files/" + name); }

  // The paths with their files as the library holds them now: what a review loaded now shows.
  std::vector<ImageFileInfo> asIndexed(const std::vector<std::string>& paths) {
    std::vector<ImageFileInfo> files;
    for (const std::string& path : paths) {
      const std::optional<ImageRecord> record = library.record(path);
      files.push_back(record ? record->file : ImageFileInfo{path, 0, 0});
    }
    return files;
  }

  static std::string failureOf(const std::function<void()>& operation) {
    try {
      operation();
    } catch (const ImageLibraryServiceError& error) {
      return error.localizedDescription();
    }
    return "(no failure)";
  }

  LibraryServiceTestLibrary library;
};

TEST_F(TrashFlowTest, RequestsNamingAnImageThatMayNotBeTrashedMoveNothing) {
  const std::string a = image("a.png");
  const std::string b = image("b.png");
  const std::string gone = image("gone.png");
  ImageLibraryService& service = library.start();
  indexAndMark({a, gone});
  std::filesystem::remove(gone);
  library.registerAndScan();  // marks it missing

  EXPECT_EQ(service.moveDeleteCandidatesToTrash({}), ImageTrashSummary{});
  EXPECT_EQ(service.moveDeleteCandidatesToTrash(asIndexed({"", ""})), ImageTrashSummary{});

  const std::string unknown = library.photos + "/unknown.png";
  EXPECT_EQ(failureOf([&] {
              service.moveDeleteCandidatesToTrash(asIndexed({a, b}));
            }),
            "削除候補ではない画像はゴミ箱に入れられません: " + b);
  EXPECT_EQ(failureOf([&] {
              service.moveDeleteCandidatesToTrash(asIndexed({a, unknown, b}));
            }),
            "インデックスに存在しない画像はゴミ箱に入れられません: " + unknown);
  EXPECT_EQ(failureOf([&] {
              service.moveDeleteCandidatesToTrash(asIndexed({a, gone}));
            }),
            "欠落中の画像はゴミ箱に入れられません: " + gone);
  EXPECT_TRUE(std::filesystem::exists(a));
  EXPECT_FALSE(library.record(a)->isMissing);
}

TEST_F(TrashFlowTest, OnlyFilesStillAsReviewedAreTrashedAndTheRestIsReported) {
  const std::string same = image("same.png");
  const std::string nearlySame = image("nearly-same.png");
  const std::string touched = image("touched.png");
  const std::string grown = image("grown.png");
  const std::string deleted = image("deleted.png");
  ImageLibraryService& service = library.start();
  indexAndMark({same, nearlySame, touched, grown, deleted});
  const std::string sameThumbnail = *library.record(same)->thumbnailPath;
  const std::string touchedThumbnail = *library.record(touched)->thumbnailPath;

  setModificationTime(nearlySame, kReviewed + 0.0005);
  setModificationTime(touched, kReviewed + 0.0015);
  std::ofstream(grown, std::ios::app) << "more";
  setModificationTime(grown, kReviewed);
  std::filesystem::remove(deleted);

  const ImageTrashSummary summary =
      service.moveDeleteCandidatesToTrash(asIndexed({same, touched, same, grown, deleted, nearlySame}));

  EXPECT_EQ(summary.requestedCount, 5);
  EXPECT_EQ(summary.trashedPaths, (std::vector<std::string>{same, nearlySame}));
  const std::string changed =
      "on-disk file no longer matches the reviewed record (size/modification date changed)";
  EXPECT_EQ(summary.failures,
            (std::vector<ImageTrashFailure>{
                {touched, changed, ImageTrashFailureReason::fileChangedSinceReview, std::nullopt},
                {grown, changed, ImageTrashFailureReason::fileChangedSinceReview, std::nullopt},
                {deleted, "on-disk file is gone since the review (renamed, moved or deleted) (ENOENT)",
                 ImageTrashFailureReason::underlyingError, ErrorNotice{ErrorNoticeKind::trashFileGone, {}}},
            }));

  // Trashed: in the Trash with its information file, thumbnail gone, missing without a key.
  EXPECT_FALSE(std::filesystem::exists(same));
  EXPECT_TRUE(std::filesystem::is_regular_file(trashed("same.png")));
  EXPECT_TRUE(std::filesystem::is_regular_file(library.folder / "data/Trash/info/same.png.trashinfo"));
  EXPECT_FALSE(std::filesystem::exists(sameThumbnail));
  EXPECT_TRUE(library.record(same)->isMissing);
  EXPECT_EQ(library.record(same)->thumbnailPath, std::nullopt);
  EXPECT_TRUE(library.record(nearlySame)->isMissing);
  // Changed since the review: untouched on disk and in the library.
  EXPECT_TRUE(std::filesystem::exists(touched));
  EXPECT_TRUE(std::filesystem::exists(touchedThumbnail));
  EXPECT_FALSE(library.record(touched)->isMissing);
  EXPECT_TRUE(std::filesystem::exists(grown));
}

// Monitoring indexes a replaced file again and keeps its mark; the identity handed with each path
// decides, on the move and on a retry with the same identity once the library indexed the change.
TEST_F(TrashFlowTest, OnlyTheFileAsReviewedIsTrashedEvenOnceTheLibraryIndexedItsChange) {
  struct Case {
    const char* name;
    double modificationDate;  // of the file after the review
    bool replaced;            // new bytes, another size
    bool indexedBeforeTheMove;
    const char* outcome;  // of the move, then of the retry when it is not trashed
  };
  const std::vector<Case> cases = {
      {"unchanged", kReviewed, false, false, "trashed"},
      {"replaced, indexed after the refusal", kReviewed + 7, true, false, "changed changed"},
      {"replaced and indexed, then moved", kReviewed + 7, true, true, "changed changed"},
      {"touched and indexed, then moved", kReviewed + 3, false, true, "changed changed"},
  };
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < cases.size(); ++i) paths.push_back(image(std::to_string(i) + ".png"));
  ImageLibraryService& service = library.start();
  indexAndMark(paths);
  std::vector<ImageFileInfo> reviewed = asIndexed(paths);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (cases[i].replaced) library.writeImage(std::to_string(i) + ".png", "a dog under a red sky, and more");
    setModificationTime(paths[i], cases[i].modificationDate);
    if (cases[i].indexedBeforeTheMove) service.scanChangedPaths({paths[i]}, {library.photos}, {}, {});
  }
  // A path handed twice counts with its first identity.
  reviewed.push_back(ImageFileInfo{paths[0], 1, 0});
  std::vector<ImageTrashSummary> summaries{service.moveDeleteCandidatesToTrash(reviewed)};
  service.scanChangedPaths(paths, {library.photos}, {}, {});
  // The retry asks again for what the move left, with the identities of the first review.
  const std::vector<std::string>& trashed = summaries[0].trashedPaths;
  std::erase_if(reviewed,
                [&](const ImageFileInfo& f) { return std::ranges::find(trashed, f.path) != trashed.end(); });
  summaries.push_back(service.moveDeleteCandidatesToTrash(reviewed));

  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    std::string outcome;
    const ImageTrashFailure changed{
        paths[i], "on-disk file no longer matches the reviewed record (size/modification date changed)",
        ImageTrashFailureReason::fileChangedSinceReview, std::nullopt};
    for (const ImageTrashSummary& summary : summaries) {
      if (std::ranges::find(summary.trashedPaths, paths[i]) != summary.trashedPaths.end())
        outcome += " trashed";
      if (std::ranges::find(summary.failures, changed) != summary.failures.end()) outcome += " changed";
    }
    EXPECT_EQ(outcome, std::string(" ") + cases[i].outcome);
    EXPECT_EQ(library.record(paths[i])->isMissing, !std::filesystem::exists(paths[i]));
    EXPECT_TRUE(library.record(paths[i])->reviewState.deleteCandidate);
  }
}

TEST_F(TrashFlowTest, AMoveTheKernelRefusesIsReportedAndLeavesTheFile) {
  const std::string a = image("a.png");
  const std::string b = image("b.png");
  platform::TrashEnvironment environment = platform::defaultTrashEnvironment();
  environment.rename = [](const std::string& from, const std::string& to) {
    return from.ends_with("/a.png") ? EXDEV : platform::renameWithoutReplacing(from, to);
  };
  library.graph.dependencies.trashMover = std::make_shared<FileManagerTrashMover>(environment);
  ImageLibraryService& service = library.start();
  indexAndMark({a, b});

  const ImageTrashSummary summary = service.moveDeleteCandidatesToTrash(asIndexed({a, b}));

  EXPECT_EQ(summary.trashedPaths, std::vector<std::string>{b});
  ASSERT_EQ(summary.failures.size(), 1u);
  EXPECT_EQ(summary.failures[0].path, a);
  EXPECT_EQ(summary.failures[0].reason, ImageTrashFailureReason::underlyingError);
  EXPECT_EQ(
      summary.failures[0].message,
      "Unable to move the item to the Trash without copying it (the Trash folder is on another mount): " +
          std::string(std::strerror(EXDEV)) + " (EXDEV)");
  EXPECT_EQ(
      summary.failures[0].notice,
      (ErrorNotice{ErrorNoticeKind::trashUnavailable, {}, std::string(std::strerror(EXDEV)) + " (EXDEV)"}));
  EXPECT_TRUE(std::filesystem::exists(a));
  EXPECT_FALSE(library.record(a)->isMissing);
  EXPECT_NE(library.record(a)->thumbnailPath, std::nullopt);
  EXPECT_TRUE(std::filesystem::is_regular_file(trashed("b.png")));
}

// A move refused for the file is told from a disk without a usable Trash, each with the system's reason.
TEST_F(TrashFlowTest, AFailedMoveKeepsTheSystemsReasonAndItsKind) {
  const std::vector<std::string> paths = {image("a.png"), image("b.png")};
  library.start();
  indexAndMark(paths);
  platform::TrashEnvironment refusing = platform::defaultTrashEnvironment();
  platform::TrashEnvironment blocked = refusing;
  refusing.rename = [](const std::string&, const std::string&) { return EACCES; };
  blocked.homeTrashDirectory = library.folder.writeFile("not-a-folder") + "/Trash";
  const std::tuple<platform::TrashEnvironment, std::string, std::string, ErrorNoticeKind> cases[] = {
      {refusing, "Unable to move the item to the Trash", "Permission denied (EACCES)",
       ErrorNoticeKind::trashMoveFailed},
      {blocked, "Unable to create the Trash folder", "Not a directory (ENOTDIR)",
       ErrorNoticeKind::trashUnavailable}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& [environment, action, reason, kind] = cases[i];
    library.graph.dependencies.trashMover = std::make_shared<FileManagerTrashMover>(environment);
    const ImageTrashFailure failure{paths[i], action + ": " + reason,
                                    ImageTrashFailureReason::underlyingError, ErrorNotice{kind, {}, reason}};
    EXPECT_EQ(library.start().moveDeleteCandidatesToTrash(asIndexed({paths[i]})),
              (ImageTrashSummary{1, {}, {failure}}));
  }
}

class FailingMissingMarks final : public testing::ForwardingImageLibraryRepository {
 public:
  using ForwardingImageLibraryRepository::ForwardingImageLibraryRepository;
  void markTrashedPathsMissing(const std::vector<std::string>&) override {
    throw SQLiteImageRepositoryV3Error::stepFailed("disk I/O error");
  }
};

class FailingThumbnailRemoval final : public ThumbnailCacheRemoving {
 public:
  void removeThumbnail(const std::string&) const override {
    throw platform::FileError("Unable to remove thumbnail: Permission denied", EACCES);
  }
  ThumbnailCacheSweepSummary sweepCache(const std::unordered_set<std::string>&, double) const override {
    return {};
  }
};

TEST_F(TrashFlowTest, FailuresAfterTheMoveAreReportedBesideTheTrashedPath) {
  const std::string a = image("a.png");
  library.graph.dependencies.trashStore = std::make_shared<FailingMissingMarks>(*library.graph.database);
  library.graph.dependencies.thumbnailCacheRemover = std::make_shared<FailingThumbnailRemoval>();
  ImageLibraryService& service = library.start();
  indexAndMark({a});

  const ImageTrashSummary summary = service.moveDeleteCandidatesToTrash(asIndexed({a}));

  EXPECT_EQ(summary.trashedPaths, std::vector<std::string>{a});
  const std::string denied = "Permission denied (EACCES)";
  EXPECT_EQ(summary.failures, (std::vector<ImageTrashFailure>{
                                  {a,
                                   "ゴミ箱に入れましたが、サムネイルキャッシュの削除に失敗しました: Unable "
                                   "to remove thumbnail: Permission denied (EACCES)",
                                   ImageTrashFailureReason::underlyingError,
                                   ErrorNotice{ErrorNoticeKind::trashThumbnailNotRemoved, {}, denied}},
                                  {a, "ゴミ箱に入れましたが、インデックス更新に失敗しました: disk I/O error",
                                   ImageTrashFailureReason::underlyingError,
                                   ErrorNotice{ErrorNoticeKind::trashLibraryNotUpdated, {}}},
                              }));
  EXPECT_TRUE(std::filesystem::is_regular_file(trashed("a.png")));
}

std::string bytesOf(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// A delete-candidate mark is given on an image's content. A file at the marked path that holds
// other content is not trashed for the mark: one edited in place since, until the person marks it
// again; and one that took the name of a file of the same size and time while nothing ran, which
// its size and time cannot tell apart. Reading it tells the library, whose next scan then gives
// each mark to its own image.
TEST(TrashContentTest, AFileThatNoLongerHoldsWhatItsMarkWasGivenOnIsNotTrashed) {
  const ReviewState deleteCandidate{false, true, std::nullopt};
  const ReviewState favorite{true, false, std::nullopt};
  // A lambda, so that an assertion ends its case alone.
  const auto check = [&](const bool swapped) {
    SCOPED_TRACE(swapped ? "swapped with a file of the same size and time" : "edited in place");
    LibraryServiceTestLibrary library;
    const std::string a = library.writeImage("a.png", "a cat", kReviewed);
    const std::string b = library.writeImage("b.png", "a dog", kReviewed);
    ASSERT_EQ(std::filesystem::file_size(a), std::filesystem::file_size(b));
    const std::string marked = bytesOf(a);
    ImageLibraryService& service = library.start();
    library.registerAndScan();
    service.updateReviewState(a, deleteCandidate);
    service.updateReviewState(b, favorite);
    if (swapped) {
      const std::string t = library.photos + "/t.png";
      std::filesystem::rename(a, t);
      std::filesystem::rename(b, a);
      std::filesystem::rename(t, b);
    } else {
      library.writeImage("a.png", "a cat in a hat, painted", kReviewed + 60);
    }
    library.registerAndScan();
    const auto reviewNow = [&](const std::string& path) {
      const std::optional<ImageRecord> record = library.record(path);
      return std::vector<ImageFileInfo>{record->file};
    };

    const ImageTrashSummary refused = service.moveDeleteCandidatesToTrash(reviewNow(a));
    EXPECT_EQ(refused.trashedPaths, std::vector<std::string>{});
    ASSERT_EQ(refused.failures.size(), 1u);
    EXPECT_EQ(refused.failures[0].reason, ImageTrashFailureReason::fileChangedSinceReview);
    EXPECT_TRUE(std::filesystem::exists(a));

    std::string candidate = a;
    if (swapped) {
      library.registerAndScan();
      EXPECT_EQ(library.record(a)->reviewState, favorite);
      EXPECT_EQ(library.record(b)->reviewState, deleteCandidate);
      candidate = b;
    } else {
      service.updateReviewState(a, ReviewState{});
      service.updateReviewState(a, deleteCandidate);
    }
    const std::string content = bytesOf(candidate);
    EXPECT_EQ(service.moveDeleteCandidatesToTrash(reviewNow(candidate)).trashedPaths,
              std::vector<std::string>{candidate});
    EXPECT_EQ(bytesOf(library.folder /
                      ("data/Trash/files/" + std::filesystem::path(candidate).filename().string())),
              swapped ? marked : content);
  };
  for (const bool swapped : {false, true}) check(swapped);
}

}  // namespace
}  // namespace lorvex
