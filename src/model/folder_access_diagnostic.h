// One failed folder-access check, handed to the diagnostics sink, which logs it with the
// registered path masked.
//
// Thread safety: plain values and constant tables; a value may be copied to and read on any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "model/raw_value.h"

namespace lorvex {

enum class FolderAccessDiagnosticOperation {
  bookmarkResolution,       // resolving a stored folder bookmark
  readabilityCheck,         // checking that a resolved folder can be read
  storedBookmarksDecoding,  // decoding the stored list of bookmarks
};

template <>
struct RawValueTable<FolderAccessDiagnosticOperation> {
  using Raw = std::string_view;
  using O = FolderAccessDiagnosticOperation;
  static constexpr std::array<std::pair<O, Raw>, 3> entries{{
      {O::bookmarkResolution, "bookmarkResolution"},
      {O::readabilityCheck, "readabilityCheck"},
      {O::storedBookmarksDecoding, "storedBookmarksDecoding"},
  }};
};

struct FolderAccessDiagnostic {
  FolderAccessDiagnosticOperation operation = FolderAccessDiagnosticOperation::bookmarkResolution;
  std::string registeredPath;
  std::string errorDomain;
  std::int64_t errorCode = 0;
  bool errorHasPath = false;  // the error named a file path or URL
  std::uint64_t bookmarkResolutionCount = 0;

  friend bool operator==(const FolderAccessDiagnostic&, const FolderAccessDiagnostic&) = default;
};

}  // namespace lorvex
