// NovelAI writes its generation settings into the "Comment" chunk as one JSON object. The object
// is decoded strictly into typed records: a value of the wrong type anywhere discards the whole
// comment, and the record then says why in parseWarning while keeping the image findable as a
// NovelAI image.
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "metadata/json_document.h"
#include "metadata/parse_warnings.h"
#include "metadata/provider_parsers.h"
#include "model/text/whitespace.h"

namespace lorvex {
namespace {

constexpr std::string_view kWarningPrefix = parseWarningText(ParseWarningKind::novelAICommentUndecodable);

struct CaptionCenterPayload {
  double x = 0;
  double y = 0;
};

struct CharacterCaptionPayload {
  std::optional<std::string> charCaption;
  std::vector<CaptionCenterPayload> centers;
};

struct V4CaptionPayload {
  std::optional<std::string> baseCaption;
  std::vector<CharacterCaptionPayload> charCaptions;
};

struct V4PromptPayload {
  std::optional<V4CaptionPayload> caption;
};

struct NovelAIComment {
  std::optional<std::string> prompt;
  std::optional<std::string> uc;
  std::optional<std::int64_t> seed;
  std::optional<std::int64_t> width;
  std::optional<std::int64_t> height;
  std::optional<std::int64_t> steps;
  std::optional<double> scale;
  std::optional<std::string> sampler;
  std::optional<std::string> noiseSchedule;
  std::optional<std::string> requestType;
  std::optional<std::int64_t> version;
  std::optional<std::string> signedHash;
  std::optional<V4PromptPayload> v4Prompt;
  std::optional<V4PromptPayload> v4NegativePrompt;
};

class DecodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

const char* typeName(const nlohmann::json& value) {
  switch (value.type()) {
    case nlohmann::json::value_t::null:
      return "null";
    case nlohmann::json::value_t::object:
      return "an object";
    case nlohmann::json::value_t::array:
      return "an array";
    case nlohmann::json::value_t::string:
      return "a string";
    case nlohmann::json::value_t::boolean:
      return "a boolean";
    case nlohmann::json::value_t::number_float:
      return "a fractional number";
    default:
      return "a number";
  }
}

// A position in the document, for error messages: `v4_prompt.caption.char_captions[1].centers`.
class CodingPath {
 public:
  CodingPath() = default;
  CodingPath child(std::string_view key) const {
    return CodingPath(path_.empty() ? std::string(key) : path_ + "." + std::string(key));
  }
  CodingPath element(std::size_t index) const {
    return CodingPath(path_ + "[" + std::to_string(index) + "]");
  }
  const std::string& text() const { return path_; }

 private:
  explicit CodingPath(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

[[noreturn]] void typeMismatch(const CodingPath& path, std::string_view expected,
                               const nlohmann::json& found) {
  throw DecodingError("Expected " + std::string(expected) + " at \"" + path.text() + "\" but found " +
                      typeName(found) + ".");
}

// A keyed container of one JSON object: absent keys and nulls read as absent values.
class KeyedDecoder {
 public:
  KeyedDecoder(const nlohmann::json& object, CodingPath path) : object_(object), path_(std::move(path)) {
    if (!object_.is_object()) typeMismatch(path_, "an object", object_);
  }

  const nlohmann::json* present(std::string_view key) const {
    const nlohmann::json* value = jsonMember(object_, key);
    return value == nullptr || value->is_null() ? nullptr : value;
  }
  CodingPath pathOf(std::string_view key) const { return path_.child(key); }

  std::optional<std::string> text(std::string_view key) const {
    const nlohmann::json* value = textValue(key);
    if (value == nullptr) return std::nullopt;
    return value->get<std::string>();
  }

  // The string value of `key`, nullptr when absent; throws when it is not a string.
  const nlohmann::json* textValue(std::string_view key) const {
    const nlohmann::json* value = present(key);
    if (value != nullptr && !value->is_string()) typeMismatch(pathOf(key), "a string", *value);
    return value;
  }

  std::optional<double> real(std::string_view key) const {
    const nlohmann::json* value = present(key);
    if (value == nullptr) return std::nullopt;
    return realValue(*value, pathOf(key));
  }

  double requiredReal(std::string_view key) const {
    const nlohmann::json* value = present(key);
    if (value == nullptr) {
      throw DecodingError("No value for the required key \"" + pathOf(key).text() + "\".");
    }
    return realValue(*value, pathOf(key));
  }

  std::optional<std::int64_t> integer(std::string_view key) const {
    const nlohmann::json* value = present(key);
    if (value == nullptr) return std::nullopt;
    const CodingPath path = pathOf(key);
    switch (value->type()) {
      case nlohmann::json::value_t::number_integer:
        return value->get<std::int64_t>();
      case nlohmann::json::value_t::number_unsigned:
        if (value->get<std::uint64_t>() >
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
          throw DecodingError("The number at \"" + path.text() + "\" does not fit a 64-bit integer.");
        }
        return static_cast<std::int64_t>(value->get<std::uint64_t>());
      case nlohmann::json::value_t::number_float: {
        // A whole value written with a fraction or exponent (28.0, 2.8e1) is that integer.
        const double number = value->get<double>();
        if (number != std::trunc(number) ||
            !(number >= -9223372036854775808.0 && number < 9223372036854775808.0)) {
          throw DecodingError("The number " + value->dump() + " at \"" + path.text() +
                              "\" is not a 64-bit integer.");
        }
        return static_cast<std::int64_t>(number);
      }
      default:
        typeMismatch(path, "an integer", *value);
    }
  }

 private:
  static double realValue(const nlohmann::json& value, const CodingPath& path) {
    if (!value.is_number()) typeMismatch(path, "a number", value);
    return value.get<double>();
  }

  const nlohmann::json& object_;
  CodingPath path_;
};

// A list value: absent and null give the empty list.
template <typename Element, typename DecodeElement>
std::vector<Element> decodeList(const KeyedDecoder& container, std::string_view key,
                                DecodeElement decodeElement) {
  std::vector<Element> elements;
  const nlohmann::json* value = container.present(key);
  if (value == nullptr) return elements;
  const CodingPath path = container.pathOf(key);
  if (!value->is_array()) typeMismatch(path, "an array", *value);
  elements.reserve(value->size());
  for (std::size_t i = 0; i < value->size(); ++i)
    elements.push_back(decodeElement((*value)[i], path.element(i)));
  return elements;
}

CaptionCenterPayload decodeCenter(const nlohmann::json& json, const CodingPath& path) {
  const KeyedDecoder container(json, path);
  return CaptionCenterPayload{container.requiredReal("x"), container.requiredReal("y")};
}

CharacterCaptionPayload decodeCharacterCaption(const nlohmann::json& json, const CodingPath& path) {
  const KeyedDecoder container(json, path);
  CharacterCaptionPayload payload;
  payload.charCaption = container.text("char_caption");
  payload.centers = decodeList<CaptionCenterPayload>(container, "centers", decodeCenter);
  return payload;
}

V4CaptionPayload decodeCaption(const nlohmann::json& json, const CodingPath& path) {
  const KeyedDecoder container(json, path);
  V4CaptionPayload payload;
  payload.baseCaption = container.text("base_caption");
  payload.charCaptions =
      decodeList<CharacterCaptionPayload>(container, "char_captions", decodeCharacterCaption);
  return payload;
}

std::optional<V4PromptPayload> decodeV4Prompt(const KeyedDecoder& parent, std::string_view key) {
  const nlohmann::json* value = parent.present(key);
  if (value == nullptr) return std::nullopt;
  const KeyedDecoder container(*value, parent.pathOf(key));
  V4PromptPayload payload;
  if (const nlohmann::json* caption = container.present("caption")) {
    payload.caption = decodeCaption(*caption, container.pathOf("caption"));
  }
  return payload;
}

// The text of `key` moved out of the document, which the caller owns and reads no more: the
// prompts can be tens of megabytes. `container`, the decoder of `document`, checks the value.
std::optional<std::string> takeText(nlohmann::json& document, const KeyedDecoder& container,
                                    std::string_view key) {
  if (container.textValue(key) == nullptr) return std::nullopt;
  return std::move(document.find(key)->get_ref<std::string&>());
}

NovelAIComment decodeComment(nlohmann::json& document) {
  if (!document.is_object()) {
    throw DecodingError(std::string("Expected a JSON object at the top level but found ") +
                        typeName(document) + ".");
  }
  const KeyedDecoder container(document, CodingPath());
  NovelAIComment comment;
  comment.prompt = takeText(document, container, "prompt");
  comment.uc = takeText(document, container, "uc");
  comment.seed = container.integer("seed");
  comment.width = container.integer("width");
  comment.height = container.integer("height");
  comment.steps = container.integer("steps");
  comment.scale = container.real("scale");
  comment.sampler = container.text("sampler");
  comment.noiseSchedule = container.text("noise_schedule");
  comment.requestType = container.text("request_type");
  comment.version = container.integer("version");
  comment.signedHash = container.text("signed_hash");
  comment.v4Prompt = decodeV4Prompt(container, "v4_prompt");
  comment.v4NegativePrompt = decodeV4Prompt(container, "v4_negative_prompt");
  return comment;
}

const V4CaptionPayload* captionOf(const std::optional<V4PromptPayload>& prompt) {
  return prompt && prompt->caption ? &*prompt->caption : nullptr;
}

std::vector<CharacterCaption> characterCaptions(const std::optional<V4PromptPayload>& prompt) {
  std::vector<CharacterCaption> captions;
  const V4CaptionPayload* caption = captionOf(prompt);
  if (caption == nullptr) return captions;
  for (const CharacterCaptionPayload& payload : caption->charCaptions) {
    if (!payload.charCaption) continue;
    CharacterCaption converted{*payload.charCaption, {}};
    for (const CaptionCenterPayload& center : payload.centers)
      converted.centers.push_back({center.x, center.y});
    captions.push_back(std::move(converted));
  }
  return captions;
}

// NovelAI names its model in the source text; it is kept exactly as written.
std::vector<GenerationModelUsage> sourceUsages(const PNGTextMetadata& metadata) {
  if (!metadata.source || !text::trimmedNonEmpty(*metadata.source)) return {};
  return {GenerationModelUsage{*metadata.source, "NovelAI", "primary", std::nullopt, std::nullopt}};
}

GenerationMetadata baseRecord(const PNGTextMetadata& metadata,
                              const std::vector<RawMetadataPayload>& rawPayloads) {
  GenerationMetadata record;
  record.provider = GenerationMetadataProvider{"novelai", "NovelAI"};
  record.format = GenerationMetadataFormat{"novelai_png_text", "NovelAI PNG text chunks"};
  record.title = metadata.title;
  record.software = metadata.software;
  record.source = metadata.source;
  record.generationTime = metadata.generationTime;
  record.rawCommentJSON = metadata.commentJSON;
  record.modelUsages = sourceUsages(metadata);
  record.rawPayloads = rawPayloads;
  record.rawTextChunks = metadata.textChunks;
  return record;
}

}  // namespace

std::optional<GenerationMetadata> NovelAIGenerationMetadataProviderParser::parse(
    const PNGTextMetadata& metadata, const std::vector<RawMetadataPayload>& rawPayloads) const {
  const bool recognised =
      metadata.software == "NovelAI" || (metadata.source && metadata.source->starts_with("NovelAI"));
  if (!recognised) return std::nullopt;
  if (!metadata.commentJSON) return UnknownGenerationMetadataProviderParser{}.parse(metadata, rawPayloads);

  std::string error;
  std::optional<NovelAIComment> comment;
  const JSONDecoder fallbackDecoder;
  if (std::optional<nlohmann::json> document =
          (decoder ? *decoder : fallbackDecoder).parse(*metadata.commentJSON, &error)) {
    try {
      comment = decodeComment(*document);
    } catch (const DecodingError& decodingError) {
      error = decodingError.what();
    }
  }
  // The record's copies of the chunks are made once the parsed document is gone: a comment can
  // be tens of megabytes, and the document holds its prompt once more.
  GenerationMetadata record = baseRecord(metadata, rawPayloads);
  if (!comment) {
    record.prompt = metadata.description;
    record.parseWarning = std::string(kWarningPrefix) + error;
    record.promptSegments = GenerationMetadata::makePromptSegments(metadata.description, std::nullopt,
                                                                   std::nullopt, std::nullopt);
    return record;
  }

  // Moved, not copied: a prompt can be tens of megabytes.
  record.prompt = comment->prompt ? std::move(comment->prompt) : metadata.description;
  record.negativePrompt = std::move(comment->uc);
  record.seed = comment->seed;
  record.width = comment->width;
  record.height = comment->height;
  record.steps = comment->steps;
  record.scale = comment->scale;
  record.sampler = comment->sampler;
  record.noiseSchedule = comment->noiseSchedule;
  record.requestType = comment->requestType;
  record.version = comment->version;
  record.signedHash = comment->signedHash;
  if (const V4CaptionPayload* caption = captionOf(comment->v4Prompt))
    record.baseCaption = caption->baseCaption;
  if (const V4CaptionPayload* caption = captionOf(comment->v4NegativePrompt)) {
    record.negativeBaseCaption = caption->baseCaption;
  }
  record.characterCaptions = characterCaptions(comment->v4Prompt);
  record.negativeCharacterCaptions = characterCaptions(comment->v4NegativePrompt);
  record.promptSegments = GenerationMetadata::makePromptSegments(
      record.prompt, record.negativePrompt, record.baseCaption, record.negativeBaseCaption);
  record.generationParameters = GenerationMetadata::makeGenerationParameters(
      {record.seed, record.steps, record.scale, record.sampler, record.noiseSchedule, record.requestType,
       record.version});
  return record;
}

}  // namespace lorvex
