// The warnings the metadata layer leaves in a record's parseWarning: fixed English sentences, two
// of them followed by the JSON reader's own reason, and the chunk reader's note of text chunks it
// skipped, which follows whatever the parser said after one space. The library keeps them as
// written; a view that shows them in another language recognises them here and words them afresh.
//
// Thread safety: constants and pure functions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/enum_cases.h"

namespace lorvex {

enum class ParseWarningKind {
  comfyUIPromptUnavailable,
  comfyUIPromptUndecodable,
  comfyUIPromptRefused,
  comfyUINoPositivePrompt,
  novelAICommentUndecodable,
};

struct ParseWarningText {
  ParseWarningKind kind;
  std::string_view text;
  bool takesReason;  // the text is a prefix; the reader's reason follows it
};

// One row per kind, in case order: a kind without its row would be read back as no warning at all.
inline constexpr std::array kParseWarningTexts = std::to_array<ParseWarningText>({
    {ParseWarningKind::comfyUIPromptUnavailable,
     "ComfyUI workflow was preserved, but prompt JSON was not available.", false},
    {ParseWarningKind::comfyUIPromptUndecodable,
     "ComfyUI workflow was preserved, but prompt JSON could not be decoded.", false},
    {ParseWarningKind::comfyUIPromptRefused, "Failed to decode ComfyUI prompt JSON: ", true},
    {ParseWarningKind::comfyUINoPositivePrompt,
     "ComfyUI workflow was preserved, but no positive prompt could be resolved.", false},
    {ParseWarningKind::novelAICommentUndecodable, "Failed to decode NovelAI Comment JSON: ", true},
});
static_assert(holdsEveryCaseInOrder(kParseWarningTexts, &ParseWarningText::kind),
              "kParseWarningTexts must hold one row per ParseWarningKind, in case order");

constexpr std::string_view parseWarningText(ParseWarningKind kind) {
  for (const ParseWarningText& entry : kParseWarningTexts) {
    if (entry.kind == kind) return entry.text;
  }
  return {};
}

struct SkippedTextChunks {
  std::int64_t count = 0;
  std::int64_t chunkLimit = 0;
  std::int64_t byteLimit = 0;
};

// "Skipped 2 text chunks beyond the per-file limit of 3 text chunks and 1000 bytes of decoded text."
std::string skippedTextChunksWarning(const SkippedTextChunks& skipped);

struct RecognizedParseWarning {
  std::optional<ParseWarningKind> kind;  // none when the warning is only the skipped-chunks note
  std::optional<std::string> reason;     // what follows a prefix that takes one
  std::optional<SkippedTextChunks> skipped;
};

// The parts of a stored warning; nothing when any of it is not one of the texts above.
std::optional<RecognizedParseWarning> recognizeParseWarning(std::string_view stored);

}  // namespace lorvex
