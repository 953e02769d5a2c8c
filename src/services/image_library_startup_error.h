// The failures of preparing the library at start-up that the application shows as they are.
//
// Thread safety: plain values; copies may be used from any thread.
#pragma once

#include <exception>
#include <string>

namespace lorvex {

class ImageLibraryStartupError : public std::exception {
 public:
  enum class Kind {
    libraryNotPrepared,       // the live library is not in place (yet)
    libraryFromNewerVersion,  // the database was written by a newer Lorvex; it was left untouched
  };

  explicit ImageLibraryStartupError(Kind kind);

  Kind kind() const { return kind_; }
  const std::string& localizedDescription() const;
  const char* what() const noexcept override { return localizedDescription().c_str(); }

  friend bool operator==(const ImageLibraryStartupError& a, const ImageLibraryStartupError& b) {
    return a.kind_ == b.kind_;
  }

 private:
  Kind kind_;
};

// The settings suite of a UI-testing run could not be opened.
class UITestCompositionError : public std::exception {
 public:
  // "Unable to create isolated UI-test defaults suite: " + the suite name.
  static UITestCompositionError unavailableUserDefaultsSuite(std::string suiteName);

  const std::string& suiteName() const { return suiteName_; }
  const std::string& localizedDescription() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  explicit UITestCompositionError(std::string suiteName);

  std::string suiteName_;
  std::string description_;
};

}  // namespace lorvex
