// The models an image was generated with: one models row per distinct normalised source, its
// image count and its full-text row. Runs under the connection's lock; the count changes inside
// the per-image projection transaction, the model rows themselves are upserted before it.
//
// Failures: a failing statement throws SQLiteImageRepositoryV3Error from the statement layer.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "database/internal/sqlite_connection.h"
#include "model/generation_metadata.h"
#include "model/generation_model_normalizer.h"

namespace lorvex {

// The models one transaction has written, by normalised source: the fields written (provider and
// source hash as bound) and the id. A usage that would write the same fields again needs no
// statement.
struct ModelCache {
  std::unordered_map<std::string, std::pair<GenerationModelDescriptor, std::int64_t>> models;
};

// The id of the model the usage names, its descriptor fields refreshed; nothing (and nothing
// written) when its source normalises to no descriptor. The image count is not touched. With a
// cache (kept by the caller for one transaction), a model it holds with the same fields is not
// written again.
std::optional<std::int64_t> upsertModel(SQLiteConnection& connection, const GenerationModelUsage& usage,
                                        ModelCache* cache = nullptr);

// The model count differences of several images' projections, summed per model, so that a batch of
// projections writes each model's count and search row once. An image moves each model's image
// count by whether it uses the model now and used it before (a model used in two roles counts
// once); applying rewrites the touched models' search rows: a model whose count is above 0 has
// exactly one, any other none.
class ModelCountDeltas {
 public:
  void add(const std::vector<std::int64_t>& previousModelIDs,
           const std::vector<std::int64_t>& currentModelIDs);
  void merge(const ModelCountDeltas& other);
  void apply(SQLiteConnection& connection) const;

 private:
  std::map<std::int64_t, std::int64_t> models_;
};

}  // namespace lorvex
