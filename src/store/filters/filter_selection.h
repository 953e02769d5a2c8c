// FilterSelection: the filters that narrow the results, as one value. The filters model holds it as
// one observed field, so clearing the filters, asking whether any is on and telling the views of a
// change cover every filter without naming them; what must treat each filter on its own (the
// search query, the active-filter chips) takes the value apart with a structured binding, which
// stops building when a filter is added here until it is handled there.
//
// Each field's default is "no filter": the empty value is the one a reset leaves. The saved filter
// tags, the sort and the character search history shape the results too, but they are no filter a
// reset clears, so they stay outside.
//
// Thread safety: a plain value.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/image_aspect.h"
#include "model/tag_concept.h"

namespace lorvex {

struct FilterSelection {
  std::vector<std::string> selectedFilterTags = {};           // in the order they were switched on
  std::vector<TagConcept> selectedTagConcepts = {};           // in ascending id order
  std::vector<ImageAspectFilter> selectedAspectFilters = {};  // portrait, landscape, square
  std::optional<std::string> selectedModelSource = std::nullopt;
  bool onlyFavorites = false;
  bool onlyDeleteCandidates = false;

  // No filter on: every field at its default.
  bool isEmpty() const { return *this == FilterSelection{}; }

  friend bool operator==(const FilterSelection&, const FilterSelection&) = default;
};

}  // namespace lorvex
