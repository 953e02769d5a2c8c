#include "ui/detail/metadata_inspection_presentation.h"

#include <array>
#include <charconv>
#include <utility>

#include "metadata/parse_warnings.h"
#include "model/text/numbers.h"
#include "model/text/whitespace.h"

namespace lorvex::ui {
namespace {

// "%.3f" without the process locale: to_chars always writes a full stop.
std::string fixedThreeDecimals(double value) {
  std::array<char, 64> buffer{};
  const auto result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, 3);
  return std::string(buffer.data(), result.ptr);
}

void appendRow(std::vector<MetadataInspectionRow>& rows, const char* id, AppLocalizationKey label,
               const std::optional<std::string>& value, const AppLocalization& localizer) {
  if (isBlankText(value)) return;
  rows.push_back({id, localizer.lookup(label), *value});
}

void appendItem(std::vector<MetadataInspectionLongTextItem>& items, const char* id, AppLocalizationKey title,
                const std::optional<std::string>& value, const AppLocalization& localizer) {
  if (isBlankText(value)) return;
  items.push_back({id, localizer.lookup(title), value});
}

template <typename Integer>
std::optional<std::string> decimal(const std::optional<Integer>& value) {
  if (!value) return std::nullopt;
  return std::to_string(*value);
}

}  // namespace

bool isBlankText(const std::optional<std::string>& text) {
  return !text || text::trimmedWhitespace(*text).empty();
}

MetadataInspectionPresentation::MetadataInspectionPresentation(const GenerationMetadata& metadata,
                                                               AppLocalization localizerValue)
    : status(metadataInspectionStatus(metadata)),
      settingRows(metadataInspectionRows(metadata, localizerValue)),
      longTextItems(metadataLongTextItems(metadata, localizerValue)),
      warningText(metadataWarningText(metadata, localizerValue)),
      localizer(std::move(localizerValue)) {}

MetadataInspectionStatus metadataInspectionStatus(const GenerationMetadata& metadata) {
  if (!isBlankText(metadata.parseWarning)) return MetadataInspectionStatus::partial;
  if (metadata.provider) {
    if (metadata.provider->code != "unknown") return MetadataInspectionStatus::parsed;
  } else {
    if (metadata.software && *metadata.software == "NovelAI") return MetadataInspectionStatus::parsed;
    if (metadata.source && metadata.source->starts_with("NovelAI")) return MetadataInspectionStatus::parsed;
  }
  return hasAnyMetadata(metadata) ? MetadataInspectionStatus::rawPayloadOnly
                                  : MetadataInspectionStatus::missing;
}

bool hasAnyMetadata(const GenerationMetadata& m) {
  for (const auto* text : {&m.title, &m.prompt, &m.negativePrompt, &m.software, &m.source, &m.sampler,
                           &m.noiseSchedule, &m.requestType, &m.signedHash, &m.baseCaption,
                           &m.negativeBaseCaption, &m.rawCommentJSON, &m.parseWarning}) {
    if (!isBlankText(*text)) return true;
  }
  return m.provider || m.format || !m.rawPayloads.empty() || !m.rawTextChunks.empty() || m.seed || m.width ||
         m.height || m.steps || m.scale || m.generationTime || m.version || !m.characterCaptions.empty() ||
         !m.negativeCharacterCaptions.empty();
}

std::vector<MetadataInspectionRow> metadataInspectionRows(const GenerationMetadata& m,
                                                          const AppLocalization& localizer) {
  using Key = AppLocalizationKey;
  std::vector<MetadataInspectionRow> rows;
  appendRow(rows, "title", Key::metadataImageTitle, m.title, localizer);
  std::optional<std::string> provider;
  if (m.provider) {
    provider = m.provider->displayName;
  } else if (m.isNovelAI()) {
    provider = "NovelAI";
  }
  appendRow(rows, "provider", Key::metadataProvider, provider, localizer);
  appendRow(rows, "format", Key::metadataFormat,
            m.format ? std::optional<std::string>(m.format->displayName) : std::nullopt, localizer);
  appendRow(rows, "software", Key::metadataSoftware, m.software, localizer);
  appendRow(rows, "seed", Key::metadataSeed, decimal(m.seed), localizer);
  appendRow(rows, "source", Key::metadataSource, m.source, localizer);
  appendRow(rows, "sampler", Key::metadataSampler, m.sampler, localizer);
  appendRow(rows, "steps", Key::metadataSteps, decimal(m.steps), localizer);
  appendRow(rows, "scale", Key::metadataScale,
            m.scale ? std::optional<std::string>(text::formatDouble(*m.scale)) : std::nullopt, localizer);
  appendRow(rows, "size", Key::metadataSize, metadataSizeText(m), localizer);
  std::optional<std::string> generationTime;
  if (m.generationTime) {
    generationTime = localizer.lookup(Key::metadataGenerationDurationSeconds, {*m.generationTime});
  }
  appendRow(rows, "generationTime", Key::metadataGenerationTime, generationTime, localizer);
  appendRow(rows, "noiseSchedule", Key::metadataNoiseSchedule, m.noiseSchedule, localizer);
  appendRow(rows, "requestType", Key::metadataRequestType, m.requestType, localizer);
  appendRow(rows, "version", Key::metadataVersion, decimal(m.version), localizer);
  appendRow(rows, "signedHash", Key::metadataSignedHash, m.signedHash, localizer);
  return rows;
}

std::optional<std::string> metadataSizeText(const GenerationMetadata& metadata) {
  if (!metadata.width || !metadata.height) return std::nullopt;
  return std::to_string(*metadata.width) + " x " + std::to_string(*metadata.height);
}

std::vector<MetadataInspectionLongTextItem> metadataLongTextItems(const GenerationMetadata& m,
                                                                  const AppLocalization& localizer) {
  using Key = AppLocalizationKey;
  std::vector<MetadataInspectionLongTextItem> items;
  appendItem(items, "prompt", Key::metadataPrompt, m.prompt, localizer);
  appendItem(items, "negativePrompt", Key::metadataNegativePrompt, m.negativePrompt, localizer);
  appendItem(items, "baseCaption", Key::metadataBaseCaption, m.baseCaption, localizer);
  appendItem(items, "negativeBaseCaption", Key::metadataNegativeBaseCaption, m.negativeBaseCaption,
             localizer);
  appendItem(items, "characterCaptions", Key::metadataCharacterCaptions,
             characterCaptionsText(m.characterCaptions, localizer), localizer);
  appendItem(items, "negativeCharacterCaptions", Key::metadataNegativeCharacterCaptions,
             characterCaptionsText(m.negativeCharacterCaptions, localizer), localizer);
  appendItem(items, "rawCommentJSON", Key::metadataRawCommentJSON, m.rawCommentJSON, localizer);
  return items;
}

std::optional<std::string> characterCaptionsText(const std::vector<CharacterCaption>& captions,
                                                 const AppLocalization& localizer) {
  if (captions.empty()) return std::nullopt;
  std::string text;
  for (std::size_t i = 0; i < captions.size(); ++i) {
    if (i > 0) text += "\n\n";
    text += characterCaptionEntryText(i, captions[i], captions.size(), localizer);
  }
  return text;
}

std::string characterCaptionEntryText(std::size_t index, const CharacterCaption& caption, std::size_t count,
                                      const AppLocalization& localizer) {
  std::string text = count == 1 ? caption.caption : std::to_string(index + 1) + ". " + caption.caption;
  if (caption.centers.empty()) return text;
  text += "\n" + localizer.lookup(AppLocalizationKey::metadataCaptionCenters) + ": ";
  for (std::size_t i = 0; i < caption.centers.size(); ++i) {
    if (i > 0) text += ", ";
    text += "(" + fixedThreeDecimals(caption.centers[i].x) + ", " + fixedThreeDecimals(caption.centers[i].y) +
            ")";
  }
  return text;
}

std::optional<std::string> metadataWarningText(const GenerationMetadata& metadata,
                                               const AppLocalization& localizer) {
  if (isBlankText(metadata.parseWarning)) return std::nullopt;
  return localizedParseWarning(*metadata.parseWarning, localizer);
}

namespace {

// Each kind names its key: a kind added without one does not build (the switch has no default).
AppLocalizationKey parseWarningKey(ParseWarningKind kind) {
  using Key = AppLocalizationKey;
  switch (kind) {
    case ParseWarningKind::comfyUIPromptUnavailable:
      return Key::metadataWarningComfyUIPromptUnavailable;
    case ParseWarningKind::comfyUIPromptUndecodable:
      return Key::metadataWarningComfyUIPromptUndecodable;
    case ParseWarningKind::comfyUIPromptRefused:
      return Key::metadataWarningComfyUIPromptRefused;
    case ParseWarningKind::comfyUINoPositivePrompt:
      return Key::metadataWarningComfyUINoPositivePrompt;
    case ParseWarningKind::novelAICommentUndecodable:
      break;
  }
  return Key::metadataWarningNovelAICommentUndecodable;
}

}  // namespace

std::string localizedParseWarning(const std::string& stored, const AppLocalization& localizer) {
  const std::optional<RecognizedParseWarning> recognized = recognizeParseWarning(stored);
  if (!recognized) return stored;
  std::string text;
  if (recognized->kind) {
    const AppLocalizationKey key = parseWarningKey(*recognized->kind);
    text = recognized->reason ? localizer.lookup(key, {*recognized->reason}) : localizer.lookup(key);
  }
  if (const std::optional<SkippedTextChunks>& skipped = recognized->skipped) {
    if (!text.empty()) text += "\n";
    text +=
        localizer.lookup(pluralKey(skipped->count, AppLocalizationKey::metadataWarningSkippedTextChunksOne,
                                   AppLocalizationKey::metadataWarningSkippedTextChunksOther),
                         {skipped->count, skipped->chunkLimit, skipped->byteLimit});
  }
  return text;
}

namespace {

struct StatusTexts {
  AppLocalizationKey title;
  AppLocalizationKey description;
};

StatusTexts statusTexts(MetadataInspectionStatus status) {
  using Key = AppLocalizationKey;
  switch (status) {
    case MetadataInspectionStatus::parsed:
      return {Key::metadataStatusParsedTitle, Key::metadataStatusParsedDescription};
    case MetadataInspectionStatus::partial:
      return {Key::metadataStatusPartialTitle, Key::metadataStatusPartialDescription};
    case MetadataInspectionStatus::rawPayloadOnly:
      return {Key::metadataStatusRawPayloadTitle, Key::metadataStatusRawPayloadDescription};
    case MetadataInspectionStatus::missing:
      break;
  }
  return {Key::metadataStatusMissingTitle, Key::metadataStatusMissingDescription};
}

}  // namespace

std::string MetadataInspectionPresentation::statusTitle() const {
  return localizer.lookup(statusTexts(status).title);
}

std::string MetadataInspectionPresentation::statusDescription() const {
  return localizer.lookup(statusTexts(status).description);
}

std::string metadataInspectionStatusSymbol(MetadataInspectionStatus status) {
  switch (status) {
    case MetadataInspectionStatus::parsed:
      return "sparkles";
    case MetadataInspectionStatus::partial:
      return "exclamationmark.triangle";
    case MetadataInspectionStatus::rawPayloadOnly:
      return "info.circle";
    case MetadataInspectionStatus::missing:
      return "questionmark.circle";
  }
  return {};
}

}  // namespace lorvex::ui
