// lorvex-inspect FILE...: what the indexer would read from each PNG file, one JSON object per
// file and line — {"path", "error"} when reading fails, else {"path", "textChunks", "metadata",
// "promptTags"} with every GenerationMetadata field under its member name (absent optionals left
// out) and the prompt tags the indexer would store. A developer's tool for debugging metadata
// parsing and triaging fuzz findings. Exits 1 when any file could not be read.
#include <cstdio>
#include <exception>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "metadata/generation_metadata_parser.h"
#include "model/prompt_tags.h"
#include "platform/regular_file.h"

namespace {

using lorvex::GenerationMetadata;
using Json = nlohmann::ordered_json;

template <typename T>
void putOptional(Json& object, const char* key, const std::optional<T>& value) {
  if (value) object[key] = *value;
}

Json captionsJSON(const std::vector<lorvex::CharacterCaption>& captions) {
  Json array = Json::array();
  for (const auto& caption : captions) {
    Json centers = Json::array();
    for (const auto& center : caption.centers) centers.push_back(Json{{"x", center.x}, {"y", center.y}});
    array.push_back(Json{{"caption", caption.caption}, {"centers", std::move(centers)}});
  }
  return array;
}

Json metadataJSON(const GenerationMetadata& metadata) {
  Json object = Json::object();
  if (metadata.provider) object["provider"] = metadata.provider->code;
  if (metadata.format) object["format"] = metadata.format->code;
  putOptional(object, "title", metadata.title);
  putOptional(object, "prompt", metadata.prompt);
  putOptional(object, "negativePrompt", metadata.negativePrompt);
  putOptional(object, "software", metadata.software);
  putOptional(object, "source", metadata.source);
  putOptional(object, "modelHash", metadata.modelHash);
  putOptional(object, "generationTime", metadata.generationTime);
  putOptional(object, "seed", metadata.seed);
  putOptional(object, "width", metadata.width);
  putOptional(object, "height", metadata.height);
  putOptional(object, "steps", metadata.steps);
  putOptional(object, "scale", metadata.scale);
  putOptional(object, "sampler", metadata.sampler);
  putOptional(object, "noiseSchedule", metadata.noiseSchedule);
  putOptional(object, "requestType", metadata.requestType);
  putOptional(object, "version", metadata.version);
  putOptional(object, "signedHash", metadata.signedHash);
  putOptional(object, "baseCaption", metadata.baseCaption);
  putOptional(object, "negativeBaseCaption", metadata.negativeBaseCaption);
  object["characterCaptions"] = captionsJSON(metadata.characterCaptions);
  object["negativeCharacterCaptions"] = captionsJSON(metadata.negativeCharacterCaptions);
  putOptional(object, "rawCommentJSON", metadata.rawCommentJSON);
  putOptional(object, "parseWarning", metadata.parseWarning);

  Json segments = Json::array();
  for (const auto& segment : metadata.promptSegments) {
    segments.push_back(
        Json{{"role", segment.role}, {"isNegative", segment.isNegative}, {"content", segment.content}});
  }
  object["promptSegments"] = std::move(segments);

  Json parameters = Json::array();
  for (const auto& parameter : metadata.generationParameters) {
    Json entry{{"key", parameter.key}};
    putOptional(entry, "integerValue", parameter.integerValue);
    putOptional(entry, "realValue", parameter.realValue);
    putOptional(entry, "textValue", parameter.textValue);
    parameters.push_back(std::move(entry));
  }
  object["generationParameters"] = std::move(parameters);

  Json usages = Json::array();
  for (const auto& usage : metadata.modelUsages) {
    Json entry{{"rawSource", usage.rawSource}};
    putOptional(entry, "provider", usage.provider);
    entry["role"] = usage.role;
    putOptional(entry, "weight", usage.weight);
    putOptional(entry, "hash", usage.hash);
    usages.push_back(std::move(entry));
  }
  object["modelUsages"] = std::move(usages);

  Json payloads = Json::array();
  for (const auto& payload : metadata.rawPayloads) {
    Json entry{{"container", payload.container},
               {"key", payload.key},
               {"occurrenceIndex", payload.occurrenceIndex},
               {"text", payload.text},
               {"parseStatus", payload.parseStatus}};
    putOptional(entry, "parseWarning", payload.parseWarning);
    payloads.push_back(std::move(entry));
  }
  object["rawPayloads"] = std::move(payloads);

  Json chunks = Json::object();
  for (const auto& [keyword, text] : metadata.rawTextChunks) chunks[keyword] = text;
  object["rawTextChunks"] = std::move(chunks);
  return object;
}

Json inspect(const lorvex::GenerationMetadataParser& parser, const std::string& path, bool& failed) {
  Json line{{"path", path}};
  try {
    const lorvex::PNGTextMetadata text = parser.reader.readFile(path);
    Json entries = Json::array();
    for (const auto& entry : text.textChunkEntries) {
      Json object{
          {"keyword", entry.keyword}, {"value", entry.value}, {"occurrenceIndex", entry.occurrenceIndex}};
      putOptional(object, "chunkType", entry.chunkType);
      entries.push_back(std::move(object));
    }
    line["textChunks"] = std::move(entries);
    const GenerationMetadata metadata = parser.parse(text);
    line["metadata"] = metadataJSON(metadata);
    // The tags the indexer stores, in the record's prompt dialect.
    line["promptTags"] = lorvex::extractPromptTags(
        metadata.prompt.value_or(""),
        lorvex::GenerationMetadataProvider::usesStableDiffusionPromptSyntax(metadata.provider),
        lorvex::kMaximumStoredPromptTagBytes, lorvex::kMaximumStoredPromptTagCount);
  } catch (const std::exception& error) {
    // The reader's errors describe themselves by name ("invalidSignature", "invalidChunk"); file
    // errors by the action and the system's text.
    line["error"] = error.what();
    failed = true;
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
    return 2;
  }
  const lorvex::GenerationMetadataParser parser;
  bool failed = false;
  for (int i = 1; i < argc; ++i) {
    // Paths are bytes; texts read from files are valid UTF-8 already.
    std::cout << inspect(parser, argv[i], failed).dump(-1, ' ', false, Json::error_handler_t::replace)
              << '\n';
  }
  return failed ? 1 : 0;
}
