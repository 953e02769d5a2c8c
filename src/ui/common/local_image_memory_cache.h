// Decoded images kept in memory for the views that show image files, keyed by the cache keys of
// local_image_cache_keys.h. Bounded both by entry count and by cost (about the bytes of decoded
// pixels), least recently used entries going first: QCache has no count limit, and a grid of
// small thumbnails would otherwise hold thousands of entries.
//
// Thread safety: GUI thread only (it is read at every paint).
#pragma once

#include <QImage>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>

namespace lorvex::ui {

// The cost of an image in the cache: four bytes per pixel, at least 4.
std::int64_t memoryCost(const QImage& image);

class LocalImageMemoryCache {
 public:
  static constexpr std::size_t kSharedCountLimit = 512;
  static constexpr std::int64_t kSharedCostLimit = 512LL * 1024 * 1024;

  LocalImageMemoryCache(std::size_t countLimit, std::int64_t costLimit);
  LocalImageMemoryCache(const LocalImageMemoryCache&) = delete;
  LocalImageMemoryCache& operator=(const LocalImageMemoryCache&) = delete;

  // The program's cache (512 entries, 512 MiB), made on first use, never cleared.
  static LocalImageMemoryCache& shared();

  // The image under `key`, which becomes the most recently used; nothing when absent.
  std::optional<QImage> image(const std::string& key);
  bool contains(const std::string& key) const { return entries_.count(key) != 0; }

  // Stores `image` under `key` (replacing an entry there) as the most recently used, then drops
  // the least recently used entries until both limits hold. A null image changes nothing; one
  // costing more than the whole cost limit is not stored (it would only push everything else out).
  void insert(const std::string& key, QImage image);

  std::size_t count() const { return entries_.size(); }
  std::int64_t totalCostForTest() const { return totalCost_; }

 private:
  struct Entry {
    std::string key;
    QImage image;
    std::int64_t cost;
  };
  using Order = std::list<Entry>;  // most recently used first

  void remove(Order::iterator entry);

  const std::size_t countLimit_;
  const std::int64_t costLimit_;
  Order order_;
  std::unordered_map<std::string, Order::iterator> entries_;
  std::int64_t totalCost_ = 0;
};

}  // namespace lorvex::ui
