// End-to-end cost of the per-image projection on a synthetic library of 50,000 NovelAI-like
// images (about 30 prompt tags each from a vocabulary of 4,000, character captions, one or two
// models, seven parameters, a per-image Comment JSON and, on a fifth of the images, a large shared
// workflow text).
//
// Three passes over the same records, each reported in images per second:
//   1. the first projection into an empty library;
//   2. re-projecting every image unchanged (what a re-index after a projection revision costs);
//   3. the same again after creating a concept aliased to a tag that most images carry, so that
//      every projection also maintains that concept.
// Target: each re-projection pass takes at most 1.5 times the first (judged on processor time,
// which other work on a shared machine disturbs less than wall-clock time). For scale, the time of one
// full rebuild of the big concept is printed too: that is what every image would pay if the
// projection rebuilt whole concepts.
//
// Usage: bench_projection [image count]
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "database/internal/concept_index.h"
#include "database/internal/prompt_tag_index.h"
#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"

namespace {

using lorvex::ImageRecord;
using lorvex::SQLiteImageRepositoryV3;
using Clock = std::chrono::steady_clock;

constexpr int kVocabulary = 4000;
// The tag that most images carry, and that the concept of pass 3 is aliased to.
constexpr const char* kCommonTag = "masterpiece";

std::string tagName(int index) {
  return "tag " + std::to_string(index) + (index % 7 == 0 ? " (style)" : "");
}

std::vector<ImageRecord> syntheticRecords(int count) {
  std::mt19937 random(2024);
  // Squaring a uniform draw favours low indexes: a few tags are common, most are rare.
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto tagIndex = [&] { return static_cast<int>(unit(random) * unit(random) * kVocabulary); };
  std::string workflow;
  while (workflow.size() < 24'000) {
    workflow += R"({"id": 12, "type": "KSampler", "inputs": {"seed": 1, "steps": 28, "cfg": 5.5}}, )";
  }
  const std::vector<std::string> models = {"NovelAI Diffusion V4.5 1229B44F", "NovelAI Diffusion V4 F3B5A2C1",
                                           "NovelAI Diffusion V3 7ABC12F0", "Anime Model XL"};

  std::vector<ImageRecord> records;
  records.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    ImageRecord record;
    record.file = {
        "/bench/library/folder-" + std::to_string(i % 200) + "/image-" + std::to_string(i) + ".png",
        1'500'000 + i, 1'700'000'000.0 + i * 0.5};
    auto& metadata = record.metadata;
    metadata.provider = lorvex::GenerationMetadataProvider{"novelai", "NovelAI"};
    metadata.format = lorvex::GenerationMetadataFormat{"novelai_png_text", "NovelAI PNG text"};
    if (unit(random) < 0.9) record.promptTags.push_back(kCommonTag);
    for (int t = 25 + static_cast<int>(random() % 15); t > 0; --t)
      record.promptTags.push_back(tagName(tagIndex()));
    std::string prompt;
    for (const auto& tag : record.promptTags) prompt += tag + ", ";
    metadata.prompt = prompt;
    metadata.negativePrompt = "lowres, bad anatomy, bad hands, text, error, missing fingers";
    metadata.width = 832;
    metadata.height = i % 3 == 0 ? 832 : 1216;
    metadata.seed = static_cast<std::int64_t>(random());
    lorvex::GenerationMetadata::ParameterDefaults parameters;
    parameters.seed = metadata.seed;
    parameters.steps = 28;
    parameters.scale = 5.5;
    parameters.sampler = "k_euler_ancestral";
    parameters.noiseSchedule = "karras";
    parameters.requestType = "PromptGenerateRequest";
    parameters.version = 1;
    metadata.generationParameters = lorvex::GenerationMetadata::makeGenerationParameters(parameters);
    metadata.promptSegments = lorvex::GenerationMetadata::makePromptSegments(
        metadata.prompt, metadata.negativePrompt, std::nullopt, std::nullopt);
    for (int c = static_cast<int>(random() % 3); c > 0; --c) {
      std::string caption = "girl, ";
      for (int t = 3; t > 0; --t) caption += "{" + tagName(tagIndex()) + "}, ";
      metadata.characterCaptions.push_back({caption, {{0.3, 0.5}}});
    }
    metadata.modelUsages.push_back({models[static_cast<std::size_t>(i) % models.size()], "NovelAI", "primary",
                                    std::nullopt, std::nullopt});
    if (i % 4 == 0) metadata.modelUsages.push_back({"detail-lora", std::nullopt, "lora", 0.8, std::nullopt});
    metadata.rawCommentJSON = R"({"prompt": ")" + prompt + R"(", "seed": )" + std::to_string(*metadata.seed) +
                              R"(, "steps": 28, "scale": 5.5, "sampler": "k_euler_ancestral"})";
    metadata.rawTextChunks = {{"Software", "NovelAI"}, {"Source", models[0]}, {"Description", prompt}};
    if (i % 5 == 0) metadata.rawTextChunks["workflow"] = workflow + std::to_string(i % 40);
    records.push_back(std::move(record));
  }
  return records;
}

// Wall-clock and processor seconds of one pass. The machine may be shared, so the processor time
// (user and system) is the steadier of the two.
struct PassTime {
  double wall = 0;
  double cpu = 0;
};

double processorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

PassTime projectAll(SQLiteImageRepositoryV3& repository, const std::vector<ImageRecord>& records,
                    std::int64_t jobID) {
  const auto start = Clock::now();
  const double cpuStart = processorSeconds();
  for (const auto& record : records) repository.upsertRecord(record, jobID);
  return {std::chrono::duration<double>(Clock::now() - start).count(), processorSeconds() - cpuStart};
}

void report(const char* pass, std::size_t images, PassTime time, const PassTime* first) {
  std::printf("%-34s wall %7.2f s %7.0f images/s   cpu %7.2f s %7.0f images/s", pass, time.wall,
              static_cast<double>(images) / time.wall, time.cpu, static_cast<double>(images) / time.cpu);
  if (first != nullptr)
    std::printf("   %.2fx / %.2fx the first", time.wall / first->wall, time.cpu / first->cpu);
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 50'000;
  if (count <= 0) {
    std::fprintf(stderr, "usage: bench_projection [image count]\n");
    return 2;
  }
  std::string pattern = (std::filesystem::path(getenv("BENCH_DIR") ? getenv("BENCH_DIR") : "/tmp") /
                         "lorvex-projection-bench-XXXXXX")
                            .string();
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const std::filesystem::path folder = pattern;
  int status = 0;
  {
    const auto records = syntheticRecords(count);
    SQLiteImageRepositoryV3 repository(folder / lorvex::kLibraryDatabaseFileName);
    const auto job = repository.startIndexingJob({"/bench/library"});
    std::printf("bench_projection: %d synthetic images\n", count);

    const PassTime first = projectAll(repository, records, job.id);
    report("first projection", records.size(), first, nullptr);
    const PassTime again = projectAll(repository, records, job.id);
    report("re-projection, unchanged", records.size(), again, &first);

    auto& connection = lorvex::testing::connectionOf(repository);
    const auto conceptStart = Clock::now();
    connection.performLockedTransaction([&] {
      connection.execute(
          "INSERT INTO tag_concepts (display_name, normalized_key, search_text, created_at, updated_at) "
          "VALUES ('Masterpiece', 'masterpiece', 'masterpiece masterpiece', 0, 0)");
      const std::int64_t conceptID = connection.lastInsertRowID();
      const std::int64_t termID = lorvex::upsertTagTerm(connection, kCommonTag, kCommonTag);
      connection.execute(
          "INSERT INTO tag_concept_aliases (concept_id, tag_term_id, is_active, created_at, updated_at) "
          "VALUES (?, ?, 1, 0, 0)",
          {conceptID, termID});
      lorvex::rebuildTagConceptIndex(connection, conceptID, 0);
    });
    const double rebuild = std::chrono::duration<double>(Clock::now() - conceptStart).count();
    const auto matched = connection.withLock([&] {
      return connection.query("SELECT image_count FROM tag_concept_stats", {},
                              [](lorvex::SQLiteRows& rows) { return rows.next() ? rows.int64(0) : 0; });
    });
    std::printf("concept on \"%s\": %lld images; one full rebuild %.1f ms\n", kCommonTag,
                static_cast<long long>(matched), rebuild * 1000);
    std::fflush(stdout);

    const PassTime withConcept = projectAll(repository, records, job.id);
    report("re-projection, with the concept", records.size(), withConcept, &first);
    if (again.cpu > 1.5 * first.cpu || withConcept.cpu > 1.5 * first.cpu) {
      std::printf(
          "FAIL: a re-projection pass took more than 1.5x the processor time of the first projection\n");
      status = 1;
    }
  }
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  return status;
}
