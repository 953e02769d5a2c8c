#include "store/store_idle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QThreadPool>
#include <QTimer>
#include <cstdint>

#include "store/image_library_store.h"

namespace lorvex {

namespace {

// How long one turn waits for something to happen when nothing did; the loop wakes early for any
// event.
constexpr std::chrono::milliseconds kTurnWait{1};

// Counts every event delivered on the application's thread, except those of the waiter's own
// timer: a turn that delivered none has left nothing posted.
class DeliveredEventCounter final : public QObject {
 public:
  explicit DeliveredEventCounter(const QObject* ignored) : ignored_(ignored) {}

  std::uint64_t count() const { return count_; }

  bool eventFilter(QObject* receiver, QEvent* event) override {
    if (receiver != ignored_) ++count_;
    return QObject::eventFilter(receiver, event);
  }

 private:
  const QObject* ignored_;
  std::uint64_t count_ = 0;
};

template <typename T>
bool isUnderWay(const StoreTask<T>& task) {
  // A flow that ended but left its handle in place has nothing more to do.
  return task && !task.isFinished();
}

bool poolsAreIdle(const ImageLibraryStore& store) {
  // A queued job keeps a thread counted active until the queue is empty, so 0 means none queued.
  return store.context().userInitiatedPool().activeThreadCount() == 0 &&
         store.context().utilityPool().activeThreadCount() == 0;
}

}  // namespace

bool isStoreSettled(const ImageLibraryStore& store) {
  const bool flowUnderWay = store.results().hasFlowUnderWay() || store.library().hasFlowUnderWay() ||
                            store.trash().isTrashReviewLoadMoreUnderWay() ||
                            isUnderWay(store.review().deleteCandidateFeedbackDismissTask()) ||
                            isUnderWay(store.review().deleteCandidateRestoreTask());
  const bool busy =
      store.results().isLoading() || store.results().isLoadingNextPage() ||
      store.results().isBackgroundRefreshingResults() || store.library().isIndexing() ||
      store.library().isLibrarySyncInProgress() || store.library().backgroundSync().isBackgroundSyncing() ||
      store.library().isPreparingLibrary() || store.library().isLoadingRegisteredFolders() ||
      store.suggestions().isTagSuggestionLoading() || store.suggestions().isModelSuggestionLoading() ||
      store.trash().isTrashingDeleteCandidates() || store.concepts().isTagConceptMutationInProgress();
  return !flowUnderWay && !busy;
}

bool waitUntilStoreIdle(ImageLibraryStore& store, std::chrono::milliseconds timeout) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;

  QTimer wake;
  wake.setSingleShot(true);
  QEventLoop waiting;
  QObject::connect(&wake, &QTimer::timeout, &waiting, &QEventLoop::quit);
  DeliveredEventCounter delivered(&wake);
  application->installEventFilter(&delivered);
  struct RemoveFilter {
    QCoreApplication* application;
    DeliveredEventCounter* filter;
    ~RemoveFilter() { application->removeEventFilter(filter); }
  } removeFilter{application, &delivered};

  std::uint64_t seen = delivered.count();
  int quietTurns = 0;
  for (;;) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const bool deliveredAny = delivered.count() != seen;
    seen = delivered.count();
    if (!deliveredAny && isStoreSettled(store) && poolsAreIdle(store)) {
      if (++quietTurns == 2) return true;
      continue;
    }
    quietTurns = 0;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    if (!deliveredAny) {
      // Something runs elsewhere (a pool job, a timer): sleep in the event loop until it posts.
      wake.start(kTurnWait);
      waiting.exec();
    }
  }
}

}  // namespace lorvex
