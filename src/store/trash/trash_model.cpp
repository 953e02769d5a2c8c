// The trash model's fields and what the review sheet reads from them: the Trash review's
// permissions and the records each of its actions would move.
#include "store/trash/trash_model.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "store/observed_value.h"

namespace lorvex {

namespace {

std::vector<RecordRef> trashableRecordsAmong(const std::vector<RecordRef>& records, const PathSet& paths) {
  std::vector<RecordRef> result;
  if (paths.empty()) return result;
  for (const auto& record : records) {
    if (paths.contains(record->file.path) && TrashCandidateBrowser::isTrashable(*record))
      result.push_back(record);
  }
  return result;
}

// The same content as the person saw it, as the library tells content apart: the same size and
// modification dates less than a millisecond apart.
bool isSameReviewedFile(const ImageFileInfo& reviewed, const ImageFileInfo& listed) {
  return reviewed.fileSize == listed.fileSize &&
         std::fabs(reviewed.modificationDate - listed.modificationDate) < 0.001;
}

}  // namespace

TrashModel::TrashModel(StoreContext& context, TrashDependents& dependents,
                       ImageLibraryPresentationState& presentation, QObject* parent)
    : QObject(parent),
      context_(context),
      dependents_(dependents),
      presentation_(presentation),
      trashReviewBrowser_(std::make_unique<TrashCandidateBrowser>()) {}

TrashModel::~TrashModel() = default;

void TrashModel::setLastTrashSummary(std::optional<ImageTrashSummary> value) {
  creatingThread_.check();
  assignObserved(lastTrashSummary_, std::move(value), this, &TrashModel::lastTrashSummaryChanged);
}

void TrashModel::setIsTrashingDeleteCandidates(bool value) {
  creatingThread_.check();
  assignObserved(isTrashingDeleteCandidates_, value, this, &TrashModel::isTrashingDeleteCandidatesChanged);
}

void TrashModel::setIsWaitingForLibrarySync(bool value) {
  creatingThread_.check();
  assignObserved(isWaitingForLibrarySync_, value, this, &TrashModel::isWaitingForLibrarySyncChanged);
}

void TrashModel::setDeleteCandidateTrashReviewLoadMoreTask(StoreTask<bool> value) {
  creatingThread_.check();
  assignObserved(deleteCandidateTrashReviewLoadMoreTask_, std::move(value), this,
                 &TrashModel::deleteCandidateTrashReviewLoadMoreTaskChanged);
}

bool TrashModel::isTrashReviewLoadMoreUnderWay() const {
  // A flow that ended but left its handle in place has nothing more to do.
  return deleteCandidateTrashReviewLoadMoreTask_ && !deleteCandidateTrashReviewLoadMoreTask_.isFinished();
}

std::vector<RecordRef> TrashModel::selectedTrashReviewRecords() const {
  creatingThread_.check();
  return trashableRecordsAmong(trashReviewBrowser_->records(), trashReviewBrowser_->selectedPaths());
}

int TrashModel::trashableLoadedTrashReviewRecordCount() const {
  creatingThread_.check();
  const auto& records = trashReviewBrowser_->records();
  return static_cast<int>(std::count_if(records.begin(), records.end(), [](const RecordRef& record) {
    return TrashCandidateBrowser::isTrashable(*record);
  }));
}

std::vector<RecordRef> TrashModel::retryableFailedTrashRecords() const {
  creatingThread_.check();
  if (!lastTrashSummary_) return {};
  // Only a failure of the platform or the library (a volume refusing the Trash, a permission) may
  // go another way next time. A file refused as changed since the review is refused again however
  // often it is retried: the content the person decided on is no longer there. A path can also
  // fail in one step of the move and be trashed by a later one; it is gone.
  PathSet failed;
  for (const auto& failure : lastTrashSummary_->failures) {
    if (failure.reason == ImageTrashFailureReason::underlyingError) failed.insert(failure.path);
  }
  for (const auto& trashed : lastTrashSummary_->trashedPaths) failed.erase(trashed);
  std::vector<RecordRef> records = trashableRecordsAmong(trashReviewBrowser_->records(), failed);
  // A retry takes the files as the person reviewed them. A reload that brought a record of other
  // content (another size or modification date) shows a new candidate, to be decided on as such:
  // it is not the file that failed, and no retry moves it.
  std::erase_if(records, [this](RecordRef& record) {
    const auto found = firstReviewedTrashRecords_.find(record->file.path);
    if (found == firstReviewedTrashRecords_.end()) return false;
    if (!isSameReviewedFile(found->second->file, record->file)) return true;
    record = found->second;
    return false;
  });
  return records;
}

bool TrashModel::isLibraryReadyForTrash() const {
  return !dependents_.isLibraryUnprepared() && !dependents_.isLibraryIndexing() &&
         !isTrashingDeleteCandidates_;
}

bool TrashModel::isTrashReviewLoading() const {
  return trashReviewBrowser_->isReloading() || trashReviewBrowser_->isLoadingMore() ||
         static_cast<bool>(deleteCandidateTrashReviewLoadMoreTask_);
}

bool TrashModel::trashReviewAllowsTrashing() const {
  return presentation_.isDeleteCandidateTrashReviewPresented() && isLibraryReadyForTrash() &&
         !isTrashReviewLoading();
}

bool TrashModel::canTrash(const std::vector<RecordRef>& records) const {
  return trashReviewAllowsTrashing() && !records.empty();
}

bool TrashModel::canTrashSelectedTrashReviewRecords() const {
  // The records are gathered only once nothing else forbids the move.
  return trashReviewAllowsTrashing() && !selectedTrashReviewRecords().empty();
}

bool TrashModel::canRetryFailedTrash() const {
  return trashReviewAllowsTrashing() && !retryableFailedTrashRecords().empty();
}

bool TrashModel::canTrashLoadedTrashReviewRecords() const {
  return trashReviewAllowsTrashing() && trashableLoadedTrashReviewRecordCount() != 0;
}

DeleteCandidateTrashBlockers TrashModel::trashBlockers() const {
  return DeleteCandidateTrashBlockers{
      .trashing = isTrashingDeleteCandidates_,
      .waitingForScan = isWaitingForLibrarySync_,
      .notPrepared = dependents_.isLibraryUnprepared(),
      .indexing = dependents_.isLibraryIndexing(),
      .loading = isTrashReviewLoading(),
  };
}

std::optional<DeleteCandidateTrashDisabledReason> TrashModel::trashSelectedDisabledReason() const {
  if (canTrashSelectedTrashReviewRecords()) return std::nullopt;
  if (const auto blocked = blockingReason(trashBlockers())) return blocked;
  // Nothing blocks: either nothing is ticked, or the review is not shown.
  if (!selectedTrashReviewRecords().empty()) return std::nullopt;
  return trashableLoadedTrashReviewRecordCount() != 0 ? DeleteCandidateTrashDisabledReason::noSelection
                                                      : DeleteCandidateTrashDisabledReason::noCandidates;
}

std::optional<DeleteCandidateTrashDisabledReason> TrashModel::trashLoadedDisabledReason() const {
  if (canTrashLoadedTrashReviewRecords()) return std::nullopt;
  if (const auto blocked = blockingReason(trashBlockers())) return blocked;
  if (trashableLoadedTrashReviewRecordCount() == 0) return DeleteCandidateTrashDisabledReason::noCandidates;
  return std::nullopt;
}

}  // namespace lorvex
