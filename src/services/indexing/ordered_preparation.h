// Preparing a run of items on worker threads for one consumer that takes the results in order:
// while the scan's thread writes the images it has, the next ones are read, parsed and hashed on
// the other cores. Workers start items in order and stay within a window ahead of the consumer,
// both in items and in the items' weight (their file sizes), so a run of large files holds at
// most about `maxWeightAhead` bytes of them at once; an item heavier than that is still prepared,
// alone. An exception thrown by `prepare` is handed to the consumer by take().
//
// Thread safety: one consumer thread calls take() and the destructor; `prepare` runs on the
// workers, several at once, and must only read shared state. Destruction lets the items being
// prepared finish, starts no more and joins the workers.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace lorvex {

struct OrderedPreparationLimits {
  std::size_t threads = 1;
  // Items started but not yet taken.
  std::size_t maxItemsAhead = 64;
  // Summed weight of the items started but not yet taken.
  std::uint64_t maxWeightAhead = 64u << 20;
};

template <typename Result>
class OrderedPreparation {
 public:
  OrderedPreparation(std::vector<std::uint64_t> weights, std::function<Result(std::size_t)> prepare,
                     OrderedPreparationLimits limits)
      : weights_(std::move(weights)), prepare_(std::move(prepare)), limits_(limits), slots_(weights_.size()) {
    const std::size_t threads = std::min(std::max<std::size_t>(1, limits_.threads), weights_.size());
    try {
      for (std::size_t i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      // Fewer threads than asked for; with none the consumer prepares the items itself.
    }
  }
  ~OrderedPreparation() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    startable_.notify_all();
    for (auto& worker : workers_) worker.join();
  }
  OrderedPreparation(const OrderedPreparation&) = delete;
  OrderedPreparation& operator=(const OrderedPreparation&) = delete;

  std::size_t size() const { return weights_.size(); }

  // The result of item `index`, waiting for it; indexes 0, 1, 2, ... in turn, each once.
  Result take(std::size_t index) {
    std::unique_lock lock(mutex_);
    if (index != taken_ || index >= weights_.size()) throw std::logic_error("items are taken in order, once");
    if (workers_.empty()) {
      // No worker thread could be started: the consumer prepares each item itself.
      next_ += 1;
      taken_ += 1;
      lock.unlock();
      return prepare_(index);
    }
    ready_.wait(lock, [&] { return slots_[index].done; });
    Slot slot = std::move(slots_[index]);
    taken_ += 1;
    weightAhead_ -= weights_[index];
    lock.unlock();
    startable_.notify_all();
    if (slot.error) std::rethrow_exception(slot.error);
    return std::move(*slot.result);
  }

 private:
  struct Slot {
    bool done = false;
    std::optional<Result> result;
    std::exception_ptr error;
  };

  bool canStart() const {
    if (next_ >= weights_.size() || next_ >= taken_ + limits_.maxItemsAhead) return false;
    return weightAhead_ == 0 || weightAhead_ + weights_[next_] <= limits_.maxWeightAhead;
  }

  void work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      startable_.wait(lock, [&] { return stopping_ || next_ >= weights_.size() || canStart(); });
      if (stopping_ || next_ >= weights_.size()) return;
      const std::size_t index = next_++;
      weightAhead_ += weights_[index];
      lock.unlock();
      Slot slot;
      try {
        slot.result.emplace(prepare_(index));
      } catch (...) {
        slot.error = std::current_exception();
      }
      slot.done = true;
      lock.lock();
      slots_[index] = std::move(slot);
      ready_.notify_all();
    }
  }

  const std::vector<std::uint64_t> weights_;
  const std::function<Result(std::size_t)> prepare_;
  const OrderedPreparationLimits limits_;
  std::mutex mutex_;
  std::condition_variable startable_;
  std::condition_variable ready_;
  std::vector<Slot> slots_;
  std::size_t next_ = 0;
  std::size_t taken_ = 0;
  std::uint64_t weightAhead_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace lorvex
