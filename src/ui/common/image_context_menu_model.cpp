#include "ui/common/image_context_menu_model.h"

#include <QPointer>
#include <algorithm>
#include <utility>

#include "store/image_library_store.h"

namespace lorvex::ui {

namespace {

using ContextSelection = ImageContextMenuTarget::ContextSelection;
using Single = ImageContextMenuTarget::Single;

bool isInEffectiveSelection(const ImageLibraryStore& store, const std::string& path) {
  return store.results().selection().effectiveSelectedPaths().contains(path);
}

enum class Mark { favorite, deleteCandidate };

bool carries(const ImageRecord& record, Mark mark) {
  return mark == Mark::favorite ? record.reviewState.favorite : record.reviewState.deleteCandidate;
}

// Chosen from the menu: sets the mark on every target unless all carry it, then clears it.
void runReviewAction(ImageLibraryStore& store, const ImageContextMenuTarget& target, Mark mark) {
  if (const auto* selection = std::get_if<ContextSelection>(&target.value)) {
    const std::vector<RecordRef> records = store.review().reviewTargetRecords(selection->path);
    const bool value = std::any_of(records.begin(), records.end(),
                                   [mark](const RecordRef& record) { return !carries(*record, mark); });
    if (mark == Mark::favorite) {
      store.review().setFavorite(records, value);
    } else {
      store.review().setDeleteCandidate(records, value);
    }
    return;
  }
  const RecordRef& record = std::get<Single>(target.value).record;
  if (!record || !store.review().canApplyReviewUpdate() ||
      !store.results().resultWindow().index(record->file.path))
    return;
  if (mark == Mark::favorite) {
    store.review().toggleFavorite({record});
  } else {
    store.review().toggleDeleteCandidate({record});
  }
}

ImageContextMenuEntry separator() {
  ImageContextMenuEntry entry;
  entry.kind = ImageContextMenuEntry::Kind::separator;
  return entry;
}

ImageContextMenuEntry actionEntry(std::string title, std::string symbol, bool isEnabled,
                                  std::function<void()> action) {
  return ImageContextMenuEntry{ImageContextMenuEntry::Kind::action,
                               std::move(title),
                               std::move(symbol),
                               isEnabled,
                               std::move(action),
                               {}};
}

}  // namespace

std::vector<ReviewState> imageContextMenuReviewStates(const ImageLibraryStore& store,
                                                      const ImageContextMenuTarget& target) {
  if (const auto* selection = std::get_if<ContextSelection>(&target.value)) {
    if (!isInEffectiveSelection(store, selection->path)) return {selection->reviewState};
    std::vector<ReviewState> states;
    for (const RecordRef& record : store.results().selectedRecords()) states.push_back(record->reviewState);
    return states;
  }
  const RecordRef& record = std::get<Single>(target.value).record;
  if (!record) return {};
  return {record->reviewState};
}

ImageContextMenuReviewSummary summarizeReviewStates(const std::vector<ReviewState>& states) {
  ImageContextMenuReviewSummary summary;
  summary.count = static_cast<int>(states.size());
  summary.allFavorite =
      !states.empty() &&
      std::all_of(states.begin(), states.end(), [](const ReviewState& state) { return state.favorite; });
  summary.allDeleteCandidates =
      !states.empty() && std::all_of(states.begin(), states.end(),
                                     [](const ReviewState& state) { return state.deleteCandidate; });
  return summary;
}

std::optional<std::string> imageContextMenuRevealPath(const ImageLibraryStore& store,
                                                      const ImageContextMenuTarget& target) {
  if (const auto* selection = std::get_if<ContextSelection>(&target.value)) {
    const std::vector<RecordRef> records = store.review().reviewTargetRecords(selection->path);
    if (records.size() != 1) return std::nullopt;
    return records.front()->file.path;
  }
  const RecordRef& record = std::get<Single>(target.value).record;
  if (!record) return std::nullopt;
  return record->file.path;
}

std::vector<std::string> imageContextMenuTargetPaths(const ImageLibraryStore& store,
                                                     const ImageContextMenuTarget& target) {
  if (const auto* selection = std::get_if<ContextSelection>(&target.value)) {
    if (!isInEffectiveSelection(store, selection->path)) return {selection->path};
    std::vector<std::string> paths;
    for (const RecordRef& record : store.results().selectedRecords()) paths.push_back(record->file.path);
    return paths;
  }
  const RecordRef& record = std::get<Single>(target.value).record;
  if (!record) return {};
  return {record->file.path};
}

bool imageContextMenuReviewActionsEnabled(const ImageLibraryStore& store,
                                          const ImageContextMenuTarget& target) {
  if (!store.review().canApplyReviewUpdate()) return false;
  if (const auto* selection = std::get_if<ContextSelection>(&target.value)) {
    return !store.review().reviewTargetRecords(selection->path).empty();
  }
  const RecordRef& record = std::get<Single>(target.value).record;
  return record && store.results().resultWindow().index(record->file.path).has_value();
}

std::string reviewActionTitle(AppLocalizationKey key, int count, const AppLocalization& localizer) {
  std::string title = localizer.lookup(key);
  if (count < 2) return title;
  return localizer.lookup(AppLocalizationKey::reviewBulkActionTitle, {std::move(title), std::int64_t{count}});
}

std::vector<ImageContextMenuEntry> makeImageContextMenu(ImageLibraryStore& store,
                                                        ImageContextMenuTarget target,
                                                        const AppLocalization& localizer,
                                                        RevealFileInFileManager reveal) {
  using Key = AppLocalizationKey;
  const ImageContextMenuReviewSummary summary =
      summarizeReviewStates(imageContextMenuReviewStates(store, target));
  const std::optional<std::string> revealPath = imageContextMenuRevealPath(store, target);
  const QPointer<ImageLibraryStore> weakStore(&store);
  std::vector<ImageContextMenuEntry> entries;

  if (revealPath) {
    entries.push_back(actionEntry(localizer.lookup(Key::commonOpenInFinder), "folder", true,
                                  [reveal = std::move(reveal), path = *revealPath] {
                                    if (reveal) reveal(path);
                                  }));
    entries.push_back(separator());
  }

  const bool reviewEnabled = imageContextMenuReviewActionsEnabled(store, target);
  const auto reviewAction = [&](Mark mark) {
    return [weakStore, target, mark] {
      if (weakStore) runReviewAction(*weakStore, target, mark);
    };
  };
  entries.push_back(
      actionEntry(reviewActionTitle(summary.allFavorite ? Key::reviewFavoriteRemove : Key::reviewFavoriteAdd,
                                    summary.count, localizer),
                  summary.allFavorite ? "star.slash" : "star", reviewEnabled, reviewAction(Mark::favorite)));
  entries.push_back(
      actionEntry(reviewActionTitle(summary.allDeleteCandidates ? Key::reviewDeleteCandidateRemove
                                                                : Key::reviewDeleteCandidateMark,
                                    summary.count, localizer),
                  summary.allDeleteCandidates ? "trash.slash" : "trash", reviewEnabled,
                  reviewAction(Mark::deleteCandidate)));

  const TagConceptsModel& concepts = store.concepts();
  if (!store.featureAvailability().isTagConceptEnabled || concepts.tagConcepts().empty()) return entries;

  entries.push_back(separator());
  const bool conceptsEnabled = !concepts.isTagConceptMutationInProgress();
  for (const bool assign : {true, false}) {
    ImageContextMenuEntry submenu{
        ImageContextMenuEntry::Kind::submenu,
        localizer.lookup(assign ? Key::tagConceptAssignmentAssign : Key::tagConceptAssignmentRemove),
        assign ? "tag.badge.plus" : "tag.slash",
        conceptsEnabled,
        {},
        {}};
    for (const TagConcept& concept_ : concepts.tagConcepts()) {
      submenu.entries.push_back(actionEntry(
          concept_.displayName, "tag", conceptsEnabled, [weakStore, target, assign, conceptID = concept_.id] {
            if (!weakStore) return;
            ImageLibraryStore* liveStore = weakStore.data();
            std::vector<std::string> paths = imageContextMenuTargetPaths(*liveStore, target);
            liveStore->startDetached([liveStore, conceptID, paths = std::move(paths), assign] {
              return liveStore->concepts().setManualTagConceptAssignment(conceptID, paths, assign);
            });
          }));
    }
    entries.push_back(std::move(submenu));
  }
  return entries;
}

}  // namespace lorvex::ui
