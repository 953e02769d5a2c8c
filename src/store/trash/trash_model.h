// TrashModel: the delete-candidate Trash review and the move to the Trash: the review's browser
// (the candidates loaded in pages and the ones ticked), the first page and the pages after it, the
// move of reviewed candidates to the Trash with its outcome (`lastTrashSummary`) and busy flag
// (`isTrashingDeleteCandidates`), and what the review sheet reads to allow its actions.
//
// Every observed field has a getter and a change signal; it is stored silently when equal and
// signalled once, after storing, when different. Only the model's own flows set them; the
// load-more task and the records a retry is checked against are the model's own (tests reach them
// through TrashModelTestAccess).
//
// The review is shown while the presentation says so (`isDeleteCandidateTrashReviewPresented`);
// the model opens and closes it there. What the review and a move need of the library, the
// results, folder monitoring, the undo history and the sidebar it asks through TrashDependents;
// the composition supplies that and wires what others hear from the model.
//
// Thread safety: the creating thread only (the main thread); flows return to it before they touch
// a field.
#pragma once

#include <qcoro/qcorotask.h>

#include <QObject>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/image_library_scan_summary.h"
#include "model/image_search_query.h"
#include "model/image_trash_summary.h"
#include "store/async/creating_thread.h"
#include "store/async/store_task.h"
#include "store/context/store_context.h"
#include "store/delete_candidate_trash_disabled_reason.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/record_ref.h"
#include "store/trash/trash_candidate_browser.h"
#include "store/trash/trash_dependents.h"

namespace lorvex {

class TrashModel : public QObject {
  Q_OBJECT

 public:
  // `context`, `dependents` and `presentation` outlive the model.
  TrashModel(StoreContext& context, TrashDependents& dependents, ImageLibraryPresentationState& presentation,
             QObject* parent = nullptr);
  ~TrashModel() override;

  // The store this model belongs to: its scope is where a view starts flows that use the model.
  StoreContext& context() const { return context_; }

  // The review's list. Set once, never replaced; it signals on its own.
  TrashCandidateBrowser& trashReviewBrowser() { return *trashReviewBrowser_; }
  const TrashCandidateBrowser& trashReviewBrowser() const { return *trashReviewBrowser_; }

  // What the last move did; kept until the next move starts.
  const std::optional<ImageTrashSummary>& lastTrashSummary() const { return lastTrashSummary_; }
  // A move runs.
  bool isTrashingDeleteCandidates() const { return isTrashingDeleteCandidates_; }
  // The move that runs still waits for library work under way to end, and has touched nothing yet:
  // cancelDeleteCandidateTrashWhileWaiting() calls it off.
  bool isWaitingForLibrarySync() const { return isWaitingForLibrarySync_; }
  // A further page of the review is being fetched (its flow has not ended).
  bool isTrashReviewLoadMoreUnderWay() const;

  // ---- Trash review loading ----

  // The review lists every indexed delete candidate whose file is not missing under the search
  // roots, in the current sort, whatever the other filters: pages of kTrashReviewPageSize, each
  // asked for with one row more to learn whether more exist; a tile among the last
  // kTrashReviewPrefetchDistance loaded records asks for the next page.
  static constexpr int kTrashReviewPageSize = 500;
  static constexpr std::int64_t kTrashReviewQueryLimit = kTrashReviewPageSize + 1;
  static constexpr int kTrashReviewPrefetchDistance = 24;

  // Opens the review and loads its first page; nothing while the live service is missing or being
  // prepared.
  QCoro::Task<void> presentDeleteCandidateTrashReview();
  // Loads the first page again while the review is open; the loaded records stay visible until it
  // arrives. Drops the load-more in flight. Of overlapping reloads only the last one applies. A
  // failure keeps the records, stops paging and shows its text; a success clears the error message.
  QCoro::Task<void> reloadDeleteCandidateTrashReview();
  // A review tile came into view: loads the next page when more exist and the tile's path is among
  // the last kTrashReviewPrefetchDistance loaded records (any, when fewer are loaded); with no path,
  // whenever more exist. A path no longer loaded asks for nothing.
  QCoro::Task<void> loadMoreDeleteCandidateTrashReviewIfNeeded(std::optional<std::string> path);
  // Appends the next page; true when it was applied. One load-more runs at a time and later
  // callers join it. False at once while the review is closed, nothing more exists or a reload
  // runs. A page of records all loaded already while more are reported reloads from the start (the
  // list shifted underneath). A failure shows its text and keeps paging, so the next tile asks
  // again.
  QCoro::Task<bool> loadMoreDeleteCandidateTrashReview();
  // Closes the review and empties its list; a load in flight is dropped when it arrives, and a move
  // still waiting for library work is called off. The last trash summary and the error message
  // stay.
  void dismissDeleteCandidateTrashReview();
  // The review's query for `limit` records from `offset`.
  ImageSearchQuery makeDeleteCandidateTrashReviewQuery(std::int64_t limit, std::int64_t offset) const;

  // ---- Trash moves ----

  // What errorMessage shows after a move in which some file was not moved or not recorded; the
  // details stay in lastTrashSummary.
  static constexpr std::string_view kTrashFailureMessage =
      "ゴミ箱に入れる操作またはインデックス更新に失敗した画像があります。";

  // Moves the delete candidates among `records` (marked, not missing; each path once, in order) to
  // the Trash: the only operation that changes the user's files. Refused (false, nothing changed)
  // when none is left or canStartDeleteCandidateTrash() is false. A background pass under way is
  // let finish first (none starts while a move runs), with isWaitingForLibrarySync raised: a move
  // called off meanwhile returns false having changed nothing (the review, its selection and the
  // last summary stay as they were). The library re-checks each file against the
  // record handed here (its size and modification date: what the person reviewed) and against its
  // own on the user-initiated pool; nothing cancels that call, and no second move starts while it
  // runs. Afterwards: the outcome is kept in lastTrashSummary; trashed images leave the results
  // and the review, monitoring is told to ignore their removal, the undo history is emptied and
  // the sidebar's counts reload; the paths that failed and are still listed become the review's
  // selection, for a retry, and errorMessage says so. A refused call to the library records every
  // path as failed with its text; when it refused because of one image, every other path as held
  // back by it (ErrorNoticeKind::trashHeldBack). Records a scan relocated while the move waited for
  // it are moved from their new places. True only when nothing failed; then a review emptied by
  // the move while more candidates existed loads its first page again.
  QCoro::Task<bool> moveDeleteCandidatesToTrash(std::vector<RecordRef> records);
  // The same for every record the review has loaded, as they are at the call.
  QCoro::Task<bool> moveLoadedTrashReviewCandidatesToTrash();
  // Calls off the move that waits for library work, before it touches anything; nothing once the
  // library has been asked. Says whether a move was called off.
  bool cancelDeleteCandidateTrashWhileWaiting();
  // Records a scan found again under other paths: the review lists them there, and a move that
  // waits for that scan moves them from there.
  void followRelocatedRecords(const std::vector<RecordRelocation>& relocations);
  // The review is open, the library is ready (prepared, not indexing, no move running) and its
  // list is not loading.
  bool canStartDeleteCandidateTrash() const;
  // Reloads the review when it is open and empty and had more candidates before the move.
  QCoro::Task<void> reloadDeleteCandidateTrashReviewIfEmptied(bool hadMoreRecords);

  // ---- Projections ----

  // What the review sheet reads; computed when asked. A record may be moved to the Trash when it
  // is a delete candidate and its file is not missing. The projections' derivedValuesChanged tells that
  // an input changed.

  // The ticked records that may be moved, in browser order.
  std::vector<RecordRef> selectedTrashReviewRecords() const;
  int trashableLoadedTrashReviewRecordCount() const;
  // The loaded records that may be moved and that the last move failed on for a reason a retry can
  // mend (an underlying error, not a file changed since the review) and did not trash after all,
  // in browser order, each as that move was handed it. A record the review lists with other content
  // than that move was handed (reloaded since) is a new candidate, not a retry.
  std::vector<RecordRef> retryableFailedTrashRecords() const;
  // No preparation, indexing or move to the Trash is running.
  bool isLibraryReadyForTrash() const;
  bool isTrashReviewLoading() const;
  // The review is shown, the library is ready, nothing is loading, and `records` is not empty.
  bool canTrash(const std::vector<RecordRef>& records) const;
  bool canTrashSelectedTrashReviewRecords() const;
  bool canRetryFailedTrash() const;
  bool canTrashLoadedTrashReviewRecords() const;
  DeleteCandidateTrashBlockers trashBlockers() const;
  // Why the review's two actions are disabled; nothing when allowed or when the question does not
  // arise (the review is not shown).
  std::optional<DeleteCandidateTrashDisabledReason> trashSelectedDisabledReason() const;
  std::optional<DeleteCandidateTrashDisabledReason> trashLoadedDisabledReason() const;

 Q_SIGNALS:
  void lastTrashSummaryChanged();
  void isTrashingDeleteCandidatesChanged();
  void isWaitingForLibrarySyncChanged();
  void deleteCandidateTrashReviewLoadMoreTaskChanged();

 private:
  friend struct TrashModelTestAccess;

  void setLastTrashSummary(std::optional<ImageTrashSummary> value);
  void setIsTrashingDeleteCandidates(bool value);
  void setIsWaitingForLibrarySync(bool value);
  void setDeleteCandidateTrashReviewLoadMoreTask(StoreTask<bool> value);

  // ---- Trash review loading: private ----

  // The load-more task's body: the page from `offset`, applied under `ticket`.
  QCoro::Task<bool> loadDeleteCandidateTrashReviewPage(std::int64_t offset,
                                                       TrashCandidateBrowser::LoadTicket ticket,
                                                       std::stop_token stop);
  // The review's page of `records`: the trashable ones, at most kTrashReviewPageSize; whether
  // more were kept.
  static bool keepTrashReviewPage(std::vector<RecordRef>& records);
  // Stops the review's load-more in flight and forgets it; its late page is dropped by the
  // browser's epoch.
  void cancelDeleteCandidateTrashReviewLoadMore();

  // ---- Trash moves: private ----

  // Waits, while library work runs, for it to end; false when the move was called off meanwhile.
  QCoro::Task<bool> waitForLibrarySyncBeforeMove();

  // The outcome of a move of `paths` that the library answered with `summary`; the result of the
  // move. `fallbackSelectionIndex`: where the result selection goes when its records were trashed.
  QCoro::Task<bool> applyTrashSummary(ImageTrashSummary summary, int fallbackSelectionIndex,
                                      bool hadMoreRecords);
  // A move the library refused as a whole: every path failed with the error's text.
  void applyTrashFailure(const std::vector<std::string>& paths, const std::exception_ptr& failure);
  // The trashed images leave the results and the review; monitoring ignores their removal.
  void removeTrashedRecords(const std::vector<std::string>& trashedPaths, int fallbackSelectionIndex);

  // ---- Projections: private ----

  // The review is shown, the library is ready and nothing is loading: what canTrash asks before
  // it looks at any record.
  bool trashReviewAllowsTrashing() const;

  CreatingThread creatingThread_;
  StoreContext& context_;
  TrashDependents& dependents_;
  ImageLibraryPresentationState& presentation_;
  const std::unique_ptr<TrashCandidateBrowser> trashReviewBrowser_;

  std::optional<ImageTrashSummary> lastTrashSummary_;
  bool isTrashingDeleteCandidates_{false};
  bool isWaitingForLibrarySync_{false};
  // Stops the wait of the move that waits for library work; none when no move waits.
  std::optional<std::stop_source> libraryWaitStop_;
  // What the library work a move waits for relocated meanwhile.
  std::vector<RecordRelocation> relocatedWhileMoveWaits_;
  // The records the last move failed on, as they were handed to it: a retry is checked against
  // the files as the person first reviewed them, never as a reload of the review refreshed them.
  std::unordered_map<std::string, RecordRef> firstReviewedTrashRecords_;
  // The review's page load in flight; later callers join it.
  StoreTask<bool> deleteCandidateTrashReviewLoadMoreTask_;
};

}  // namespace lorvex
