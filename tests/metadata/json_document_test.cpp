#include "metadata/json_document.h"

#include <gtest/gtest.h>

#include "model/text/unicode.h"

namespace lorvex {
namespace {

TEST(JSONDocument, NonStandardNumberLiteralsReadAsNull) {
  const auto document = parseJSONDocument(
      R"({"is_changed": NaN, "a": [Infinity, -Infinity, 1], "s": "NaN Infinity", "n": -1})");
  ASSERT_TRUE(document);
  EXPECT_TRUE(document->at("is_changed").is_null());
  EXPECT_EQ(document->at("a"), nlohmann::json::parse("[null, null, 1]"));
  EXPECT_EQ(document->at("s"), "NaN Infinity");  // inside strings nothing changes
  EXPECT_EQ(document->at("n"), -1);
  EXPECT_TRUE(parseJSONDocument("NaN").value().is_null());
  // Only the exact literals: other bare words stay errors.
  for (const char* text : {"[NaNa]", "[nan]", "[Inf]", "[-NaN]", "[xNaN]"}) {
    EXPECT_FALSE(parseJSONDocument(text)) << text;
  }
}

TEST(JSONDocument, EscapedQuotesDoNotEndStrings) {
  const auto document = parseJSONDocument(R"({"q": "say \"NaN\" [", "v": NaN})");
  ASSERT_TRUE(document);
  EXPECT_EQ(document->at("q"), "say \"NaN\" [");
  EXPECT_TRUE(document->at("v").is_null());
}

TEST(JSONDocument, RejectsNestingDeeperThanTheLimit) {
  const auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(parseJSONDocument(nested(JSONDecoder::kMaximumDepth)));
  std::string error;
  EXPECT_FALSE(parseJSONDocument(nested(JSONDecoder::kMaximumDepth + 1), &error));
  EXPECT_EQ(error, "The JSON text nests deeper than 512 levels.");
  // Brackets inside strings do not count.
  EXPECT_TRUE(parseJSONDocument("\"" + std::string(100'000, '[') + "\""));
  // Deep input fails fast instead of exhausting the stack.
  EXPECT_FALSE(parseJSONDocument(std::string(1'000'000, '{')));
}

TEST(JSONDocument, RejectsDocumentsOfMoreElementsThanTheLimit) {
  // n empty objects in one array: n opening braces, n - 1 commas and the array itself.
  const auto objects = [](std::size_t n) {
    std::string text = "[{}";
    for (std::size_t i = 1; i < n; ++i) text += ",{}";
    return text + "]";
  };
  const std::size_t fits = JSONDecoder::kMaximumElements / 2;  // 2n elements in all
  EXPECT_TRUE(parseJSONDocument(objects(fits)));
  std::string error;
  EXPECT_FALSE(parseJSONDocument(objects(fits + 1), &error));
  EXPECT_EQ(error, "The JSON text holds more than 1000000 elements.");
  // Commas and brackets inside strings are text, not elements.
  EXPECT_TRUE(parseJSONDocument("[\"" + std::string(3'000'000, ',') + "\"]"));
}

TEST(JSONDocument, ReportsWhyTextIsNotJSON) {
  std::string error;
  EXPECT_FALSE(parseJSONDocument("not json", &error));
  EXPECT_NE(error.find("parse error"), std::string::npos) << error;
  EXPECT_FALSE(parseJSONDocument("", &error));
  EXPECT_FALSE(parseJSONDocument("{} {}", &error));
}

TEST(JSONDocument, ErrorDescriptionsStayValidUTF8) {
  std::string error;
  // The parser stops inside the two-byte character and quotes what it read so far.
  EXPECT_FALSE(
      parseJSONDocument("{\"noise\": \xC2\x89"
                        "0.0}",
                        &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(text::isValidUTF8(error)) << error;
}

TEST(JSONDocument, DuplicateKeysKeepTheLastValue) {
  EXPECT_EQ(parseJSONDocument(R"({"a": 1, "a": 2})").value().at("a"), 2);
}

TEST(JSONDocument, MemberLookup) {
  const nlohmann::json document = nlohmann::json::parse(R"({"a": null, "b": 1})");
  EXPECT_NE(jsonMember(document, "a"), nullptr);
  EXPECT_EQ(*jsonMember(document, "b"), 1);
  EXPECT_EQ(jsonMember(document, "c"), nullptr);
  EXPECT_EQ(jsonMember(nlohmann::json::array(), "a"), nullptr);
}

}  // namespace
}  // namespace lorvex
