#include "ui/common/image_context_menu_model.h"

#include <QPointer>
#include <algorithm>
#include <optional>
#include <utility>

#include "store/concepts/tag_concepts_model.h"
#include "store/context/store_context.h"
#include "store/results/results_model.h"
#include "store/review/review_model.h"

namespace lorvex::ui {

namespace {

using ContextSelection = ImageContextMenuTarget::ContextSelection;
using Single = ImageContextMenuTarget::Single;

bool isInEffectiveSelection(const ResultsModel& results, const std::string& path) {
  return results.selection().effectiveSelectedPaths().contains(path);
}

// The models an action works with, held weakly: the store that owns them may go while the menu is
// open.
class WeakModels {
 public:
  explicit WeakModels(const ImageContextMenuModels& models)
      : results_(&models.results),
        review_(&models.review),
        concepts_(&models.concepts),
        context_(&models.context) {}

  // The models, while every one of them is still there.
  std::optional<ImageContextMenuModels> lock() const {
    if (!results_ || !review_ || !concepts_ || !context_) return std::nullopt;
    return ImageContextMenuModels{*results_, *review_, *concepts_, *context_};
  }

 private:
  QPointer<ResultsModel> results_;
  QPointer<ReviewModel> review_;
  QPointer<TagConceptsModel> concepts_;
  QPointer<StoreContext> context_;
};

enum class Mark { favorite, deleteCandidate };

bool carries(const ImageRecord& record, Mark mark) {
  return mark == Mark::favorite ? record.reviewState.favorite : record.reviewState.deleteCandidate;
}

// Chosen from the menu: sets the mark on every target unless all carry it, then clears it.
void runReviewAction(const ImageContextMenuModels& models, const ImageContextMenuTarget& target, Mark mark) {
  ReviewModel& review = models.review;
  if (const auto* selection = std::get_if<ContextSelection>(&target.value)) {
    const std::vector<RecordRef> records = review.reviewTargetRecords(selection->path);
    const bool value = std::any_of(records.begin(), records.end(),
                                   [mark](const RecordRef& record) { return !carries(*record, mark); });
    if (mark == Mark::favorite) {
      review.setFavorite(records, value);
    } else {
      review.setDeleteCandidate(records, value);
    }
    return;
  }
  const RecordRef& record = std::get<Single>(target.value).record;
  if (!record || !review.canApplyReviewUpdate() || !models.results.resultWindow().index(record->file.path))
    return;
  if (mark == Mark::favorite) {
    review.toggleFavorite({record});
  } else {
    review.toggleDeleteCandidate({record});
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

std::vector<ReviewState> imageContextMenuReviewStates(const ResultsModel& results,
                                                      const ImageContextMenuTarget& target) {
  if (const auto* selection = std::get_if<ContextSelection>(&target.value)) {
    if (!isInEffectiveSelection(results, selection->path)) return {selection->reviewState};
    std::vector<ReviewState> states;
    for (const RecordRef& record : results.selectedRecords()) states.push_back(record->reviewState);
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

std::optional<std::string> imageContextMenuRevealPath(const ReviewModel& review,
                                                      const ImageContextMenuTarget& target) {
  if (const auto* selection = std::get_if<ContextSelection>(&target.value)) {
    const std::vector<RecordRef> records = review.reviewTargetRecords(selection->path);
    if (records.size() != 1) return std::nullopt;
    return records.front()->file.path;
  }
  const RecordRef& record = std::get<Single>(target.value).record;
  if (!record) return std::nullopt;
  return record->file.path;
}

std::vector<std::string> imageContextMenuTargetPaths(const ResultsModel& results,
                                                     const ImageContextMenuTarget& target) {
  if (const auto* selection = std::get_if<ContextSelection>(&target.value)) {
    if (!isInEffectiveSelection(results, selection->path)) return {selection->path};
    std::vector<std::string> paths;
    for (const RecordRef& record : results.selectedRecords()) paths.push_back(record->file.path);
    return paths;
  }
  const RecordRef& record = std::get<Single>(target.value).record;
  if (!record) return {};
  return {record->file.path};
}

bool imageContextMenuReviewActionsEnabled(const ResultsModel& results, const ReviewModel& review,
                                          const ImageContextMenuTarget& target) {
  if (!review.canApplyReviewUpdate()) return false;
  if (const auto* selection = std::get_if<ContextSelection>(&target.value)) {
    return !review.reviewTargetRecords(selection->path).empty();
  }
  const RecordRef& record = std::get<Single>(target.value).record;
  return record && results.resultWindow().index(record->file.path).has_value();
}

std::string reviewActionTitle(AppLocalizationKey key, int count, const AppLocalization& localizer) {
  std::string title = localizer.lookup(key);
  if (count < 2) return title;
  return localizer.lookup(AppLocalizationKey::reviewBulkActionTitle, {std::move(title), std::int64_t{count}});
}

std::vector<ImageContextMenuEntry> makeImageContextMenu(ImageContextMenuModels models,
                                                        ImageContextMenuTarget target,
                                                        const AppLocalization& localizer,
                                                        RevealFileInFileManager reveal) {
  using Key = AppLocalizationKey;
  const ImageContextMenuReviewSummary summary =
      summarizeReviewStates(imageContextMenuReviewStates(models.results, target));
  const std::optional<std::string> revealPath = imageContextMenuRevealPath(models.review, target);
  const WeakModels weakModels(models);
  std::vector<ImageContextMenuEntry> entries;

  if (revealPath) {
    entries.push_back(actionEntry(localizer.lookup(Key::commonOpenInFinder), "folder", true,
                                  [reveal = std::move(reveal), path = *revealPath] {
                                    if (reveal) reveal(path);
                                  }));
    entries.push_back(separator());
  }

  const bool reviewEnabled = imageContextMenuReviewActionsEnabled(models.results, models.review, target);
  const auto reviewAction = [&](Mark mark) {
    return [weakModels, target, mark] {
      if (const auto live = weakModels.lock()) runReviewAction(*live, target, mark);
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

  const TagConceptsModel& concepts = models.concepts;
  if (!models.context.featureAvailability().isTagConceptEnabled || concepts.tagConcepts().empty())
    return entries;

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
          concept_.displayName, "tag", conceptsEnabled,
          [weakModels, target, assign, conceptID = concept_.id] {
            const auto live = weakModels.lock();
            if (!live) return;
            std::vector<std::string> paths = imageContextMenuTargetPaths(live->results, target);
            TagConceptsModel* liveConcepts = &live->concepts;
            live->context.startDetached([liveConcepts, conceptID, paths = std::move(paths), assign] {
              return liveConcepts->setManualTagConceptAssignment(conceptID, paths, assign);
            });
          }));
    }
    entries.push_back(std::move(submenu));
  }
  return entries;
}

}  // namespace lorvex::ui
