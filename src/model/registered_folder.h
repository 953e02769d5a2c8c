// The registered folders as the library, the services and the sidebar talk about them: access
// state, per-folder image counts, batches of file-system changes and the event checkpoint from
// which changes are replayed.
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

#include "model/error_notice.h"
#include "model/raw_value.h"

namespace lorvex {

enum class RegisteredFolderAccessState { available, missing, accessDenied, bookmarkInvalid };

template <>
struct RawValueTable<RegisteredFolderAccessState> {
  using Raw = std::string_view;
  using S = RegisteredFolderAccessState;
  static constexpr std::array<std::pair<S, Raw>, 4> entries{{
      {S::available, "available"},
      {S::missing, "missing"},
      {S::accessDenied, "accessDenied"},
      {S::bookmarkInvalid, "bookmarkInvalid"},
  }};
};

// A folder's access state as the folder access manager sees it. File URLs are held as absolute
// paths throughout the program.
struct RegisteredFolderAccess {
  std::string path;
  std::optional<std::string> url;  // the resolved location; absent when it could not be resolved
  RegisteredFolderAccessState state = RegisteredFolderAccessState::available;
  std::optional<std::string> lastError;
  // What a window shows for lastError; absent exactly when lastError is.
  std::optional<ErrorNotice> lastErrorNotice;

  friend bool operator==(const RegisteredFolderAccess&, const RegisteredFolderAccess&) = default;
};

// One row of the library sidebar, identified by its path.
struct RegisteredFolderSummary {
  std::string path;
  std::string displayName;
  RegisteredFolderAccessState state = RegisteredFolderAccessState::available;
  std::int64_t indexedImageCount = 0;
  std::int64_t missingImageCount = 0;
  std::optional<std::string> lastError;
  // What a window shows for lastError (the access's notice).
  std::optional<ErrorNotice> lastErrorNotice;

  const std::string& id() const { return path; }

  friend bool operator==(const RegisteredFolderSummary&, const RegisteredFolderSummary&) = default;
};

struct RegisteredFolderImageCounts {
  std::string path;
  std::int64_t indexedImageCount = 0;
  std::int64_t missingImageCount = 0;

  friend bool operator==(const RegisteredFolderImageCounts&, const RegisteredFolderImageCounts&) = default;
};

// One batch of changes from the folder change monitor.
struct RegisteredFolderChangeBatch {
  std::vector<std::string> changedURLs;      // changed paths in event order
  std::optional<std::uint64_t> lastEventID;  // greatest event id of the batch; absent when none
  bool requiresFullRescan = false;           // the paths cannot be trusted; scan the folders in full

  friend bool operator==(const RegisteredFolderChangeBatch&, const RegisteredFolderChangeBatch&) = default;
};

// The event id from which the events of these folders are replayed.
struct RegisteredFolderEventCheckpoint {
  std::vector<std::string> rootPaths;
  std::uint64_t lastEventID = 0;

  friend bool operator==(const RegisteredFolderEventCheckpoint&,
                         const RegisteredFolderEventCheckpoint&) = default;
};

}  // namespace lorvex
