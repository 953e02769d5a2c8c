#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/regular_file.h"
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

// The system's reason for `errorNumber` with its name, as a failed move records it.
std::string systemReason(int errorNumber) {
  return platform::errorNumberText(errorNumber) + " (" + platform::errorNumberName(errorNumber) + ")";
}

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
                {deleted, "on-disk file attributes could not be read (file missing or permission lost)",
                 ImageTrashFailureReason::fileChangedSinceReview, std::nullopt},
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
          systemReason(EXDEV));
  // No Trash on the file's own mount: a Trash the file cannot reach is none.
  EXPECT_EQ(summary.failures[0].notice,
            (ErrorNotice{ErrorNoticeKind::trashUnavailable, {}, systemReason(EXDEV)}));
  EXPECT_TRUE(std::filesystem::exists(a));
  EXPECT_FALSE(library.record(a)->isMissing);
  EXPECT_NE(library.record(a)->thumbnailPath, std::nullopt);
  EXPECT_TRUE(std::filesystem::is_regular_file(trashed("b.png")));
}

// A failed move is stored with the system's reason and its name, as a scan failure is, and told by
// a kind of its own: a file the system would not let go never reads like a disk without a usable
// Trash. A file changed since the review keeps its fixed text.
TEST_F(TrashFlowTest, AFailedMoveKeepsTheSystemsReasonAndItsKind) {
  const std::string folder = library.photos + "/locked";
  const std::vector<std::string> paths = {image("locked/a.png"), image("b.png"), image("c.png")};
  library.start();
  indexAndMark(paths);
  const std::vector<ImageFileInfo> reviewed = asIndexed(paths);
  ::chmod(folder.c_str(), 0555);
  setModificationTime(paths[2], kReviewed + 5);
  platform::TrashEnvironment refusing = platform::defaultTrashEnvironment();
  // Root renames in any folder: for root, the refusal a user without write permission on it gets.
  refusing.rename = [&](const std::string& from, const std::string& to) {
    return ::geteuid() == 0 && from.starts_with(folder) ? EACCES : platform::renameWithoutReplacing(from, to);
  };
  platform::TrashEnvironment blocked = platform::defaultTrashEnvironment();
  blocked.homeTrashDirectory = library.folder.writeFile("not-a-folder") + "/Trash";
  using Reason = ImageTrashFailureReason;
  const std::vector<std::pair<platform::TrashEnvironment, ImageTrashFailure>> cases = {
      {refusing,
       {paths[0], "Unable to move the item to the Trash: " + systemReason(EACCES), Reason::underlyingError,
        ErrorNotice{ErrorNoticeKind::trashMoveFailed, {}, systemReason(EACCES)}}},
      {blocked,
       {paths[1], "Unable to create the Trash folder: " + systemReason(ENOTDIR), Reason::underlyingError,
        ErrorNotice{ErrorNoticeKind::trashUnavailable, {}, systemReason(ENOTDIR)}}},
      {refusing,
       {paths[2], "on-disk file no longer matches the reviewed record (size/modification date changed)",
        Reason::fileChangedSinceReview, std::nullopt}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    library.graph.dependencies.trashMover = std::make_shared<FileManagerTrashMover>(cases[i].first);
    const ImageTrashSummary summary = library.start().moveDeleteCandidatesToTrash({reviewed[i]});
    EXPECT_EQ(summary, (ImageTrashSummary{1, {}, {cases[i].second}}));
    EXPECT_TRUE(std::filesystem::exists(paths[i]) && !library.record(paths[i])->isMissing) << paths[i];
  }
  ::chmod(folder.c_str(), 0755);
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
  EXPECT_EQ(summary.failures,
            (std::vector<ImageTrashFailure>{
                {a,
                 "ゴミ箱に入れましたが、サムネイルキャッシュの削除に失敗しました: Unable "
                 "to remove thumbnail: Permission denied (EACCES)",
                 ImageTrashFailureReason::underlyingError,
                 ErrorNotice{ErrorNoticeKind::trashThumbnailNotRemoved, {}, systemReason(EACCES)}},
                {a, "ゴミ箱に入れましたが、インデックス更新に失敗しました: disk I/O error",
                 ImageTrashFailureReason::underlyingError,
                 ErrorNotice{ErrorNoticeKind::trashLibraryNotUpdated, {}}},
            }));
  EXPECT_TRUE(std::filesystem::is_regular_file(trashed("a.png")));
}

}  // namespace
}  // namespace lorvex
