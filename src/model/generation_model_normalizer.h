// Turns the free source text with which generation metadata names a model into the descriptor
// the library keys models by, so the same model yields the same key however its text was spaced.
// NovelAI sources ("NovelAI Diffusion V4.5 1229B44F") are also taken apart into family, version
// and source hash.
//
// Thread safety: pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lorvex {

struct GenerationModelDescriptor {
  std::optional<std::string> provider;    // "NovelAI" for a NovelAI source
  std::string rawSource;                  // the whitespace-normalised source: the model's key
  std::string displayName;                // always equal to rawSource
  std::string normalizedKey;              // rawSource lower-cased
  std::optional<std::string> family;      // NovelAI: the tokens before the version ("NovelAI Diffusion")
  std::optional<std::string> version;     // NovelAI: the first token like "V4" or "V4.5.1"
  std::optional<std::string> sourceHash;  // NovelAI: the tokens after the version

  friend bool operator==(const GenerationModelDescriptor&, const GenerationModelDescriptor&) = default;
};

namespace GenerationModelNormalizer {

// Nothing for an absent source or one of only whitespace. Letter case is kept in rawSource, so
// sources differing only in case are different models sharing a normalizedKey. Version digits are
// ASCII digits.
std::optional<GenerationModelDescriptor> descriptor(std::optional<std::string_view> rawSource);

}  // namespace GenerationModelNormalizer

}  // namespace lorvex
