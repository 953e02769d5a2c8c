// The models an image was generated with: one models row per distinct normalised source, its
// image count and its full-text row. Runs under the connection's lock; the count changes inside
// the per-image projection transaction, the model rows themselves are upserted before it.
//
// Failures: a failing statement throws SQLiteImageRepositoryV3Error from the statement layer.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "database/internal/sqlite_connection.h"
#include "model/generation_metadata.h"

namespace lorvex {

// The id of the model the usage names, its descriptor fields refreshed; nothing (and nothing
// written) when its source normalises to no descriptor. The image count is not touched.
std::optional<std::int64_t> upsertModel(SQLiteConnection& connection, const GenerationModelUsage& usage);

// Moves each model's image count by whether the image uses it now and used it before (a model used
// in two roles counts once) and rewrites the touched models' search rows: a model whose count is
// above 0 has exactly one, any other none.
void applyModelCountDeltas(SQLiteConnection& connection, const std::vector<std::int64_t>& previousModelIDs,
                           const std::vector<std::int64_t>& currentModelIDs);

// The model count differences of several images' projections, summed per model, so that a batch of
// projections writes each model's count and search row once.
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
