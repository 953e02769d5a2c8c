// The suggestion lists the filter panels offer while the user types: tags, characters, models,
// and the mixed list of raw tags and tag concepts with its identity.
//
// Thread safety: plain values and pure functions; a value may be copied to and read on any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "model/tag_concept.h"

namespace lorvex {

// Each suggestion is identified by its `value` (exact text).
struct TagSuggestion {
  std::string value;
  std::int64_t imageCount = 0;

  const std::string& id() const { return value; }
  friend bool operator==(const TagSuggestion&, const TagSuggestion&) = default;
};

struct ModelSuggestion {
  std::string value;  // a model source as shown
  std::int64_t imageCount = 0;

  const std::string& id() const { return value; }
  friend bool operator==(const ModelSuggestion&, const ModelSuggestion&) = default;
};

// The identity of an entry of the mixed list: a raw tag (lower-cased when it comes from a
// suggestion) or a concept id. A raw tag never equals a concept, whatever the payloads.
struct TagFilterSuggestionID {
  std::variant<std::string, std::int64_t> value;

  static TagFilterSuggestionID rawTag(std::string tag) { return {std::move(tag)}; }
  static TagFilterSuggestionID tagConcept(std::int64_t conceptID) { return {conceptID}; }

  bool isTagConcept() const { return value.index() == 1; }

  friend bool operator==(const TagFilterSuggestionID&, const TagFilterSuggestionID&) = default;
};

// One entry of the mixed list: a raw tag suggestion or a concept.
struct TagFilterSuggestion {
  std::variant<TagSuggestion, TagConcept> value;

  // rawTag of the suggestion's value lower-cased, so tags differing only in case share an
  // identity; tagConcept of the concept's id, so a rename keeps it.
  TagFilterSuggestionID id() const;
  // The tag's value or the concept's display name.
  const std::string& label() const;
  std::int64_t imageCount() const;
  bool isTagConcept() const { return value.index() == 1; }

  friend bool operator==(const TagFilterSuggestion&, const TagFilterSuggestion&) = default;
};

// The order of the tag addition list, as a key computed once per row: comparing two keys costs no
// text conversion, so a sort of many rows folds each label once instead of once per comparison.
// Larger image counts first; then labels by their caseless keys (text::caselessKey, byte order);
// of labels the same ignoring case a raw tag first; then two raw tags by their NFC lower-cased
// labels and two concepts by id. Comparison of keys is a strict weak order: raw tags whose
// lower-cased labels are equal are equivalent, and a stable sort keeps them as given.
struct TagFilterSuggestionOrderKey {
  std::int64_t imageCount = 0;
  std::string caselessLabel;
  bool isTagConcept = false;
  std::string lowercasedLabel;  // raw tags only
  std::int64_t conceptID = 0;   // concepts only

  explicit TagFilterSuggestionOrderKey(const TagFilterSuggestion& row);
  // True when a row of key `a` is listed before a row of key `b`.
  friend bool operator<(const TagFilterSuggestionOrderKey& a, const TagFilterSuggestionOrderKey& b);
};

// Stable-sorts `rows` into the list's order, each row's key built once.
void sortTagFilterSuggestions(std::vector<TagFilterSuggestion>& rows);

}  // namespace lorvex

template <>
struct std::hash<lorvex::TagFilterSuggestionID> {
  std::size_t operator()(const lorvex::TagFilterSuggestionID& id) const noexcept {
    const std::size_t caseHash = std::hash<std::size_t>{}(id.value.index());
    return std::visit([caseHash](const auto& payload) { return lorvex::hashCombine(caseHash, payload); },
                      id.value);
  }
};
