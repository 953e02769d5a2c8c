// Why the stored list of folder bookmarks could not be decoded.
//
// Thread safety: a plain exception value.
#pragma once

#include <string>

#include "model/library_error.h"

namespace lorvex {

class StoredBookmarksError : public LibraryError {
 public:
  // Numbered as the diagnostics report them.
  enum class Kind { typeMismatch = 0, valueNotFound = 1, keyNotFound = 2, dataCorrupted = 3 };

  StoredBookmarksError(Kind kind, std::string message)
      : LibraryError(LibraryError::Kind::folderAccess, std::move(message)), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

}  // namespace lorvex
