// A view's keyed load: one flow at a time, started as a flow of the store (so it never outlives
// the store) and stopped when the key changes, when it is restarted or when its owner goes. The
// work receives a stop token and must check it after every suspension before it touches the
// owning view (hold the view through a QPointer).
//
// Thread safety: GUI thread only.
#pragma once

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>
#include <stop_token>

namespace lorvex {
class StoreContext;
}

namespace lorvex::ui {

class KeyedStoreTask {
 public:
  using Work = std::function<QCoro::Task<void>(std::stop_token)>;

  KeyedStoreTask() = default;
  KeyedStoreTask(const KeyedStoreTask&) = delete;
  KeyedStoreTask& operator=(const KeyedStoreTask&) = delete;
  ~KeyedStoreTask() { stop(); }

  // Stops the running work and starts `work` as a detached flow of the store `context` belongs to.
  void restart(StoreContext& context, Work work);
  void stop();

 private:
  std::optional<std::stop_source> source_;
};

}  // namespace lorvex::ui
