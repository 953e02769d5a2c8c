// lorvex-drive's review commands: marks on the first loaded results and their undo, each followed
// by what a person would see: the error shown, the banner, the undo depth and the counts of the
// loaded results.
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "drive_commands.h"
#include "store/image_library_store.h"

namespace lorvex {

namespace {

// The count a command was given (1 without one); nothing after printing why for anything else.
std::optional<std::size_t> countArgument(const char* command, const std::vector<std::string>& arguments) {
  if (arguments.empty()) return 1;
  try {
    std::size_t used = 0;
    const unsigned long count = std::stoul(arguments[0], &used);
    if (used == arguments[0].size() && arguments.size() == 1) return static_cast<std::size_t>(count);
  } catch (const std::exception&) {
  }
  std::printf("error: %s takes one count, not %s\n", command, arguments[0].c_str());
  return std::nullopt;
}

// The first `count` loaded records that `wanted` accepts.
template <typename Wanted>
std::vector<RecordRef> firstLoaded(const ImageLibraryStore& store, std::size_t count, Wanted wanted) {
  std::vector<RecordRef> records;
  for (const RecordRef& record : store.results().resultWindow().records()) {
    if (records.size() == count) break;
    if (wanted(*record)) records.push_back(record);
  }
  return records;
}

// Selects the records (the first one focused and the anchor), as a person picks them in the grid.
void select(ImageLibraryStore& store, const std::vector<RecordRef>& records) {
  PathSet paths;
  for (const RecordRef& record : records) paths.insert(record->file.path);
  const std::optional<std::string> first =
      records.empty() ? std::nullopt : std::optional(records[0]->file.path);
  store.results().selection().setPrimaryPath(first);
  store.results().selection().setSelectedPaths(std::move(paths));
  store.results().selection().setAnchorPath(first);
}

void printReviewState(const ImageLibraryStore& store) {
  const std::string error = shownError(store);
  std::printf("error: %s\n", error.empty() ? "none" : error.c_str());
  if (const auto& banner = store.review().deleteCandidateFeedback()) {
    std::printf(
        "banner: %s %d, hidden from results %s, undo %s\n",
        banner->change == DeleteCandidateFeedback::Change::marked ? "marked" : "unmarked",
        banner->affectedCount, banner->hiddenFromNormalResults ? "yes" : "no",
        banner->allowsUndo && store.review().canUndoDeleteCandidateAction() ? "offered" : "not offered");
  } else {
    std::printf("banner: none\n");
  }
  std::printf("undo depth: %zu\n", store.review().deleteCandidateUndoStack().size());
  std::size_t favorites = 0;
  std::size_t candidates = 0;
  for (const RecordRef& record : store.results().resultWindow().records()) {
    if (record->reviewState.favorite) ++favorites;
    if (record->reviewState.deleteCandidate) ++candidates;
  }
  std::printf("counts: %zu loaded (hasMore %s), %zu selected, %zu favorites, %zu delete candidates\n",
              store.results().resultWindow().records().size(),
              store.results().resultWindow().hasMoreRecords() ? "yes" : "no",
              store.results().selectedRecords().size(), favorites, candidates);
}

// Runs `change` on the first `count` loaded records `wanted` accepts, selected first, and prints
// the outcome. Fails when the store shows an error afterwards.
template <typename Wanted, typename Change>
bool changeFirstLoaded(DriveContext& context, const char* command, const std::vector<std::string>& arguments,
                       Wanted wanted, Change change) {
  const std::optional<std::size_t> count = countArgument(command, arguments);
  if (!count) return false;
  const std::vector<RecordRef> records = firstLoaded(context.store, *count, wanted);
  std::printf("%s: %zu of the loaded results\n", command, records.size());
  select(context.store, records);
  change(context.store, context.store.results().selectedRecords());
  printReviewState(context.store);
  return !context.store.context().errorMessage().has_value();
}

}  // namespace

void addReviewCommands(DriveCommands& commands) {
  commands.add("mark",
               "mark [N]: marks the first N loaded results (1) as delete candidates, as the Delete key does",
               [](DriveContext& context, const std::vector<std::string>& arguments) {
                 return changeFirstLoaded(
                     context, "mark", arguments,
                     [](const ImageRecord& record) { return !record.reviewState.deleteCandidate; },
                     [](ImageLibraryStore& store, const std::vector<RecordRef>& records) {
                       store.review().markDeleteCandidates(records);
                     });
               });
  commands.add("unmark", "unmark [N]: clears the mark of the first N loaded delete candidates (1)",
               [](DriveContext& context, const std::vector<std::string>& arguments) {
                 return changeFirstLoaded(
                     context, "unmark", arguments,
                     [](const ImageRecord& record) { return record.reviewState.deleteCandidate; },
                     [](ImageLibraryStore& store, const std::vector<RecordRef>& records) {
                       store.review().setDeleteCandidate(records, false);
                     });
               });
  commands.add("favorite", "favorite [N]: toggles the favorite mark of the first N loaded results (1)",
               [](DriveContext& context, const std::vector<std::string>& arguments) {
                 return changeFirstLoaded(
                     context, "favorite", arguments, [](const ImageRecord&) { return true; },
                     [](ImageLibraryStore& store, const std::vector<RecordRef>& records) {
                       store.review().toggleFavorite(records);
                     });
               });
  commands.add("undo", "undo: takes back the newest delete-candidate change",
               [](DriveContext& context, const std::vector<std::string>& arguments) {
                 if (!arguments.empty()) {
                   std::printf("error: undo takes no arguments\n");
                   return false;
                 }
                 const bool offered = context.store.review().canUndoDeleteCandidateAction();
                 std::printf("undo: %s\n",
                             offered ? "taking back the newest change" : "nothing to take back");
                 context.store.review().undoLastDeleteCandidateAction();
                 // The restore runs on the pool; the state is printed once it is applied.
                 if (!context.settle("undo")) return false;
                 printReviewState(context.store);
                 return !context.store.context().errorMessage().has_value();
               });
}

}  // namespace lorvex
