#include "metadata/json_document.h"

#include <exception>

#include "model/text/unicode.h"

namespace lorvex {
namespace {

bool isIdentifierByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Walks the text once outside string literals: measures the nesting depth and replaces the bare
// literals NaN, Infinity and -Infinity by null. Copies the text only when something needed
// replacing. For valid JSON the walk sees exactly what the parser sees, so the depth it measures
// is the document's depth.
struct PreparedText {
  bool mended = false;
  std::string text;  // the mended text, when `mended`
  bool tooDeep = false;
};

PreparedText prepare(std::string_view text, std::size_t maximumDepth) {
  PreparedText prepared;
  std::size_t depth = 0;
  std::size_t copied = 0;  // text before this offset is already in prepared.text
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    switch (c) {
      case '"':
        inString = true;
        break;
      case '[':
      case '{':
        if (++depth > maximumDepth) {
          prepared.tooDeep = true;
          return prepared;
        }
        break;
      case ']':
      case '}':
        if (depth > 0) --depth;
        break;
      case 'N':
      case 'I':
      case '-': {
        if (i > 0 && isIdentifierByte(text[i - 1])) break;
        std::string_view rest = text.substr(i);
        std::size_t length = 0;
        if (rest.starts_with("NaN")) {
          length = 3;
        } else if (rest.starts_with("Infinity")) {
          length = 8;
        } else if (rest.starts_with("-Infinity")) {
          length = 9;
        }
        if (length == 0 || (rest.size() > length && isIdentifierByte(rest[length]))) break;
        prepared.mended = true;
        prepared.text.append(text.substr(copied, i - copied)).append("null");
        copied = i + length;
        i += length - 1;
        break;
      }
      default:
        break;
    }
  }
  if (prepared.mended) prepared.text.append(text.substr(copied));
  return prepared;
}

}  // namespace

std::optional<nlohmann::json> JSONDecoder::parse(std::string_view text, std::string* errorDescription) const {
  PreparedText prepared = prepare(text, kMaximumDepth);
  if (prepared.tooDeep) {
    if (errorDescription != nullptr) {
      *errorDescription = "The JSON text nests deeper than " + std::to_string(kMaximumDepth) + " levels.";
    }
    return std::nullopt;
  }
  const std::string_view input = prepared.mended ? std::string_view(prepared.text) : text;
  try {
    return nlohmann::json::parse(input.begin(), input.end());
  } catch (const nlohmann::json::exception& error) {
    // nlohmann quotes the bytes it last read, which may end inside a multi-byte character; the
    // description lands in stored records, so it must stay valid UTF-8.
    if (errorDescription != nullptr) *errorDescription = text::repairedUTF8(error.what());
    return std::nullopt;
  }
}

std::optional<nlohmann::json> parseJSONDocument(std::string_view text, std::string* errorDescription) {
  return JSONDecoder{}.parse(text, errorDescription);
}

const nlohmann::json* jsonMember(const nlohmann::json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

}  // namespace lorvex
