#include "ui/common/local_image_memory_cache.h"

#include <algorithm>
#include <utility>

namespace lorvex::ui {

std::int64_t memoryCost(const QImage& image) {
  const std::int64_t pixels = static_cast<std::int64_t>(image.width()) * image.height();
  return 4 * std::max<std::int64_t>(pixels, 1);
}

LocalImageMemoryCache::LocalImageMemoryCache(std::size_t countLimit, std::int64_t costLimit)
    : countLimit_(countLimit), costLimit_(costLimit) {}

LocalImageMemoryCache& LocalImageMemoryCache::shared() {
  static LocalImageMemoryCache cache(kSharedCountLimit, kSharedCostLimit);
  return cache;
}

std::optional<QImage> LocalImageMemoryCache::image(const std::string& key) {
  const auto found = entries_.find(key);
  if (found == entries_.end()) return std::nullopt;
  order_.splice(order_.begin(), order_, found->second);
  return found->second->image;
}

void LocalImageMemoryCache::insert(const std::string& key, QImage image) {
  if (image.isNull()) return;
  if (const auto found = entries_.find(key); found != entries_.end()) remove(found->second);
  const std::int64_t cost = memoryCost(image);
  if (cost > costLimit_ || countLimit_ == 0) return;
  order_.push_front({key, std::move(image), cost});
  entries_.emplace(key, order_.begin());
  totalCost_ += cost;
  while (order_.size() > countLimit_ || totalCost_ > costLimit_) remove(std::prev(order_.end()));
}

void LocalImageMemoryCache::remove(Order::iterator entry) {
  totalCost_ -= entry->cost;
  entries_.erase(entry->key);
  order_.erase(entry);
}

}  // namespace lorvex::ui
