// The outcome of moving a set of images to the Trash. A file that cannot be moved becomes a
// failure entry; the others are moved all the same.
//
// Thread safety: plain values; a value may be copied to and read on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/error_notice.h"

namespace lorvex {

enum class ImageTrashFailureReason {
  underlyingError,         // an operation on the file failed; the message describes it
  fileChangedSinceReview,  // the file no longer matches the reviewed record (or could not be read)
};

struct ImageTrashFailure {
  std::string path;
  std::string message;  // the library's text, for logs and copied diagnostics
  ImageTrashFailureReason reason = ImageTrashFailureReason::underlyingError;
  // What a window shows for an underlyingError (a fileChangedSinceReview failure says that).
  std::optional<ErrorNotice> notice;

  friend bool operator==(const ImageTrashFailure&, const ImageTrashFailure&) = default;
};

struct ImageTrashSummary {
  std::int64_t requestedCount = 0;
  std::vector<std::string> trashedPaths;  // in the order handled
  std::vector<ImageTrashFailure> failures;

  friend bool operator==(const ImageTrashSummary&, const ImageTrashSummary&) = default;
};

}  // namespace lorvex
