#include "services/unavailable_image_library_service.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "services/image_library_startup_error.h"

namespace lorvex {
namespace {

using Operation = std::function<void(ImageLibraryServicing&)>;

// Every operation of the service that can fail, by name.
std::vector<std::pair<std::string, Operation>> throwingOperations() {
  const std::vector<std::string> paths{"/library/a.png"};
  return {
      {"searchTagConcepts", [](auto& s) { s.searchTagConcepts(std::nullopt, 10); }},
      {"tagConceptAliases", [](auto& s) { s.tagConceptAliases(1); }},
      {"tagConceptImageAssignments", [=](auto& s) { s.tagConceptImageAssignments(paths); }},
      {"createTagConcept", [](auto& s) { s.createTagConcept("cat"); }},
      {"renameTagConcept", [](auto& s) { s.renameTagConcept(1, "dog"); }},
      {"addTagConceptAlias", [](auto& s) { s.addTagConceptAlias(1, "cat"); }},
      {"removeTagConceptAlias", [](auto& s) { s.removeTagConceptAlias(1, "cat"); }},
      {"assignImagesToTagConcept", [=](auto& s) { s.assignImagesToTagConcept(1, paths); }},
      {"unassignImagesFromTagConcept", [=](auto& s) { s.unassignImagesFromTagConcept(1, paths); }},
      {"searchImages", [](auto& s) { s.searchImages(ImageSearchQuery{}, {}); }},
      {"tagSuggestions", [](auto& s) { s.tagSuggestions(std::nullopt, 500); }},
      {"modelSuggestions", [](auto& s) { s.modelSuggestions("x", 500); }},
      {"registeredFolderSummaries", [](auto& s) { s.registeredFolderSummaries(); }},
      {"scanLibrary", [](auto& s) { s.scanLibrary({"/library"}, {}, {}); }},
      {"scanChangedPaths", [](auto& s) { s.scanChangedPaths({"/library/a.png"}, {"/library"}, {}, {}); }},
      {"syncRegisteredFolder", [](auto& s) { s.syncRegisteredFolder("/library", {}, {}); }},
      {"resumeInterruptedIndexing", [](auto& s) { s.resumeInterruptedIndexing({}, {}); }},
      {"interruptedIndexingRootURLs", [](auto& s) { s.interruptedIndexingRootURLs(); }},
      {"restoreFolderAccess", [](auto& s) { s.restoreFolderAccess(); }},
      {"folderEventCheckpoint", [](auto& s) { s.folderEventCheckpoint({"/library"}); }},
      {"storeFolderEventID", [](auto& s) { s.storeFolderEventID({"/library"}, 7); }},
      {"registeredFolderRoots", [](auto& s) { s.registeredFolderRoots(); }},
      {"startMonitoring", [](auto& s) { s.startMonitoring({"/library"}, 7, [](const auto&) {}, {}); }},
      {"registerFolders", [](auto& s) { s.registerFolders({"/library"}); }},
      {"unregisterFolder", [](auto& s) { s.unregisterFolder("/library"); }},
      {"reauthorizeFolder", [](auto& s) { s.reauthorizeFolder("/library", "/library"); }},
      {"updateReviewState", [](auto& s) { s.updateReviewState("/library/a.png", ReviewState{}); }},
      {"updateReviewStates",
       [](auto& s) {
         s.updateReviewStates({{"/library/a.png", ReviewState{}}});
       }},
      {"restoreDeleteCandidateStates",
       [](auto& s) {
         s.restoreDeleteCandidateStates({{"/library/a.png", true}});
       }},
      {"moveDeleteCandidatesToTrash",
       [](auto& s) {
         s.moveDeleteCandidatesToTrash({ImageFileInfo{"/library/a.png", 1, 0}});
       }},
      {"enqueueThumbnailJobs", [=](auto& s) { s.enqueueThumbnailJobs(paths); }},
      {"generatePendingThumbnails", [](auto& s) { s.generatePendingThumbnails(10, {}); }},
      {"sweepThumbnailCache", [](auto& s) { s.sweepThumbnailCache(0); }},
  };
}

TEST(UnavailableImageLibraryService, EveryFailingOperationSaysTheDatabaseIsBeingPrepared) {
  UnavailableImageLibraryService service;
  for (const auto& [name, operation] : throwingOperations()) {
    SCOPED_TRACE(name);
    try {
      operation(service);
      ADD_FAILURE() << "did not throw";
    } catch (const ImageLibraryStartupError& error) {
      EXPECT_EQ(error.kind(), ImageLibraryStartupError::Kind::libraryNotPrepared);
      EXPECT_STREQ(error.what(), "データベースを準備中です。");
    }
  }
}

TEST(UnavailableImageLibraryService, CarriesTheFailureOfPreparingTheLibrary) {
  UnavailableImageLibraryService service(std::make_exception_ptr(std::runtime_error("Permission denied")));
  for (const auto& [name, operation] : throwingOperations()) {
    SCOPED_TRACE(name);
    EXPECT_THROW(
        {
          try {
            operation(service);
          } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Permission denied");
            throw;
          }
        },
        std::runtime_error);
  }
}

TEST(UnavailableImageLibraryService, OperationsThatCannotFailAnswerQuietly) {
  UnavailableImageLibraryService service;
  EXPECT_EQ(service.currentFolderEventID(), 0u);
  EXPECT_NO_THROW(service.stopMonitoring());
  ImageRecord record;
  record.file.path = "/library/a.png";
  EXPECT_EQ(service.imageDragPayload(record), std::nullopt);
}

TEST(ImageLibraryStartupError, NewerLibraryMessageTellsTheUserNothingWasChanged) {
  const ImageLibraryStartupError error(ImageLibraryStartupError::Kind::libraryFromNewerVersion);
  EXPECT_EQ(
      error.localizedDescription(),
      "このライブラリはより新しいバージョンの Lorvex で作成されています。ライブラリには変更を加えていません。"
      "Lorvex "
      "を最新バージョンにアップデートすると、お気に入りや削除候補などのレビュー状態もそのまま利用を再開"
      "できます。");
}

}  // namespace
}  // namespace lorvex
