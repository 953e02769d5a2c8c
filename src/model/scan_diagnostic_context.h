// What the store keeps about the last finished scan for its diagnostics: what started it, the
// folders it covered and when it ended.
//
// Thread safety: plain values and constant tables; a value may be copied to and read on any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/raw_value.h"

namespace lorvex {

enum class ImageLibraryScanDiagnosticSource {
  folderRegistration,
  manualSync,
  singleFolderSync,
  backgroundFullScan,
  backgroundChangedPaths,
  resumeInterrupted,
};

template <>
struct RawValueTable<ImageLibraryScanDiagnosticSource> {
  using Raw = std::string_view;
  using S = ImageLibraryScanDiagnosticSource;
  static constexpr std::array<std::pair<S, Raw>, 6> entries{{
      {S::folderRegistration, "folderRegistration"},
      {S::manualSync, "manualSync"},
      {S::singleFolderSync, "singleFolderSync"},
      {S::backgroundFullScan, "backgroundFullScan"},
      {S::backgroundChangedPaths, "backgroundChangedPaths"},
      {S::resumeInterrupted, "resumeInterrupted"},
  }};
};

struct ImageLibraryScanDiagnosticContext {
  ImageLibraryScanDiagnosticSource source = ImageLibraryScanDiagnosticSource::folderRegistration;
  std::vector<std::string> rootPaths;
  // Only a scan of changed paths carries the number of paths it was handed.
  std::optional<std::int64_t> changedPathCount;
  double completedAt = 0;  // seconds since 1970

  friend bool operator==(const ImageLibraryScanDiagnosticContext&,
                         const ImageLibraryScanDiagnosticContext&) = default;
};

}  // namespace lorvex
