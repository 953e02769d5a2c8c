#include "metadata/parse_warnings.h"

#include <charconv>

namespace lorvex {
namespace {

constexpr std::string_view kSkippedStart = "Skipped ";
constexpr std::string_view kSkippedEnd = " bytes of decoded text.";

// Reads a decimal number at the front of `text` and moves past it.
std::optional<std::int64_t> takeNumber(std::string_view& text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return value;
}

bool take(std::string_view& text, std::string_view expected) {
  if (!text.starts_with(expected)) return false;
  text.remove_prefix(expected.size());
  return true;
}

// The note exactly as skippedTextChunksWarning writes it.
std::optional<SkippedTextChunks> readSkippedTextChunks(std::string_view text) {
  if (!take(text, kSkippedStart)) return std::nullopt;
  const auto count = takeNumber(text);
  if (!count) return std::nullopt;
  if (!take(text, *count == 1 ? " text chunk" : " text chunks")) return std::nullopt;
  if (!take(text, " beyond the per-file limit of ")) return std::nullopt;
  const auto chunkLimit = takeNumber(text);
  if (!chunkLimit || !take(text, " text chunks and ")) return std::nullopt;
  const auto byteLimit = takeNumber(text);
  if (!byteLimit || text != kSkippedEnd) return std::nullopt;
  return SkippedTextChunks{*count, *chunkLimit, *byteLimit};
}

}  // namespace

std::string skippedTextChunksWarning(const SkippedTextChunks& skipped) {
  return std::string(kSkippedStart) + std::to_string(skipped.count) + " text chunk" +
         (skipped.count == 1 ? "" : "s") + " beyond the per-file limit of " +
         std::to_string(skipped.chunkLimit) + " text chunks and " + std::to_string(skipped.byteLimit) +
         std::string(kSkippedEnd);
}

std::optional<RecognizedParseWarning> recognizeParseWarning(std::string_view stored) {
  RecognizedParseWarning recognized;
  // The reader's note comes last, after a space when the parser warned too.
  if (stored.ends_with(kSkippedEnd)) {
    const std::size_t start = stored.rfind(kSkippedStart);
    if (start != std::string_view::npos && (start == 0 || stored[start - 1] == ' ')) {
      if (auto skipped = readSkippedTextChunks(stored.substr(start))) {
        recognized.skipped = skipped;
        stored = stored.substr(0, start == 0 ? 0 : start - 1);
        if (start == 0) return recognized;
      }
    }
  }
  for (const ParseWarningText& entry : kParseWarningTexts) {
    if (entry.takesReason ? stored.starts_with(entry.text) : stored == entry.text) {
      recognized.kind = entry.kind;
      if (entry.takesReason) recognized.reason = std::string(stored.substr(entry.text.size()));
      return recognized;
    }
  }
  return std::nullopt;
}

}  // namespace lorvex
