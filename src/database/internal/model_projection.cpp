#include "database/internal/model_projection.h"

#include <set>

#include "database/internal/prompt_tag_index.h"
#include "database/internal/row_mappers.h"
#include "model/generation_model_normalizer.h"

namespace lorvex {

std::optional<std::int64_t> upsertModel(SQLiteConnection& connection, const GenerationModelUsage& usage,
                                        ModelCache* cache) {
  auto descriptor = GenerationModelNormalizer::descriptor(usage.rawSource);
  if (!descriptor) return std::nullopt;
  // The fields as written.
  if (!descriptor->provider) descriptor->provider = usage.provider;
  if (!descriptor->sourceHash) descriptor->sourceHash = usage.hash;
  if (cache != nullptr) {
    const auto known = cache->models.find(descriptor->rawSource);
    if (known != cache->models.end() && known->second.first == *descriptor) return known->second.second;
  }
  connection.execute(
      "INSERT INTO models (provider, raw_source, display_name, normalized_key, family, version, source_hash) "
      "VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT(raw_source) DO UPDATE SET provider = excluded.provider, "
      "display_name = excluded.display_name, normalized_key = excluded.normalized_key, family = "
      "excluded.family, version = excluded.version, source_hash = excluded.source_hash "
      // An unchanged model is not rewritten: the upsert then commits nothing.
      "WHERE (provider, display_name, normalized_key, family, version, source_hash) IS NOT "
      "(excluded.provider, excluded.display_name, excluded.normalized_key, excluded.family, "
      "excluded.version, "
      "excluded.source_hash)",
      {descriptor->provider, descriptor->rawSource, descriptor->displayName, descriptor->normalizedKey,
       descriptor->family, descriptor->version, descriptor->sourceHash});
  const std::optional<std::int64_t> id = connection.query("SELECT id FROM models WHERE raw_source = ?",
                                                          {descriptor->rawSource}, rows::firstInt64);
  if (cache != nullptr && id)
    cache->models.insert_or_assign(descriptor->rawSource, std::pair(*descriptor, *id));
  return id;
}

void ModelCountDeltas::add(const std::vector<std::int64_t>& previousModelIDs,
                           const std::vector<std::int64_t>& currentModelIDs) {
  const std::set<std::int64_t> previous(previousModelIDs.begin(), previousModelIDs.end());
  const std::set<std::int64_t> current(currentModelIDs.begin(), currentModelIDs.end());
  for (const std::int64_t modelID : previous) models_[modelID] -= current.contains(modelID) ? 0 : 1;
  for (const std::int64_t modelID : current) models_[modelID] += previous.contains(modelID) ? 0 : 1;
}

void ModelCountDeltas::merge(const ModelCountDeltas& other) {
  for (const auto& [modelID, delta] : other.models_) models_[modelID] += delta;
}

void ModelCountDeltas::apply(SQLiteConnection& connection) const {
  for (const auto& [modelID, delta] : models_) {
    connection.execute("UPDATE models SET image_count = max(0, image_count + ?) WHERE id = ?",
                       {delta, modelID});
    refreshModelSearchRow(connection, modelID);
  }
}

}  // namespace lorvex
