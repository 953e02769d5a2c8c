// The delete-candidate review: the feedback banner over a host, the Trash review sheet while its
// candidates load, with a selection, with nothing selected (the disabled move says why), while a
// move waits for a scan, scrolled to its load-more row, after a move with seven failures, after a
// move refused for one missing image, and the recovery sheet that lists them. Over the scripted service, with
// image files of the scene's own so that the tiles show pictures.
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "scene_registry.h"
#include "services/image_library_service_error.h"
#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/review/review_model_test_access.h"
#include "store/support/store_harness.h"
#include "ui/review/delete_candidate_feedback_overlay.h"
#include "ui/review/delete_candidate_trash_action.h"
#include "ui/review/delete_candidate_trash_review_sheet.h"
#include "ui/review/delete_candidate_trash_sidebar_toolbar.h"
#include "ui/review/trash_review_candidate_grid.h"
#include "ui/review/trash_summary_view.h"
#include "ui/support/store_view_models.h"

namespace lorvex::screens {
namespace {

namespace fs = std::filesystem;

constexpr QSize kSheetSize(1040, 760);

// A picture of its own for each candidate: a diagonal gradient in the candidate's hue.
std::string writeCandidateImage(const fs::path& folder, const std::string& name, int index) {
  QImage image(index % 3 == 0 ? 360 : 480, index % 3 == 0 ? 480 : 360, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient gradient(0, 0, image.width(), image.height());
  gradient.setColorAt(0, QColor::fromHsv((index * 47) % 360, 150, 235));
  gradient.setColorAt(1, QColor::fromHsv((index * 47 + 120) % 360, 200, 120));
  painter.fillRect(image.rect(), gradient);
  painter.setBrush(QColor(255, 255, 255, 90));
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(QPointF(image.width() * 0.5, image.height() * 0.42), image.width() * 0.22,
                      image.width() * 0.22);
  painter.end();
  const fs::path path = folder / name;
  image.save(QString::fromStdString(path.string()), "PNG");
  return path.string();
}

// A fake library of `count` delete candidates (and two kept images) in the scene's folder, its
// review open. Null when the store did not settle.
ImageLibraryStore* reviewStore(SceneContext& context, int count, bool waitForCandidates = true) {
  const fs::path folder = context.scratch / "Pictures" / "novelai";
  fs::create_directories(folder);
  std::vector<ImageRecord> records;
  for (int i = 0; i < count + 2; ++i) {
    ImageRecord record;
    const std::string name =
        i == 1 ? "2024-05-01_a_very_long_file_name_of_a_generated_portrait_at_dusk_0001.png"
               : "2024-05-0" + std::to_string(1 + i % 9) + "_image_" + std::to_string(100 + i) + ".png";
    record.file.path = writeCandidateImage(folder, name, i);
    record.file.fileSize = static_cast<std::int64_t>(fs::file_size(record.file.path));
    record.file.modificationDate = 1'714'000'000.0 - i * 60;
    record.reviewState.deleteCandidate = i < count;
    records.push_back(record);
  }
  ImageLibraryStore* store = context.makeFakeStoreWithResults(std::move(records));
  if (store == nullptr) return nullptr;
  if (!waitForCandidates) context.harness->service->hold("searchImages");
  ui::presentDeleteCandidateTrashReview(store->trash());
  if (waitForCandidates) context.settle();
  return store;
}

std::unique_ptr<QWidget> sheetOver(ImageLibraryStore& store) {
  return std::make_unique<ui::DeleteCandidateTrashReviewSheet>(
      ui::testing::deleteCandidateTrashReviewModels(store), ui::ViewResourceDisplay{}, nullptr);
}

// `undoing`: its undo's restore runs, and the banner stays as it was, its Undo in place and disabled.
std::unique_ptr<QWidget> feedbackBannerScene(SceneContext& context, bool undoing) {
  ImageLibraryStore& store = context.makeFakeStore();
  DeleteCandidateUndoAction undo;
  undo.records = {{"/library/1.png", false, 0}};
  ReviewModelTestAccess::setDeleteCandidateUndoStack(store.review(), {undo});
  ReviewModelTestAccess::setDeleteCandidateFeedback(
      store.review(), DeleteCandidateFeedback{DeleteCandidateFeedback::Change::marked, 3, true, true});
  if (undoing) {
    ReviewModelTestAccess::setDeleteCandidateRestoreTask(
        store.review(), StoreTask<void>(std::make_shared<detail::StoreTaskState<void>>()));
  }
  auto root = std::make_unique<QWidget>();
  root->setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(root.get());
  layout->addStretch(1);
  layout->addWidget(new ui::DeleteCandidateTrashSidebarToolbar(
      store.context(), store.library(), [] {}, root.get()));
  new ui::DeleteCandidateFeedbackOverlay(
      store.review(), [] {}, root.get());
  return root;
}

std::unique_ptr<QWidget> buildFeedbackBanner(SceneContext& context) {
  return feedbackBannerScene(context, false);
}

std::unique_ptr<QWidget> buildFeedbackBannerUndoing(SceneContext& context) {
  return feedbackBannerScene(context, true);
}

std::unique_ptr<QWidget> buildSheetLoading(SceneContext& context) {
  ImageLibraryStore* store = reviewStore(context, 6, false);
  if (store == nullptr) return nullptr;
  return sheetOver(*store);
}

std::unique_ptr<QWidget> buildSheetWithSelection(SceneContext& context) {
  ImageLibraryStore* store = reviewStore(context, 9);
  if (store == nullptr) return nullptr;
  const auto& records = store->trash().trashReviewBrowser().records();
  for (std::size_t i = 0; i < records.size(); i += 2)
    store->trash().trashReviewBrowser().toggleSelection(records[i]->file.path);
  return sheetOver(*store);
}

// Candidates loaded and none ticked: moving the selection says why it is unavailable.
std::unique_ptr<QWidget> buildSheetWithDisabledReason(SceneContext& context) {
  ImageLibraryStore* store = reviewStore(context, 3);
  if (store == nullptr) return nullptr;
  return sheetOver(*store);
}

// A move of which seven files failed: two changed since the review, five refused.
ImageLibraryStore* storeAfterFailedMove(SceneContext& context) {
  ImageLibraryStore* store = reviewStore(context, 9);
  if (store == nullptr) return nullptr;
  context.harness->service->setAnswer(
      "moveDeleteCandidatesToTrash", [](const testing::ServiceCall& call) -> std::any {
        ImageTrashSummary summary;
        summary.requestedCount = static_cast<std::int64_t>(call.paths.size());
        for (std::size_t i = 0; i < call.paths.size(); ++i) {
          if (i < 2) {
            summary.trashedPaths.push_back(call.paths[i]);
          } else if (i < 4) {
            summary.failures.push_back({call.paths[i],
                                        "The file's size or modification date differs from the review.",
                                        ImageTrashFailureReason::fileChangedSinceReview, std::nullopt});
          } else {
            // As the library records them: the system's reason and its name; a disk without a
            // usable Trash told apart from a file the system would not let go.
            const bool noTrash = i == 6;
            const std::string reason =
                noTrash ? "Read-only file system (EROFS)" : "Operation not permitted (EPERM)";
            summary.failures.push_back(
                {call.paths[i],
                 (noTrash ? "Unable to use a Trash folder on the item's file system: "
                          : "Unable to move the item to the Trash: ") +
                     reason,
                 ImageTrashFailureReason::underlyingError,
                 ErrorNotice{noTrash ? ErrorNoticeKind::trashUnavailable : ErrorNoticeKind::trashMoveFailed,
                             {},
                             reason}});
          }
        }
        return summary;
      });
  store->trash().trashReviewBrowser().selectAllRecords();
  TrashModel* target = &store->trash();
  store->context().startDetached([target] {
    return ui::performDeleteCandidateTrashAction(*target, ui::DeleteCandidateTrashAction::selected);
  });
  context.settle();
  return store;
}

std::unique_ptr<QWidget> buildSheetWithFailures(SceneContext& context) {
  ImageLibraryStore* store = storeAfterFailedMove(context);
  if (store == nullptr) return nullptr;
  return sheetOver(*store);
}

// A move of five refused as a whole for its third image, missing since the review: that image's
// line says so, the others that they were held back with it.
std::unique_ptr<QWidget> buildSheetRefused(SceneContext& context) {
  ImageLibraryStore* store = reviewStore(context, 5);
  if (store == nullptr) return nullptr;
  context.harness->service->setAnswer(
      "moveDeleteCandidatesToTrash", [](const testing::ServiceCall& call) -> std::any {
        throw ImageLibraryServiceError::trashTargetAlreadyMissing(call.paths[2]);
      });
  TrashModel* target = &store->trash();
  store->context().startDetached([target] {
    return ui::performDeleteCandidateTrashAction(*target, ui::DeleteCandidateTrashAction::loaded);
  });
  context.settle();
  return sheetOver(*store);
}

// A move asked for while a scan runs: the sheet says it waits for the scan, and Cancel works.
std::unique_ptr<QWidget> buildSheetWaitingForScan(SceneContext& context) {
  ImageLibraryStore* store = reviewStore(context, 9);
  if (store == nullptr) return nullptr;
  const auto& records = store->trash().trashReviewBrowser().records();
  for (std::size_t i = 0; i < records.size(); i += 3)
    store->trash().trashReviewBrowser().toggleSelection(records[i]->file.path);
  LibraryModelTestAccess::setIsLibrarySyncInProgress(store->library(), true);
  TrashModel* target = &store->trash();
  store->context().startDetached([target] {
    return ui::performDeleteCandidateTrashAction(*target, ui::DeleteCandidateTrashAction::selected);
  });
  context.settle();
  return sheetOver(*store);
}

// More candidates than a page, scrolled to the end while the next page loads: the load-more row
// is the last row of the tiles.
std::unique_ptr<QWidget> buildSheetLoadingMore(SceneContext& context) {
  ImageLibraryStore* store = reviewStore(context, 510);
  if (store == nullptr) return nullptr;
  context.harness->service->hold("searchImages");
  return sheetOver(*store);
}

QWidget* scrollToTheEnd(SceneContext& context, QWidget& root) {
  auto* grid = root.findChild<ui::TrashReviewCandidateGrid*>();
  if (grid == nullptr) return nullptr;
  grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
  context.settle();
  grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
  return &root;
}

QWidget* openRecoverySheet(SceneContext&, QWidget& root) {
  auto* summary = root.findChild<ui::TrashSummaryView*>();
  if (summary == nullptr) return nullptr;
  summary->presentRecovery();
  return summary->recoverySheetForTest();
}

const bool registered = registerScene({.name = "review.feedbackBanner",
                                       .source = SceneSource::fakeService,
                                       .size = {820, 260},
                                       .build = buildFeedbackBanner,
                                       .afterShow = {}}) &&
                        registerScene({.name = "review.feedbackBannerUndoing",
                                       .source = SceneSource::fakeService,
                                       .size = {820, 260},
                                       .build = buildFeedbackBannerUndoing,
                                       .afterShow = {},
                                       .storeStaysBusy = true}) &&
                        registerScene({.name = "review.sheetLoading",
                                       .source = SceneSource::fakeService,
                                       .size = kSheetSize,
                                       .build = buildSheetLoading,
                                       .afterShow = {}}) &&
                        registerScene({.name = "review.sheetSelection",
                                       .source = SceneSource::fakeService,
                                       .size = kSheetSize,
                                       .build = buildSheetWithSelection,
                                       .afterShow = {}}) &&
                        registerScene({.name = "review.sheetDisabledReason",
                                       .source = SceneSource::fakeService,
                                       .size = kSheetSize,
                                       .build = buildSheetWithDisabledReason,
                                       .afterShow = {}}) &&
                        registerScene({.name = "review.sheetFailures",
                                       .source = SceneSource::fakeService,
                                       .size = kSheetSize,
                                       .build = buildSheetWithFailures,
                                       .afterShow = {}}) &&
                        registerScene({.name = "review.sheetRefused",
                                       .source = SceneSource::fakeService,
                                       .size = kSheetSize,
                                       .build = buildSheetRefused,
                                       .afterShow = {}}) &&
                        registerScene({.name = "review.sheetWaitingForScan",
                                       .source = SceneSource::fakeService,
                                       .size = kSheetSize,
                                       .build = buildSheetWaitingForScan,
                                       .afterShow = {},
                                       .storeStaysBusy = true}) &&
                        registerScene({.name = "review.sheetLoadingMore",
                                       .source = SceneSource::fakeService,
                                       .size = kSheetSize,
                                       .build = buildSheetLoadingMore,
                                       .afterShow = scrollToTheEnd,
                                       .storeStaysBusy = true}) &&
                        registerScene({.name = "review.recoverySheet",
                                       .source = SceneSource::fakeService,
                                       .size = kSheetSize,
                                       .build = buildSheetWithFailures,
                                       .afterShow = openRecoverySheet});

}  // namespace
}  // namespace lorvex::screens
