#include "metadata/json_document.h"

#include <exception>

#include "model/text/unicode.h"
#include "platform/json_nesting.h"

namespace lorvex {
namespace {

bool isIdentifierByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Replaces the bare literals NaN, Infinity and -Infinity outside string literals by null.
// Copies the text only when something needed replacing: nothing when the result is empty.
std::string withNonFiniteLiteralsAsNull(std::string_view text) {
  std::string mended;
  std::size_t copied = 0;  // text before this offset is already in `mended`
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
    if (c == '"') {
      inString = true;
      continue;
    }
    if ((c != 'N' && c != 'I' && c != '-') || (i > 0 && isIdentifierByte(text[i - 1]))) continue;
    const std::string_view rest = text.substr(i);
    std::size_t length = 0;
    if (rest.starts_with("NaN")) {
      length = 3;
    } else if (rest.starts_with("Infinity")) {
      length = 8;
    } else if (rest.starts_with("-Infinity")) {
      length = 9;
    }
    if (length == 0 || (rest.size() > length && isIdentifierByte(rest[length]))) continue;
    mended.append(text.substr(copied, i - copied)).append("null");
    copied = i + length;
    i += length - 1;
  }
  if (copied > 0) mended.append(text.substr(copied));
  return mended;
}

}  // namespace

std::optional<nlohmann::json> JSONDecoder::parse(std::string_view text, std::string* errorDescription,
                                                 Failure* failure) const {
  if (failure != nullptr) *failure = Failure::refused;
  switch (platform::checkJSONShape(text, kMaximumDepth, kMaximumElements)) {
    case platform::JSONShapeCheck::within:
      break;
    case platform::JSONShapeCheck::tooDeep:
      if (errorDescription != nullptr) {
        *errorDescription = "The JSON text nests deeper than " + std::to_string(kMaximumDepth) + " levels.";
      }
      return std::nullopt;
    case platform::JSONShapeCheck::tooManyElements:
      if (errorDescription != nullptr) {
        *errorDescription =
            "The JSON text holds more than " + std::to_string(kMaximumElements) + " elements.";
      }
      return std::nullopt;
  }
  const std::string mended = withNonFiniteLiteralsAsNull(text);
  const std::string_view input = mended.empty() ? text : std::string_view(mended);
  try {
    return nlohmann::json::parse(input.begin(), input.end());
  } catch (const nlohmann::json::out_of_range& error) {
    // A number too large for a double ("1e999"): JSON, but not one this reader can hold.
    if (errorDescription != nullptr) *errorDescription = text::repairedUTF8(error.what());
    return std::nullopt;
  } catch (const nlohmann::json::exception& error) {
    if (failure != nullptr) *failure = Failure::notJSON;
    // nlohmann quotes the bytes it last read, which may end inside a multi-byte character; the
    // description lands in stored records, so it must stay valid UTF-8.
    if (errorDescription != nullptr) *errorDescription = text::repairedUTF8(error.what());
    return std::nullopt;
  }
}

std::optional<nlohmann::json> parseJSONDocument(std::string_view text, std::string* errorDescription,
                                                JSONDecoder::Failure* failure) {
  return JSONDecoder{}.parse(text, errorDescription, failure);
}

const nlohmann::json* jsonMember(const nlohmann::json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

}  // namespace lorvex
