// PathSet: a set of file paths, as the selections and the review hold them.
//
// A selection can hold every loaded result (select all over a hundred thousand records), and a
// node-based set of std::string pays two allocations per path to build and two frees per path to
// drop, tens of milliseconds on the main thread. This set keeps every path's characters in one
// buffer and finds them through an open-addressing table of indices, so building one is a copy of
// the characters and dropping one is three frees.
//
// Copies share that storage until one of them changes: the result window keeps the set of every
// loaded path, and select-all hands the selection a copy of it without copying 100,000 paths; the
// first change to either copy makes it a storage of its own.
//
// Elements are std::string_views into the set's storage, valid until the set is changed or
// destroyed. Iteration visits the paths in the order they were first inserted.
//
// Thread safety: none of its own; like a standard container, const use may be shared. Copies that
// share storage may be used and changed on different threads, each copy by one thread at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace lorvex {

class PathSet {
  struct Entry {
    std::size_t hash;
    std::size_t offset;
    std::size_t length;  // kErased once erased
  };
  static constexpr std::size_t kErased = static_cast<std::size_t>(-1);

 public:
  using value_type = std::string_view;
  using size_type = std::size_t;

  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    const_iterator() = default;
    std::string_view operator*() const { return set_->view(*entry_); }
    const_iterator& operator++() {
      ++entry_;
      skipErased();
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++*this;
      return before;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.entry_ == b.entry_; }

   private:
    friend class PathSet;
    const_iterator(const PathSet* set, const Entry* entry) : set_(set), entry_(entry) { skipErased(); }
    void skipErased() {
      const Entry* end = set_->entriesEnd();
      while (entry_ != end && entry_->length == kErased) ++entry_;
    }
    const PathSet* set_ = nullptr;
    const Entry* entry_ = nullptr;
  };
  using iterator = const_iterator;

  PathSet() = default;
  // Shares the storage.
  PathSet(const PathSet& other) noexcept;
  PathSet& operator=(const PathSet& other) noexcept;
  // A moved-from set is empty.
  PathSet(PathSet&& other) noexcept;
  PathSet& operator=(PathSet&& other) noexcept;
  ~PathSet();
  PathSet(std::initializer_list<std::string_view> paths);
  template <typename Iterator>
  PathSet(Iterator first, Iterator last) {
    if constexpr (std::is_base_of_v<std::forward_iterator_tag,
                                    typename std::iterator_traits<Iterator>::iterator_category>) {
      reserve(static_cast<std::size_t>(std::distance(first, last)));
    }
    for (; first != last; ++first) insert(std::string_view(*first));
  }

  // Room for `count` paths of `characters` bytes in all without growing.
  void reserve(std::size_t count, std::size_t characters = 0);

  // Whether the path was new.
  bool insert(std::string_view path) { return insert(path, hashOf(path)); }
  // The same, for a caller that already holds hashOf(path), as the result window does for its
  // records: select-all enters 100,000 paths and hashing them was a third of its time.
  bool insert(std::string_view path, std::size_t hash);
  // std::hash of the path.
  static std::size_t hashOf(std::string_view path);
  template <typename Iterator>
  void insert(Iterator first, Iterator last) {
    for (; first != last; ++first) insert(std::string_view(*first));
  }
  // How many paths were erased: 0 or 1.
  std::size_t erase(std::string_view path);
  bool contains(std::string_view path) const { return find(path) != kNone; }
  std::size_t count(std::string_view path) const { return contains(path) ? 1 : 0; }
  void clear();

  std::size_t size() const { return table_ != nullptr ? table_->size : 0; }
  bool empty() const { return size() == 0; }
  const_iterator begin() const {
    return const_iterator(this, table_ != nullptr ? table_->entries.data() : nullptr);
  }
  const_iterator end() const { return const_iterator(this, entriesEnd()); }

  // Whether the two are copies of one storage: the same paths, known without comparing them.
  bool sharesStorageWith(const PathSet& other) const { return table_ != nullptr && table_ == other.table_; }
  // Whether another copy shares this one's storage (a change to either would copy it).
  bool hasSharedStorage() const {
    return table_ != nullptr && table_->references.load(std::memory_order_acquire) > 1;
  }

  // The same paths, whatever the order they were inserted in.
  friend bool operator==(const PathSet& a, const PathSet& b);

 private:
  static constexpr std::uint32_t kEmpty = 0;
  static constexpr std::uint32_t kTombstone = UINT32_MAX;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  // The storage: null for an empty set, shared by copies until one of them changes.
  struct Table {
    std::atomic<std::size_t> references{1};
    std::string characters;
    std::vector<Entry> entries;
    std::vector<std::uint32_t> buckets;  // entry index + 1, kEmpty or kTombstone
    std::size_t size = 0;
    std::size_t tombstones = 0;
  };

  std::string_view view(const Entry& entry) const {
    return {table_->characters.data() + entry.offset, entry.length};
  }
  const Entry* entriesEnd() const {
    return table_ != nullptr ? table_->entries.data() + table_->entries.size() : nullptr;
  }
  // The storage, made this set's own first when another copy shares it.
  Table& writable();
  // Lets go of the storage: the set is empty.
  void release() noexcept;
  // The slot holding `path`, or kNone.
  std::size_t find(std::string_view path) const { return find(path, hashOf(path)); }
  std::size_t find(std::string_view path, std::size_t hash) const;
  // Gives `table` at least `capacity` buckets holding its live entries, with erased ones dropped.
  static void rebuild(Table& table, std::size_t capacity);

  Table* table_ = nullptr;
};

}  // namespace lorvex
