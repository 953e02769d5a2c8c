// Why the stored list of folder bookmarks could not be decoded.
//
// Thread safety: a plain exception value.
#pragma once

#include <stdexcept>
#include <string>

namespace lorvex {

class StoredBookmarksError : public std::runtime_error {
 public:
  // Numbered as the diagnostics report them.
  enum class Kind { typeMismatch = 0, valueNotFound = 1, keyNotFound = 2, dataCorrupted = 3 };

  StoredBookmarksError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

}  // namespace lorvex
