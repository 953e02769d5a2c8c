// Tag concepts: user-made names that gather raw prompt tags (aliases) and, by hand, individual
// images. Filtering by a concept finds every image carrying one of its aliases or assigned to it.
//
// Thread safety: plain values; a value may be copied to and read on any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace lorvex {

// Identified by `id`: a renamed concept keeps its identity but is unequal to its old value.
struct TagConcept {
  std::int64_t id = 0;
  std::string displayName;
  std::int64_t imageCount = 0;

  friend bool operator==(const TagConcept&, const TagConcept&) = default;
};

struct TagConceptAlias {
  std::int64_t conceptID = 0;
  std::string tag;  // a raw prompt tag, compared exactly

  friend bool operator==(const TagConceptAlias&, const TagConceptAlias&) = default;
};

struct TagConceptManualAssignment {
  std::int64_t conceptID = 0;
  std::string imagePath;

  friend bool operator==(const TagConceptManualAssignment&, const TagConceptManualAssignment&) = default;
};

// Mixes `value`'s hash into `seed` (the boost recipe), for hashing records field by field.
template <typename T>
std::size_t hashCombine(std::size_t seed, const T& value) {
  return seed ^ (std::hash<T>{}(value) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

}  // namespace lorvex

template <>
struct std::hash<lorvex::TagConceptAlias> {
  std::size_t operator()(const lorvex::TagConceptAlias& alias) const noexcept {
    return lorvex::hashCombine(lorvex::hashCombine(0, alias.conceptID), alias.tag);
  }
};

template <>
struct std::hash<lorvex::TagConceptManualAssignment> {
  std::size_t operator()(const lorvex::TagConceptManualAssignment& assignment) const noexcept {
    return lorvex::hashCombine(lorvex::hashCombine(0, assignment.conceptID), assignment.imagePath);
  }
};
