// A small library for search tests, written through the real projection, with a plain C++ model
// of what each image holds so that tests can compute the expected page of any query by brute force.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "database/sqlite_image_repository.h"
#include "database/support/repository_connection.h"
#include "model/image_record.h"
#include "model/image_search_query_v3.h"

namespace lorvex::testing {

// What one image of the library is, as the search sees it.
struct LibraryImage {
  std::int64_t id = 0;
  std::string path{};
  double modificationTime = 0;
  std::string basename{};  // lower-cased last path component
  bool missing = false;
  bool favorite = false;
  bool deleteCandidate = false;
  ImageAspectClass aspect = ImageAspectClass::unknown;
  std::optional<std::string> model{};
  std::optional<std::int64_t> seed{};
  std::vector<std::string> promptTags{};     // keys
  std::vector<std::string> characterTags{};  // keys of positive character caption tags
  std::vector<std::int64_t> concepts{};
};

inline ImageRecord recordFor(const LibraryImage& image) {
  ImageRecord record;
  record.file = {image.path, 1000, image.modificationTime};
  GenerationMetadata& metadata = record.metadata;
  metadata.provider = GenerationMetadataProvider{"novelai", "NovelAI"};
  metadata.prompt = "";
  for (const auto& tag : image.promptTags) *metadata.prompt += tag + ", ";
  metadata.seed = image.seed;
  if (image.seed) {
    metadata.generationParameters.push_back(
        GenerationParameter{"seed", image.seed, std::nullopt, std::nullopt});
  }
  switch (image.aspect) {
    case ImageAspectClass::portrait:
      metadata.width = 832, metadata.height = 1216;
      break;
    case ImageAspectClass::landscape:
      metadata.width = 1216, metadata.height = 832;
      break;
    case ImageAspectClass::square:
      metadata.width = 1024, metadata.height = 1024;
      break;
    case ImageAspectClass::unknown:
      break;
  }
  if (image.model) {
    metadata.source = image.model;
    metadata.modelUsages.push_back(
        GenerationModelUsage{*image.model, std::nullopt, "primary", std::nullopt, std::nullopt});
  }
  metadata.promptSegments =
      GenerationMetadata::makePromptSegments(metadata.prompt, std::nullopt, std::nullopt, std::nullopt);
  for (const auto& tag : image.characterTags) metadata.characterCaptions.push_back({tag, {{0.5, 0.5}}});
  record.promptTags = image.promptTags;
  record.reviewState = {image.favorite, image.deleteCandidate, std::nullopt};
  record.isMissing = image.missing;
  return record;
}

// Projects the image and fills in its id.
inline void addImage(SQLiteImageRepositoryV3& repository, LibraryImage& image) {
  repository.upsertRecord(recordFor(image), std::nullopt);
  image.id = repository.mediaFileID(image.path);
}

// Creates a concept (with no aliases) and assigns the images to it by hand through the derived
// index, as the concept store's rebuild leaves it.
inline std::int64_t addConcept(SQLiteImageRepositoryV3& repository, const std::string& name,
                               std::vector<LibraryImage*> members) {
  auto& connection = lorvex::testing::connectionOf(repository);
  auto guard = connection.lock();
  connection.execute(
      "INSERT INTO tag_concepts (display_name, normalized_key, search_text, created_at, updated_at) "
      "VALUES (?, ?, ?, 0, 0)",
      {name, name, name});
  const std::int64_t conceptID = connection.lastInsertRowID();
  for (LibraryImage* image : members) {
    connection.execute(
        "INSERT INTO concept_image_index (concept_id, media_file_id, source_mask) VALUES (?, ?, 0)",
        {conceptID, image->id});
    image->concepts.push_back(conceptID);
  }
  connection.execute("INSERT INTO tag_concept_stats (concept_id, image_count, updated_at) VALUES (?, ?, 0)",
                     {conceptID, static_cast<std::int64_t>(members.size())});
  return conceptID;
}

inline bool asciiLess(const std::string& a, const std::string& b) {
  const auto fold = [](std::string s) {
    for (char& c : s) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    return s;
  };
  return fold(a) < fold(b);
}

// The page order of a sort, ties broken by id in the sort's direction.
inline void sortImages(std::vector<const LibraryImage*>& images, ImageSearchSortV3 sort) {
  std::stable_sort(images.begin(), images.end(), [sort](const LibraryImage* a, const LibraryImage* b) {
    switch (sort) {
      case ImageSearchSortV3::modificationDateDescending:
        return a->modificationTime != b->modificationTime ? a->modificationTime > b->modificationTime
                                                          : a->id > b->id;
      case ImageSearchSortV3::modificationDateAscending:
        return a->modificationTime != b->modificationTime ? a->modificationTime < b->modificationTime
                                                          : a->id < b->id;
      case ImageSearchSortV3::fileNameAscending:
        if (asciiLess(a->basename, b->basename)) return true;
        if (asciiLess(b->basename, a->basename)) return false;
        return a->id < b->id;
      case ImageSearchSortV3::fileNameDescending:
        if (asciiLess(a->basename, b->basename)) return false;
        if (asciiLess(b->basename, a->basename)) return true;
        return a->id > b->id;
    }
    return false;
  });
}

}  // namespace lorvex::testing
