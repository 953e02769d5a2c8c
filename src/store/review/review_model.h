// ReviewModel: the review marks on the loaded results (favourite and delete candidate, on one image
// or a selection), the undo of delete-candidate changes, the banner that reports the last one, and
// the slideshow's steps.
//
// Every observed field has a getter and a change signal; it is stored silently when equal and
// signalled once, after storing, when different. The undo stack and the banner's countdown are the
// model's own state, which no view follows. `canUndoDeleteCandidateAction` follows its three
// inputs: it is recomputed after every set of the stack and of the restore task and every change
// of the trash state (recomputeCanUndoDeleteCandidateAction, wired by the composition), and
// signals only when it flips. Only the model's own operations set its fields; tests arrange them
// through ReviewModelTestAccess.
//
// The review changes the loaded results, the selection and the slideshow flags through their own
// models (the results and the presentation state) and reads the filters' delete-candidate switch;
// what it asks of the Trash and of the store's projections goes through ReviewDependents, which the
// composition supplies.
//
// Thread safety: the creating thread only (the main thread); flows return to it before they touch
// a field.
#pragma once

#include <qcoro/qcorotask.h>

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "store/async/creating_thread.h"
#include "store/async/store_task.h"
#include "store/context/store_context.h"
#include "store/delete_candidate_review.h"
#include "store/filters/filters_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/record_ref.h"
#include "store/results/result_selection.h"
#include "store/results/results_model.h"
#include "store/review/review_dependents.h"
#include "store/review_update.h"

namespace lorvex {

class ReviewModel : public QObject {
  Q_OBJECT

 public:
  // Every reference outlives the model. The banner clears itself `feedbackDismissDelayNanos` after
  // its newest publication.
  ReviewModel(StoreContext& context, ResultsModel& results, ImageLibraryPresentationState& presentation,
              const FiltersModel& filters, ReviewDependents& dependents,
              std::uint64_t feedbackDismissDelayNanos, QObject* parent = nullptr);
  ~ReviewModel() override;

  // The store this model belongs to: its scope is where a view starts flows that use the model.
  StoreContext& context() const { return context_; }
  std::uint64_t feedbackDismissDelayNanos() const { return feedbackDismissDelayNanos_; }

  bool canUndoDeleteCandidateAction() const { return canUndoDeleteCandidateAction_; }
  const std::optional<DeleteCandidateFeedback>& deleteCandidateFeedback() const {
    return deleteCandidateFeedback_;
  }
  const StoreTask<void>& deleteCandidateFeedbackDismissTask() const {
    return deleteCandidateFeedbackDismissTask_;
  }
  int deleteCandidateFeedbackDismissGeneration() const { return deleteCandidateFeedbackDismissGeneration_; }
  const std::vector<DeleteCandidateUndoAction>& deleteCandidateUndoStack() const {
    return deleteCandidateUndoStack_;
  }
  // The undo's restore running on the pool, until its outcome is applied.
  const StoreTask<void>& deleteCandidateRestoreTask() const { return deleteCandidateRestoreTask_; }
  // The undo stack's size as its limit counts it (DeleteCandidateUndoAction::weight summed).
  std::size_t deleteCandidateUndoStackEntryCount() const;

  // ---- Review marks ----

  // The marks operations. Each changes one mark of the given records that are loaded in the result
  // window (only their paths count; the others are ignored), writes every changed record's review
  // state to the library in one call, all or nothing, and then updates the loaded copies in place:
  // a record whose new marks no longer pass the review filters leaves the window. A set skips the
  // records already carrying the value; a toggle flips each record on its own. Refused silently
  // while canApplyReviewUpdate() is false; nothing left to change writes nothing and leaves the
  // error message. A delete-candidate change is recorded for undo and published in the feedback
  // banner. A failed write changes nothing in the window, shows its text and (for a
  // delete-candidate change) dismisses the banner; a success clears the error message. The loads
  // in flight are stopped before the write and asked for again afterwards.
  void markDeleteCandidates(const std::vector<RecordRef>& records);
  void setFavorite(const std::vector<RecordRef>& records, bool value);
  void toggleFavorite(const std::vector<RecordRef>& records);
  void setDeleteCandidate(const std::vector<RecordRef>& records, bool value);
  void toggleDeleteCandidate(const std::vector<RecordRef>& records);
  // The detail panel's and the slideshow's buttons: toggle the focused record's mark while
  // canReviewFocusedRecord() holds and the slideshow, when open, shows a single image.
  void toggleFocusedRecordFavorite();
  void toggleFocusedRecordDeleteCandidate();
  // No page is loading, and the slideshow, when open, shows a single image.
  bool canApplyReviewUpdate() const;
  // What a context menu on `path` changes: the selected records when the path is selected, else
  // the loaded record at the path alone; nothing when it is not loaded.
  std::vector<RecordRef> reviewTargetRecords(const std::string& path) const;

  // ---- Delete-candidate undo ----

  // The undo stack holds at most this many actions, and at most this weight in all
  // (DeleteCandidateUndoAction::weight): the oldest go first. A change weighing more has no undo.
  static constexpr std::size_t kMaxDeleteCandidateUndoActions = 20;
  static constexpr std::size_t kMaxDeleteCandidateUndoWeight = 5000;

  // Takes back the newest delete-candidate change: writes the saved marks back to the library in
  // one call on the user-initiated pool (`deleteCandidateRestoreTask` holds it meanwhile) and,
  // once it returns, pops the action, puts the returned records back into the window at their old
  // places (or leaves them out when the filters now exclude them), restores the selection and the
  // slideshow and dismisses the banner, in one turn of the main thread. Nothing while a page loads
  // or a move to the Trash runs, or with nothing to undo; an outcome arriving while either runs is
  // applied once it has ended. A restore that fails writes nothing: the action stays the newest and
  // the failure shows. A restore that comes back without a record it was asked for has written the
  // marks: what came back is applied, the action is spent and the first missing path (by old
  // position) is named in the error message.
  //
  // While a restore runs, undo is not offered (`canUndoDeleteCandidateAction` is false) and a
  // further undo is ignored: the action being restored is still the newest on the stack. The
  // banner stays without its countdown until the outcome is applied (a failed restore leaves it up
  // with a new countdown). The
  // marks operations wait: each runs, in the order asked, once the restore is applied, as it would
  // have run right after a synchronous undo. A store destroyed meanwhile applies nothing and runs
  // none of them.
  void undoLastDeleteCandidateAction();
  // A scan found records of the undo stack elsewhere (a renamed file or folder): each action takes
  // its marks back, and puts its selection back, where the records now are. The action a running
  // restore takes back is spent as it was asked. A record two moved records would end at keeps its
  // earlier path in the action (a restore names each record once).
  void followRelocatedRecords(const std::vector<RecordRelocation>& relocations);
  // Forgets every undo action: after files left for the Trash, putting marks back on their
  // records would undo nothing the user can see.
  void clearDeleteCandidateUndoStack();
  // Recomputes `canUndoDeleteCandidateAction` from the stack, the restore and the trash state.
  void recomputeCanUndoDeleteCandidateAction();

  // ---- Delete-candidate feedback ----

  // Removes the banner at once and makes any countdown still running end without effect.
  void dismissDeleteCandidateFeedback();

  // ---- Slideshow steps ----

  // The slideshow's next step: the focus moves on by the visible count, alone, wrapping to the
  // start only when no more records exist. When the step would pass the loaded end while more
  // exist, the next page is loaded first; the step is then dropped when the page did not come
  // while more are still reported, when `stop` was requested, or when the focus changed meanwhile
  // (the user stepped elsewhere). Nothing while the slideshow is closed; an empty window closes it
  // and clears the selection.
  QCoro::Task<void> showNextSlideshowImages(std::stop_token stop = {});
  // The previous step: back by the visible count, wrapping only when no more records exist. Never
  // loads a page. Nothing while the slideshow is closed; an empty window closes it and clears the
  // selection.
  void showPreviousSlideshowImages();

 Q_SIGNALS:
  void canUndoDeleteCandidateActionChanged();
  void deleteCandidateFeedbackChanged();
  void deleteCandidateRestoreTaskChanged();

 private:
  friend struct ReviewModelTestAccess;

  void setCanUndoDeleteCandidateAction(bool value);
  void setDeleteCandidateFeedback(std::optional<DeleteCandidateFeedback> value);
  void setDeleteCandidateFeedbackDismissTask(StoreTask<void> value);
  void setDeleteCandidateFeedbackDismissGeneration(int value);
  void setDeleteCandidateUndoStack(std::vector<DeleteCandidateUndoAction> value);
  void setDeleteCandidateRestoreTask(StoreTask<void> value);

  // ---- Review marks ----

  // The update body: `value` for a set, nothing for a toggle.
  void applyReviewUpdate(const std::vector<RecordRef>& records, ReviewMark mark, std::optional<bool> value);
  void applyReviewUpdateToFocusedRecord(ReviewMark mark);
  void applyReviewStatesToResultWindow(const std::vector<ReviewChange>& changes);

  // ---- Delete-candidate undo ----

  // The action that takes back the delete-candidate changes among `changes`, with the selection
  // and the slideshow as they are now; nothing when no mark changes or it would weigh too much.
  std::optional<DeleteCandidateUndoAction> makeDeleteCandidateUndoAction(
      const std::vector<ReviewChange>& changes) const;
  // Pushes the action as the newest and trims the oldest past the limits; an action over the
  // weight limit is dropped.
  void pushDeleteCandidateUndoAction(DeleteCandidateUndoAction action);
  // Removes the loaded records the review filters exclude, in one change.
  void pruneResultWindowToReviewFilters();
  // The undo's flow: restores `action` on the pool, waits until no page load or move to the Trash
  // runs, applies the outcome, then runs the review operations that waited for it.
  QCoro::Task<void> runDeleteCandidateRestore(std::shared_ptr<const DeleteCandidateUndoAction> action,
                                              std::stop_token stop);
  // Pops `action` when it is still the newest and puts the restored records, the selection and the
  // slideshow back.
  void applyDeleteCandidateRestore(const DeleteCandidateUndoAction& action,
                                   std::vector<std::pair<RecordRef, int>> recordsAtSavedIndex,
                                   const std::optional<std::pair<int, std::string>>& firstAbsent);
  // Queues a review operation behind the restore running; runReviewOperationsAfterRestore runs
  // the queue in order until it is empty or one of them starts another restore.
  void runAfterDeleteCandidateRestore(std::function<void()> operation);
  void runReviewOperationsAfterRestore();
  void restoreSelectionAfterDeleteCandidateUndo(const DeleteCandidateUndoAction& action,
                                                const ResultSelection::Snapshot& snapshot);

  // ---- Delete-candidate feedback ----

  // The banner for `changes`: nothing when no delete-candidate mark changes or the changed
  // records do not all get the same mark.
  std::optional<DeleteCandidateFeedback> makeDeleteCandidateFeedback(
      const std::vector<ReviewChange>& changes,
      const std::optional<DeleteCandidateUndoAction>& undoAction) const;
  // Restarts the countdown that clears the banner just published.
  void scheduleDeleteCandidateFeedbackDismissal();
  // Stops the countdown running, if any, leaving the banner up: a countdown that wakes up anyway
  // finds a newer generation.
  void stopDeleteCandidateFeedbackCountdown();
  QCoro::Task<void> runDeleteCandidateFeedbackDismissal(int generation, std::stop_token stop);

  // ---- Slideshow steps ----

  // Closes the slideshow and clears the selection when the window holds no record; says whether
  // it did.
  bool closeSlideshowIfWindowIsEmpty();

  CreatingThread creatingThread_;
  StoreContext& context_;
  ResultsModel& results_;
  ImageLibraryPresentationState& presentation_;
  const FiltersModel& filters_;
  ReviewDependents& dependents_;
  const std::uint64_t feedbackDismissDelayNanos_;

  bool canUndoDeleteCandidateAction_{false};
  std::optional<DeleteCandidateFeedback> deleteCandidateFeedback_;
  StoreTask<void> deleteCandidateFeedbackDismissTask_;
  int deleteCandidateFeedbackDismissGeneration_{0};
  std::vector<DeleteCandidateUndoAction> deleteCandidateUndoStack_;
  StoreTask<void> deleteCandidateRestoreTask_;
  // The marks asked for while the restore runs, oldest first.
  std::deque<std::function<void()>> reviewOperationsAfterRestore_;
};

}  // namespace lorvex
