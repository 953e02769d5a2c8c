// Tag and model suggestions for the filter panels: tags and models whose text contains what the
// user typed, ranked by the image counts the projection keeps (never counted here).
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>

#include "database/internal/library_search.h"
#include "database/internal/suggestion_ranking.h"
#include "database/internal/tag_key_candidates.h"
#include "model/prompt_tags.h"
#include "model/text/collation.h"
#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace lorvex {

namespace {

// The tag statement reads this many rows per requested suggestion: the candidate filter and the
// merge of names differing only in case work on these rows only.
constexpr std::int64_t kTagRowsPerSuggestion = 8;

bool candidatesContain(const std::string& name, const std::string& search) {
  for (const std::string& candidate : tagKeyCandidates(name)) {
    if (text::localizedCaseInsensitiveContains(candidate, search)) return true;
  }
  return text::localizedCaseInsensitiveContains(text::lowercased(name), search);
}

}  // namespace

std::vector<TagSuggestion> LibrarySearch::tagSuggestions(const std::optional<std::string>& typed,
                                                         std::int64_t limit) {
  // Weight and emphasis syntax around a typed tag ("{blue eyes}") searches for the bare tag.
  std::optional<std::string> search;
  if (auto normalized = normalizeNovelAIPromptTag(typed.value_or(""))) search = text::lowercased(*normalized);
  const SQLiteV3Binding searchBinding = search ? SQLiteV3Binding(*search) : SQLiteV3Binding::null();
  const SQLiteV3Bindings bindings{
      searchBinding, searchBinding, searchBinding,
      std::clamp<std::int64_t>(limit, 0, INT64_MAX / kTagRowsPerSuggestion) * kTagRowsPerSuggestion};

  std::map<std::string, TagSuggestion> merged;
  reader_.performRead([&] {
    return reader_.query(
        "SELECT tag_terms.display_name, tag_term_stats.image_count\n"
        "FROM tag_terms\n"
        "JOIN tag_term_stats ON tag_term_stats.tag_term_id = tag_terms.id\n"
        "WHERE (? IS NULL OR instr(tag_terms.normalized_key, ?) > 0 OR instr(tag_terms.search_text, ?) > 0)\n"
        "AND tag_term_stats.image_count > 0\n"
        "ORDER BY tag_term_stats.image_count DESC,\n"
        "         tag_terms.display_name COLLATE NOCASE ASC,\n"
        "         tag_terms.display_name ASC\n"
        "LIMIT ?",
        bindings, [&](SQLiteRows& rows) {
          while (rows.next()) {
            std::string name = rows.text(0);
            if (name.empty()) continue;
            if (search && !search->empty() && !candidatesContain(name, *search)) continue;
            const std::int64_t count = rows.int64(1);
            std::string key = text::lowercased(name);
            auto& entry = merged[key];
            entry = TagSuggestion{std::move(name), std::max(count, entry.imageCount)};
          }
          return 0;
        });
  });
  std::vector<TagSuggestion> values;
  values.reserve(merged.size());
  for (auto& [key, suggestion] : merged) values.push_back(std::move(suggestion));
  return search::rankedTagSuggestions(std::move(values), limit);
}

std::vector<ModelSuggestion> LibrarySearch::modelSuggestions(const std::optional<std::string>& typed,
                                                             std::int64_t limit) {
  std::optional<std::string> search;
  if (typed) search = text::lowercased(text::trimmedWhitespace(*typed));
  const SQLiteV3Binding searchBinding =
      search && !search->empty() ? SQLiteV3Binding(*search) : SQLiteV3Binding::null();
  return reader_.performRead([&] {
    return reader_.query(
        "SELECT display_name, image_count\n"
        "FROM models\n"
        "WHERE (? IS NULL OR instr(normalized_key, ?) > 0 OR instr(lower(raw_source), ?) > 0)\n"
        "AND image_count > 0\n"
        "ORDER BY image_count DESC, display_name COLLATE NOCASE ASC, display_name ASC\n"
        "LIMIT ?",
        {searchBinding, searchBinding, searchBinding, std::max<std::int64_t>(limit, 0)},
        [](SQLiteRows& rows) {
          std::vector<ModelSuggestion> suggestions;
          while (rows.next()) {
            if (rows.isNull(0)) continue;
            std::string name = rows.text(0);
            if (name.empty()) continue;
            suggestions.push_back(ModelSuggestion{std::move(name), rows.int64(1)});
          }
          return suggestions;
        });
  });
}

}  // namespace lorvex
