#include "ui/detail/keyed_store_task.h"

#include "store/image_library_store.h"

namespace lorvex::ui {

void KeyedStoreTask::restart(ImageLibraryStore& store, Work work) {
  stop();
  source_.emplace();
  const std::stop_token token = source_->get_token();
  store.startDetached([work = std::move(work), token]() -> QCoro::Task<void> {
    std::stop_token stop = token;
    co_await work(stop);
  });
}

void KeyedStoreTask::stop() {
  if (source_) source_->request_stop();
  source_.reset();
}

}  // namespace lorvex::ui
