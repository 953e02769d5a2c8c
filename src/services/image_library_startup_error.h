// The failures of preparing the library at start-up that the application shows as they are.
//
// Thread safety: plain values; copies may be used from any thread.
#pragma once

#include <string>

#include "model/library_error.h"

namespace lorvex {

class ImageLibraryStartupError : public LibraryError {
 public:
  enum class Kind {
    libraryNotPrepared,       // the live library is not in place (yet)
    libraryFromNewerVersion,  // the database was written by a newer Lorvex; it was left untouched
    libraryInUse,             // another process holds the library folder; it was left untouched
  };

  explicit ImageLibraryStartupError(Kind kind);

  Kind kind() const { return kind_; }

  friend bool operator==(const ImageLibraryStartupError& a, const ImageLibraryStartupError& b) {
    return a.kind_ == b.kind_;
  }

 private:
  Kind kind_;
};

// The settings suite of a UI-testing run could not be opened.
class UITestCompositionError : public LibraryError {
 public:
  // "Unable to create isolated UI-test defaults suite: " + the suite name.
  static UITestCompositionError unavailableUserDefaultsSuite(std::string suiteName);

  const std::string& suiteName() const { return suiteName_; }

 private:
  explicit UITestCompositionError(std::string suiteName);

  std::string suiteName_;
};

}  // namespace lorvex
