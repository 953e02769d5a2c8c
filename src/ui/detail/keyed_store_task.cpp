#include "ui/detail/keyed_store_task.h"

#include "store/context/store_context.h"

namespace lorvex::ui {

void KeyedStoreTask::restart(StoreContext& context, Work work) {
  stop();
  source_.emplace();
  const std::stop_token token = source_->get_token();
  context.startDetached([work = std::move(work), token]() -> QCoro::Task<void> {
    std::stop_token stop = token;
    co_await work(stop);
  });
}

void KeyedStoreTask::stop() {
  if (source_) source_->request_stop();
  source_.reset();
}

}  // namespace lorvex::ui
