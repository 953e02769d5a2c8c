// lorvex-drive's commands of the Trash review: opening it, moving its candidates to the Trash (or
// retrying the ones a move failed on), and changing a file behind the library's back so that the
// move's re-check can be seen refusing it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "drive_commands.h"
#include "store/image_library_store.h"

namespace lorvex {

namespace {

const char* yesNo(bool value) {
  return value ? "yes" : "no";
}

const char* reasonName(ImageTrashFailureReason reason) {
  switch (reason) {
    case ImageTrashFailureReason::underlyingError:
      return "underlyingError";
    case ImageTrashFailureReason::fileChangedSinceReview:
      return "fileChangedSinceReview";
  }
  return "unknown";
}

// "review: N loaded, hasMore yes|no, selected K", then the loaded paths, each marked when selected.
void printReview(const ImageLibraryStore& store) {
  const TrashCandidateBrowser& review = store.trash().trashReviewBrowser();
  std::printf("review: %s, %zu loaded, hasMore %s, selected %zu\n",
              store.presentation().isDeleteCandidateTrashReviewPresented() ? "open" : "closed",
              review.records().size(), yesNo(review.hasMoreRecords()), review.selectedPaths().size());
  for (const auto& record : review.records()) {
    std::printf("  %s %s\n", review.selectedPaths().contains(record->file.path) ? "[x]" : "[ ]",
                record->file.path.c_str());
  }
}

void printTrashSummary(const ImageLibraryStore& store) {
  const auto& summary = store.trash().lastTrashSummary();
  if (!summary) {
    std::printf("trash summary: none\n");
    return;
  }
  std::printf("trash summary: requested %lld trashed %zu failed %zu\n",
              static_cast<long long>(summary->requestedCount), summary->trashedPaths.size(),
              summary->failures.size());
  for (const auto& path : summary->trashedPaths) std::printf("  trashed: %s\n", path.c_str());
  for (const auto& failure : summary->failures) {
    std::printf("  failed: %s (%s): %s\n", failure.path.c_str(), reasonName(failure.reason),
                failure.message.c_str());
  }
}

bool presentReview(DriveContext& context, const std::vector<std::string>& arguments) {
  if (!arguments.empty()) {
    std::printf("error: trash-review takes no arguments\n");
    return false;
  }
  ImageLibraryStore& store = context.store;
  store.context().startDetached([&store] { return store.trash().presentDeleteCandidateTrashReview(); });
  if (!context.settle("trash-review")) return false;
  printReview(store);
  return store.presentation().isDeleteCandidateTrashReviewPresented();
}

bool moveToTrash(DriveContext& context, const std::vector<std::string>& arguments) {
  const bool loaded = arguments.size() == 1 && arguments[0] == "--loaded";
  const bool selected = arguments.size() == 1 && arguments[0] == "--selected";
  const bool retry = arguments.size() == 1 && arguments[0] == "--retry";
  if (!loaded && !selected && !retry) {
    std::printf("error: trash takes --loaded, --selected or --retry\n");
    return false;
  }
  ImageLibraryStore& store = context.store;
  auto moved = std::make_shared<std::optional<bool>>();
  // The records are taken now, as the review's confirmation takes them.
  std::vector<RecordRef> records = selected ? store.trash().selectedTrashReviewRecords()
                                   : retry  ? store.trash().retryableFailedTrashRecords()
                                            : std::vector<RecordRef>{};
  store.context().startDetached([&store, moved, loaded, records]() -> QCoro::Task<void> {
    auto frame = co_await store.context().scope().enter();
    *moved = loaded ? co_await store.trash().moveLoadedTrashReviewCandidatesToTrash()
                    : co_await store.trash().moveDeleteCandidatesToTrash(records);
  });
  if (!context.settle("trash")) return false;
  std::printf("trash: %s\n",
              !moved->has_value() ? "did not finish" : (**moved ? "all moved" : "not all moved"));
  printTrashSummary(store);
  printReview(store);
  std::printf("undo depth: %zu\n", store.review().deleteCandidateUndoStack().size());
  // A move that ran did its work, whatever files it had to leave; a refused one did nothing.
  return moved->has_value() && store.trash().lastTrashSummary().has_value();
}

bool touchFile(DriveContext& context, const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) {
    std::printf("error: touch takes one path\n");
    return false;
  }
  const std::filesystem::path path = arguments[0];
  // The change must stay unseen by the library until the next command: monitoring would index it
  // within seconds, and the move would then find the file as the library has it.
  context.store.library().backgroundSync().stopBackgroundLibrarySync();
  std::error_code error;
  const auto before = std::filesystem::last_write_time(path, error);
  if (error) {
    std::printf("error: cannot read %s: %s\n", path.c_str(), error.message().c_str());
    return false;
  }
  // At least a second later than it was: a change the library's comparison cannot miss.
  const auto now = std::filesystem::file_time_type::clock::now();
  const auto after = std::max(now, before + std::chrono::seconds(1));
  std::filesystem::last_write_time(path, after, error);
  if (error) {
    std::printf("error: cannot touch %s: %s\n", path.c_str(), error.message().c_str());
    return false;
  }
  std::printf("touched: %s (monitoring stopped)\n", path.c_str());
  return true;
}

}  // namespace

void addTrashCommands(DriveCommands& commands) {
  commands.add("trash-review", "trash-review: opens the Trash review and prints its candidates",
               presentReview);
  commands.add("trash",
               "trash --loaded|--selected|--retry: moves the review's loaded or ticked candidates, or those "
               "the last move failed on, to the Trash and prints the outcome (fails only when the move was "
               "refused)",
               moveToTrash);
  commands.add(
      "touch",
      "touch PATH: stops folder monitoring, then makes PATH's modification time later, as a change the "
      "library has not seen",
      touchFile);
}

}  // namespace lorvex
