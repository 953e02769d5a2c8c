#include "search/synthetic_library.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "database/support/repository_connection.h"

namespace lorvex::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFolders = 50;
constexpr int kModels = 20;
constexpr int kTags = 5000;

double milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

std::string tagName(int tag) {
  return tag == 0 ? "1girl" : "tag" + std::to_string(tag);
}

}  // namespace

void buildSyntheticLibrary(SQLiteImageRepositoryV3& repository, std::int64_t images) {
  auto& connection = lorvex::testing::connectionOf(repository);
  auto guard = connection.lock();
  std::mt19937_64 random(12345);
  std::uniform_real_distribution<double> unit(0, 1);
  // Zipf-like tail: tag k (1..kTags-1) with weight 1/k.
  std::vector<double> cumulative(kTags, 0);
  for (int k = 1; k < kTags; ++k) cumulative[k] = cumulative[k - 1] + 1.0 / k;
  const auto tailTag = [&] {
    const double x = unit(random) * cumulative.back();
    return static_cast<int>(std::lower_bound(cumulative.begin() + 1, cumulative.end(), x) -
                            cumulative.begin());
  };
  const auto begin = Clock::now();
  connection.performTransaction([&] {
    for (int t = 0; t < kTags; ++t) {
      connection.execute(
          "INSERT INTO tag_terms (id, normalized_key, display_name, search_text) VALUES (?, ?, ?, ?)",
          {t + 1, tagName(t), tagName(t), tagName(t) + " " + tagName(t)});
    }
    for (int m = 0; m < kModels; ++m) {
      const std::string source = "Model " + std::to_string(m);
      connection.execute(
          "INSERT INTO models (id, raw_source, display_name, normalized_key) VALUES (?, ?, ?, lower(?))",
          {m + 1, source, source, source});
    }
    connection.execute(
        "INSERT INTO metadata_providers (id, code, display_name) VALUES (1, 'novelai', 'NovelAI')");
    for (std::int64_t id = 1; id <= images; ++id) {
      const int folder = static_cast<int>(random() % kFolders);
      const std::string name =
          "img_" + std::to_string(random() % 1000000) + "_" + std::to_string(id) + ".png";
      const std::string path = "/library/folder" + std::to_string(folder) + "/" + name;
      const double mtime = 1.6e9 + static_cast<double>(random() % 100'000'000);
      const bool missing = unit(random) < 0.02;
      connection.execute(
          "INSERT INTO media_files (id, absolute_path, file_size, modification_time, projection_revision, "
          "basename_normalized, missing, first_seen_at, last_seen_at, indexed_at) VALUES (?, ?, 1000, ?, 1, "
          "?, ?, 0, "
          "0, 0)",
          {id, path, mtime, name, missing ? 1 : 0});
      const double a = unit(random);
      const int aspect = a < 0.6 ? 1 : a < 0.85 ? 2 : a < 0.95 ? 3 : 0;
      connection.execute(
          "INSERT INTO image_properties (media_file_id, width, height, aspect_class) VALUES (?, ?, ?, ?)",
          {id, aspect == 2 ? 1216 : 832, aspect == 1 ? 1216 : 832, aspect});
      const bool favorite = unit(random) < 0.03;
      const bool deleteCandidate = unit(random) < 0.01;
      if (favorite || deleteCandidate || unit(random) < 0.2) {
        connection.execute(
            "INSERT INTO review_states (media_file_id, favorite, delete_candidate, updated_at) VALUES (?, ?, "
            "?, 0)",
            {id, favorite ? 1 : 0, deleteCandidate ? 1 : 0});
      }
      const std::int64_t seed = static_cast<std::int64_t>(random() % 4'000'000'000ULL);
      const int model = std::min(kModels - 1, static_cast<int>(-std::log(unit(random) + 1e-12) * 3));
      connection.execute(
          "INSERT INTO generation_records (id, media_file_id, provider_id, is_primary, prompt, source, seed, "
          "created_at, updated_at) VALUES (?, ?, 1, 1, 'prompt', ?, ?, 0, 0)",
          {id, id, "Model " + std::to_string(model), seed});
      connection.execute(
          "INSERT INTO generation_parameters (generation_record_id, key, integer_value) VALUES (?, 'seed', "
          "?)",
          {id, seed});
      connection.execute("INSERT INTO model_usages (generation_record_id, model_id) VALUES (?, ?)",
                         {id, model + 1});
      std::vector<int> tags;
      if (unit(random) < 0.8) tags.push_back(0);
      const int extra = 3 + static_cast<int>(random() % 6);
      for (int i = 0; i < extra; ++i) tags.push_back(tailTag());
      std::sort(tags.begin(), tags.end());
      tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
      for (int tag : tags) {
        connection.execute(
            "INSERT INTO media_tag_index (media_file_id, tag_term_id, source_mask) VALUES (?, ?, 1)",
            {id, tag + 1});
      }
      if (id % 100000 == 0) std::fprintf(stderr, "  %lld images\n", static_cast<long long>(id));
    }
    connection.execute(
        "INSERT INTO tag_term_stats (tag_term_id, image_count, prompt_image_count, updated_at) "
        "SELECT tag_term_id, count(*), count(*), 0 FROM media_tag_index GROUP BY tag_term_id");
    connection.execute(
        "UPDATE models SET image_count = (SELECT count(*) FROM model_usages WHERE model_usages.model_id = "
        "models.id)");
  });
  connection.executeScript("PRAGMA optimize;");
  std::fprintf(stderr, "built %lld images in %.1f s\n", static_cast<long long>(images),
               milliseconds(Clock::now() - begin) / 1000);
}

}  // namespace lorvex::bench
