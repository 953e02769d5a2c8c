// JSON documents as image generators write them, parsed with nlohmann-json.
//
// Two mends over strict JSON reading: the non-standard literals NaN, Infinity and -Infinity (as
// Python's json module writes them, e.g. ComfyUI's "is_changed": NaN) read as null instead of
// failing the whole document; and nesting deeper than kMaximumDepth is rejected, because copying,
// comparing, printing and destroying a tree recurse once per level. A document of more than
// kMaximumElements elements is rejected too: generators write thousands, and a parsed element
// costs tens of bytes, so a hostile chunk could otherwise take gigabytes. Duplicate keys: the last
// wins.
// Integers within int64 or uint64 stay integers (nlohmann keeps non-negative ones unsigned:
// use GenerationMetadataParser::int64Value / doubleValue to read numbers).
//
// Internal to the metadata layer. Thread safety: pure functions; a JSONDecoder is immutable.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace lorvex {

class JSONDecoder {
 public:
  static constexpr std::size_t kMaximumDepth = 512;
  static constexpr std::size_t kMaximumElements = 1'000'000;

  // Why a text gave no document.
  enum class Failure {
    notJSON,  // the text is no JSON document
    refused,  // it reads as JSON but passes a limit: nesting, element count, or a number out of range
  };

  // One JSON document (any top-level value) from UTF-8 text, or nothing when the text is not
  // one; then *errorDescription (when given) receives a readable English reason and *failure
  // (when given) its kind.
  std::optional<nlohmann::json> parse(std::string_view text, std::string* errorDescription = nullptr,
                                      Failure* failure = nullptr) const;
};

// The same as JSONDecoder{}.parse: the parser every provider uses with default options.
std::optional<nlohmann::json> parseJSONDocument(std::string_view text,
                                                std::string* errorDescription = nullptr,
                                                JSONDecoder::Failure* failure = nullptr);

// The member `key` of `object`, or nullptr when `object` is not an object or has no such key.
const nlohmann::json* jsonMember(const nlohmann::json& object, std::string_view key);

}  // namespace lorvex
