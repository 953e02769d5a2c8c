#include "metadata/a1111_parameters_parser.h"

#include <nlohmann/json.hpp>

#include "metadata/generation_metadata_parser.h"
#include "metadata/json_document.h"
#include "metadata/provider_parsers.h"
#include "model/text/graphemes.h"
#include "model/text/numbers.h"
#include "model/text/whitespace.h"

namespace lorvex {
namespace a1111 {

namespace {

constexpr std::string_view kParameterLinePrefix = "Steps: ";
constexpr std::string_view kNegativePromptPrefix = "Negative prompt:";

const std::string* parameter(const ParameterMap& parameters, std::string_view key) {
  auto found = parameters.find(key);
  return found == parameters.end() ? nullptr : &found->second;
}

std::optional<std::int64_t> integerParameter(const ParameterMap& parameters, std::string_view key) {
  const std::string* value = parameter(parameters, key);
  return value != nullptr ? text::parseInt64(*value) : std::nullopt;
}

std::optional<double> realParameter(const ParameterMap& parameters, std::string_view key) {
  const std::string* value = parameter(parameters, key);
  return value != nullptr ? text::parseReal(*value) : std::nullopt;
}

std::optional<std::string> textParameter(const ParameterMap& parameters, std::string_view key) {
  const std::string* value = parameter(parameters, key);
  return value != nullptr ? std::optional<std::string>(*value) : std::nullopt;
}

// The `length` bytes at `position` form whole characters: a combining mark after a comma, say,
// makes one character that is not a comma.
bool isWholeCharacters(std::string_view text, std::size_t position, std::size_t length) {
  return text::isGraphemeBoundary(text, position) && text::isGraphemeBoundary(text, position + length);
}

bool beginsWith(std::string_view line, std::string_view prefix) {
  return line.starts_with(prefix) && text::isGraphemeBoundary(line, prefix.size());
}

// The first `c` at or after `from` that is a character of its own.
std::size_t findCharacter(std::string_view text, char c, std::size_t from) {
  std::size_t found = text.find(c, from);
  while (found != std::string_view::npos && !isWholeCharacters(text, found, 1))
    found = text.find(c, found + 1);
  return found;
}

std::string_view trimmedSpacesAndTabs(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Lines joined with a line feed as they come, so a text of millions of empty lines holds no more
// than its own size.
class JoinedLines {
 public:
  void append(std::string_view line) {
    if (hasLines_) text_ += '\n';
    text_ += line;
    hasLines_ = true;
  }
  // The lines trimmed of whitespace, nothing when that leaves nothing. Trimmed in place: the
  // prompt may be tens of megabytes.
  std::optional<std::string> takeTrimmed() && {
    const std::string_view kept = text::trimmedWhitespace(text_);
    if (kept.empty()) return std::nullopt;
    const std::size_t start = static_cast<std::size_t>(kept.data() - text_.data());
    text_.resize(start + kept.size());
    text_.erase(0, start);
    return std::move(text_);
  }

 private:
  std::string text_;
  bool hasLines_ = false;
};

bool isReadKey(std::string_view key) {
  for (std::string_view read : {"Seed", "Steps", "CFG scale", "Sampler", "Size", "Model", "Model hash"}) {
    if (key == read) return true;
  }
  return false;
}

char asciiLowercased(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isWeightCharacter(char c) {
  return (c >= '0' && c <= '9') || c == '.';
}

struct LoraTag {
  std::string_view name;
  std::optional<std::string_view> weight;
  std::size_t end = 0;  // just past the closing '>'
};

// The tag <lora:NAME> or <lora:NAME:WEIGHT> ("lora" in any ASCII case; NAME without ':' or '>',
// WEIGHT of digits and dots) starting at the '<' at `start`.
std::optional<LoraTag> loraTagAt(std::string_view text, std::size_t start) {
  constexpr std::string_view kOpening = "<lora:";
  if (text.size() - start < kOpening.size()) return std::nullopt;
  for (std::size_t i = 0; i < kOpening.size(); ++i) {
    if (asciiLowercased(text[start + i]) != kOpening[i]) return std::nullopt;
  }
  const std::size_t nameStart = start + kOpening.size();
  const std::size_t nameEnd = std::min(text.find_first_of(":>", nameStart), text.size());
  if (nameEnd == nameStart || nameEnd == text.size()) return std::nullopt;
  LoraTag tag{text.substr(nameStart, nameEnd - nameStart), std::nullopt, 0};
  if (text[nameEnd] == '>') {
    tag.end = nameEnd + 1;
    return tag;
  }
  std::size_t weightEnd = nameEnd + 1;
  while (weightEnd < text.size() && isWeightCharacter(text[weightEnd])) ++weightEnd;
  if (weightEnd == nameEnd + 1 || weightEnd == text.size() || text[weightEnd] != '>') return std::nullopt;
  tag.weight = text.substr(nameEnd + 1, weightEnd - nameEnd - 1);
  tag.end = weightEnd + 1;
  return tag;
}

}  // namespace

bool isJSONContainer(std::string_view text) {
  const std::string_view trimmed = text::trimmedWhitespace(text);
  // Only an object or an array can qualify; prompts rarely begin with a bracket, so most texts
  // never reach the JSON parser.
  if (trimmed.empty() || (trimmed.front() != '{' && trimmed.front() != '[')) return false;
  std::optional<nlohmann::json> document = parseJSONDocument(trimmed);
  return document && (document->is_object() || document->is_array());
}

ParameterText splitParameterText(std::string_view text, bool onlyReadKeys) {
  JoinedLines positiveLines;
  JoinedLines negativeLines;
  std::string_view parameterLine;
  bool inNegativePrompt = false;
  std::size_t lineStart = 0;
  while (true) {
    const std::size_t lineEnd = text.find('\n', lineStart);
    std::string_view line =
        text.substr(lineStart, lineEnd == std::string_view::npos ? lineEnd : lineEnd - lineStart);
    if (line.ends_with('\r')) line.remove_suffix(1);

    if (beginsWith(line, kParameterLinePrefix)) {
      parameterLine = line;
      inNegativePrompt = false;
    } else if (beginsWith(line, kNegativePromptPrefix)) {
      negativeLines.append(trimmedSpacesAndTabs(line.substr(kNegativePromptPrefix.size())));
      inNegativePrompt = true;
    } else if (inNegativePrompt) {
      negativeLines.append(line);
    } else {
      positiveLines.append(line);
    }

    if (lineEnd == std::string_view::npos) break;
    lineStart = lineEnd + 1;
  }
  return {std::move(positiveLines).takeTrimmed(), std::move(negativeLines).takeTrimmed(),
          parseParameterLine(parameterLine, onlyReadKeys)};
}

ParameterMap parseParameterLine(std::string_view line, bool onlyReadKeys) {
  ParameterMap parameters;
  std::size_t pieceStart = 0;
  while (pieceStart <= line.size()) {
    const std::size_t pieceEnd = std::min(findCharacter(line, ',', pieceStart), line.size());
    const std::string_view piece = line.substr(pieceStart, pieceEnd - pieceStart);
    pieceStart = pieceEnd + 1;

    const std::size_t colon = findCharacter(piece, ':', 1);
    if (piece.empty() || colon == std::string_view::npos || colon + 1 == piece.size()) continue;
    const std::string_view key = text::trimmedWhitespace(piece.substr(0, colon));
    if (key.empty() || (onlyReadKeys && !isReadKey(key))) continue;
    std::string_view value = text::trimmedWhitespace(piece.substr(colon + 1));
    const auto first = value.find_first_not_of('"');
    value = first == std::string_view::npos ? std::string_view()
                                            : value.substr(first, value.find_last_not_of('"') - first + 1);
    parameters.insert_or_assign(std::string(key), std::string(value));
  }
  return parameters;
}

std::optional<ImageSize> parseSize(std::string_view text) {
  std::string folded;
  for (char c : text) {
    if (c != ' ') folded += asciiLowercased(c);
  }
  std::vector<std::string_view> pieces;
  std::string_view rest = folded;
  while (!rest.empty()) {
    const std::size_t cut = std::min(rest.find('x'), rest.size());
    if (cut > 0) pieces.push_back(rest.substr(0, cut));
    rest.remove_prefix(std::min(cut + 1, rest.size()));
  }
  if (pieces.size() != 2) return std::nullopt;
  auto width = text::parseInt64(pieces[0]);
  auto height = text::parseInt64(pieces[1]);
  // A side no image can have is as unreadable as one that is not a number: the record's size
  // feeds the aspect filters and the inspector, which count in 32-bit pixels.
  const auto isPixelCount = [](std::int64_t side) { return side >= 1 && side <= kMaximumImageSide; };
  if (!width || !height || !isPixelCount(*width) || !isPixelCount(*height)) return std::nullopt;
  return ImageSize{*width, *height};
}

std::vector<GenerationModelUsage> loraUsages(std::string_view prompt) {
  std::vector<GenerationModelUsage> usages;
  std::size_t position = prompt.find('<');
  while (position != std::string_view::npos) {
    auto tag = loraTagAt(prompt, position);
    if (tag) {
      GenerationModelUsage& usage = usages.emplace_back();
      usage.rawSource = tag->name;
      usage.provider = kProviderDisplayName;
      usage.role = "lora";
      if (tag->weight) usage.weight = text::parseReal(*tag->weight);
    }
    position = prompt.find('<', tag ? tag->end : position + 1);
  }
  return usages;
}

std::vector<GenerationParameter> makeGenerationParameters(const ParameterMap& parameters) {
  std::vector<GenerationParameter> result;
  auto add = [&](const char* key) -> GenerationParameter& {
    return result.emplace_back(GenerationParameter{key, {}, {}, {}});
  };
  if (auto seed = integerParameter(parameters, "Seed")) add("seed").integerValue = seed;
  if (auto steps = integerParameter(parameters, "Steps")) add("steps").integerValue = steps;
  if (auto scale = realParameter(parameters, "CFG scale")) add("scale").realValue = scale;
  if (auto sampler = textParameter(parameters, "Sampler")) add("sampler").textValue = sampler;
  if (auto model = textParameter(parameters, "Model")) add("model").textValue = model;
  if (auto hash = textParameter(parameters, "Model hash")) add("model_hash").textValue = hash;
  return result;
}

}  // namespace a1111

std::optional<GenerationMetadata> A1111GenerationMetadataProviderParser::parse(
    const PNGTextMetadata& metadata, const std::vector<RawMetadataPayload>& rawPayloads) const {
  auto chunk = metadata.textChunks.find("parameters");
  if (chunk == metadata.textChunks.end()) return std::nullopt;
  if (text::trimmedWhitespace(chunk->second).empty() || a1111::isJSONContainer(chunk->second))
    return std::nullopt;
  a1111::ParameterText split = a1111::splitParameterText(chunk->second, /*onlyReadKeys=*/true);
  if (!split.prompt && split.parameters.empty()) return std::nullopt;
  const a1111::ParameterMap& parameters = split.parameters;

  GenerationMetadata record;
  record.provider = GenerationMetadataProvider{"automatic1111", std::string(a1111::kProviderDisplayName)};
  record.format = GenerationMetadataFormat{"a1111_png_parameters", "A1111 PNG parameters"};
  record.prompt = std::move(split.prompt);
  record.negativePrompt = std::move(split.negativePrompt);
  record.software = metadata.software;
  record.source = a1111::textParameter(parameters, "Model");
  record.modelHash = a1111::textParameter(parameters, "Model hash");
  record.seed = a1111::integerParameter(parameters, "Seed");
  if (const std::string* size = a1111::parameter(parameters, "Size")) {
    if (auto parsed = a1111::parseSize(*size)) {
      record.width = parsed->width;
      record.height = parsed->height;
    }
  }
  record.steps = a1111::integerParameter(parameters, "Steps");
  record.scale = a1111::realParameter(parameters, "CFG scale");
  record.sampler = a1111::textParameter(parameters, "Sampler");
  record.rawCommentJSON = metadata.commentJSON;
  record.promptSegments =
      GenerationMetadata::makePromptSegments(record.prompt, record.negativePrompt, {}, {});
  record.generationParameters = a1111::makeGenerationParameters(parameters);
  record.modelUsages = GenerationMetadataParser::primaryModelUsages(std::string(a1111::kProviderDisplayName),
                                                                    record.source, record.modelHash);
  for (auto& usage : a1111::loraUsages(record.prompt.value_or("")))
    record.modelUsages.push_back(std::move(usage));
  record.rawPayloads = rawPayloads;
  record.rawTextChunks = metadata.textChunks;
  return record;
}

}  // namespace lorvex
