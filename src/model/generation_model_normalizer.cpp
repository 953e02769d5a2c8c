#include "model/generation_model_normalizer.h"

#include <vector>

#include "model/text/unicode.h"
#include "model/text/whitespace.h"

namespace lorvex {

namespace {

struct NovelAISourceParts {
  std::string provider = "NovelAI";
  std::optional<std::string> family;
  std::optional<std::string> version;
  std::optional<std::string> sourceHash;
};

bool isASCIIDigit(char c) {
  return c >= '0' && c <= '9';
}

// "V", digits, then any number of "." followed by digits, covering the whole token.
bool isVersionToken(std::string_view token) {
  if (token.size() < 2 || token[0] != 'V') return false;
  std::size_t i = 1;
  while (true) {
    const std::size_t digitsStart = i;
    while (i < token.size() && isASCIIDigit(token[i])) ++i;
    if (i == digitsStart) return false;
    if (i == token.size()) return true;
    if (token[i] != '.') return false;
    ++i;
  }
}

std::string joined(const std::vector<std::string_view>& tokens, std::size_t begin, std::size_t end) {
  std::string result;
  for (std::size_t i = begin; i < end; ++i) {
    if (i > begin) result += ' ';
    result += tokens[i];
  }
  return result;
}

std::optional<NovelAISourceParts> novelAISourceParts(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) tokens.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (tokens.empty() || tokens.front() != "NovelAI") return std::nullopt;

  NovelAISourceParts parts;
  for (std::size_t k = 1; k < tokens.size(); ++k) {
    if (!isVersionToken(tokens[k])) continue;
    parts.family = joined(tokens, 0, k);
    parts.version = std::string(tokens[k]);
    if (k + 1 < tokens.size()) parts.sourceHash = joined(tokens, k + 1, tokens.size());
    return parts;
  }
  if (tokens.size() >= 2) parts.family = joined(tokens, 0, tokens.size());
  return parts;
}

}  // namespace

namespace GenerationModelNormalizer {

std::optional<GenerationModelDescriptor> descriptor(std::optional<std::string_view> rawSource) {
  std::optional<std::string> normalized = text::normalizedWhitespace(rawSource.value_or(std::string_view()));
  if (!normalized) return std::nullopt;

  GenerationModelDescriptor result;
  if (std::optional<NovelAISourceParts> parts = novelAISourceParts(*normalized)) {
    result.provider = std::move(parts->provider);
    result.family = std::move(parts->family);
    result.version = std::move(parts->version);
    result.sourceHash = std::move(parts->sourceHash);
  }
  result.normalizedKey = text::lowercased(*normalized);
  result.displayName = *normalized;
  result.rawSource = std::move(*normalized);
  return result;
}

}  // namespace GenerationModelNormalizer

}  // namespace lorvex
