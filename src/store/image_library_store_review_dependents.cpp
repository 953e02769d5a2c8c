// What the review model asks of the Trash and of the store's projections: whether a move to the
// Trash runs, the wait for it and for a page load to end, and whether the focused record may be
// reviewed.
#include <stop_token>

#include "store/async/signal_wait.h"
#include "store/image_library_store.h"

namespace lorvex {

bool ImageLibraryStore::ReviewDependentsOfStore::isTrashingDeleteCandidates() const {
  return store_.trash_->isTrashingDeleteCandidates();
}

QCoro::Task<void> ImageLibraryStore::ReviewDependentsOfStore::waitUntilNoPageLoadOrTrashMove(
    std::stop_token stop) {
  ImageLibraryStore& store = store_;
  auto frame = co_await store.context_->scope().enter();
  ResultsModel& results = *store.results_;
  TrashModel& trash = *store.trash_;
  while ((results.isLoadingNextPage() || trash.isTrashingDeleteCandidates()) && !stop.stop_requested()) {
    if (results.isLoadingNextPage()) {
      co_await nextEmission(&results, &ResultsModel::isLoadingNextPageChanged, stop);
    } else {
      co_await nextEmission(&trash, &TrashModel::isTrashingDeleteCandidatesChanged, stop);
    }
  }
}

bool ImageLibraryStore::ReviewDependentsOfStore::canReviewFocusedRecord() const {
  return store_.projections_->canReviewFocusedRecord();
}

}  // namespace lorvex
