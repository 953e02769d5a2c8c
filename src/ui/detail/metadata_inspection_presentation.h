// What the inspector's metadata section shows of one image's generation metadata: how completely
// it was understood (status), the short settings as label/value rows, the long texts (prompts,
// captions, the raw comment) and the parse warning. Every label is a localization key resolved
// through the given localizer; every value is the metadata's own text, exactly as stored.
//
// A text is blank when it is absent or holds only whitespace (newlines included). Blankness only
// decides whether a row or item appears; what appears keeps its surrounding whitespace.
//
// Built fresh each time the section is drawn; nothing is cached.
//
// Thread safety: pure values and functions.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/generation_metadata.h"
#include "ui/common/app_localization.h"

namespace lorvex::ui {

enum class MetadataInspectionStatus { parsed, partial, rawPayloadOnly, missing };

struct MetadataInspectionRow {
  std::string id;  // stable: "title", "provider", ... (see metadataInspectionRows)
  std::string label;
  std::string value;

  friend bool operator==(const MetadataInspectionRow&, const MetadataInspectionRow&) = default;
};

struct MetadataInspectionLongTextItem {
  std::string id;  // stable: "prompt", "negativePrompt", ... (see metadataLongTextItems)
  std::string title;
  std::optional<std::string> value;

  friend bool operator==(const MetadataInspectionLongTextItem&,
                         const MetadataInspectionLongTextItem&) = default;
};

struct MetadataInspectionPresentation {
  MetadataInspectionPresentation(const GenerationMetadata& metadata, AppLocalization localizer);

  MetadataInspectionStatus status;
  std::vector<MetadataInspectionRow> settingRows;
  std::vector<MetadataInspectionLongTextItem> longTextItems;
  std::optional<std::string> warningText;
  AppLocalization localizer;  // kept for the texts the views resolve later (copy labels)

  std::string statusTitle() const;
  std::string statusDescription() const;
};

// The builders the presentation is made of.

// A non-blank parse warning makes it partial; a known provider (any code but "unknown"), or the
// NovelAI software or source signature without a provider, parsed; anything else that was read
// raw payload only; nothing at all, missing.
MetadataInspectionStatus metadataInspectionStatus(const GenerationMetadata& metadata);
// Whether anything but the model hash, prompt segments, generation parameters and model usages
// holds a value.
bool hasAnyMetadata(const GenerationMetadata& metadata);
// In the fixed order title, provider, format, software, seed, source, sampler, steps, scale,
// size, generationTime, noiseSchedule, requestType, version, signedHash; blank values left out.
std::vector<MetadataInspectionRow> metadataInspectionRows(const GenerationMetadata& metadata,
                                                          const AppLocalization& localizer);
// "832 x 1216"; nothing unless both sides are known.
std::optional<std::string> metadataSizeText(const GenerationMetadata& metadata);
// In the order prompt, negativePrompt, baseCaption, negativeBaseCaption, characterCaptions,
// negativeCharacterCaptions, rawCommentJSON; blank values left out.
std::vector<MetadataInspectionLongTextItem> metadataLongTextItems(const GenerationMetadata& metadata,
                                                                  const AppLocalization& localizer);
// The captions one entry each, separated by a blank line; entries numbered "1. " only when there
// are several; a second line lists the centers as "(0.500, 0.250)" (full stop whatever the
// locale). Nothing for no captions.
std::optional<std::string> characterCaptionsText(const std::vector<CharacterCaption>& captions,
                                                 const AppLocalization& localizer);
std::string characterCaptionEntryText(std::size_t index, const CharacterCaption& caption, std::size_t count,
                                      const AppLocalization& localizer);
// The parse warning in the interface's language (localizedParseWarning); nothing when blank.
std::optional<std::string> metadataWarningText(const GenerationMetadata& metadata,
                                               const AppLocalization& localizer);
// A warning the parsers store, worded by its localization key: a reason that follows it is the
// reader's own and stays as stored, the skipped-chunks note is worded from its counts, and a
// warning that is not one of the parsers' fixed texts is shown as stored.
std::string localizedParseWarning(const std::string& stored, const AppLocalization& localizer);

// Absent, empty, or only whitespace and newlines.
bool isBlankText(const std::optional<std::string>& text);

// The symbol beside the status title.
std::string metadataInspectionStatusSymbol(MetadataInspectionStatus status);

}  // namespace lorvex::ui
