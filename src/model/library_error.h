// LibraryError: the one base of every failure the library throws at its callers, so the store can
// show any failure (its localizedDescription()) and act on its kind without knowing each layer's
// own error types. Each layer's error type derives from it and keeps its own finer kinds and
// payloads; what() and localizedDescription() are the same text.
//
// Thread safety: a plain value; copies may be used from any thread.
#pragma once

#include <array>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "model/raw_value.h"

namespace lorvex {

class LibraryError : public std::exception {
 public:
  // What a caller may do about a failure.
  enum class Kind {
    cancelled,           // the caller stopped the operation: nothing to show
    libraryUnavailable,  // the library cannot be used (not prepared, newer, in use elsewhere)
    database,            // the library database failed
    fileSystem,          // a file or folder could not be read, written or created
    folderAccess,        // a registered folder or its stored bookmarks
    folderMonitoring,    // watching the registered folders for changes
    thumbnail,           // rendering or storing a thumbnail
    refused,             // the request itself cannot be carried out (not registered, not a candidate, …)
    configuration,       // settings or the test composition
    unexpected,          // anything else, passed on with its own text
  };

  LibraryError(Kind kind, std::string description) : errorKind_(kind), description_(std::move(description)) {}

  // Named so that a derived error's own kind() stays its finer kind.
  Kind errorKind() const { return errorKind_; }
  // The text the application shows.
  const std::string& localizedDescription() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  Kind errorKind_;
  std::string description_;
};

// The kinds' names, for logs and test output.
template <>
struct RawValueTable<LibraryError::Kind> {
  using Kind = LibraryError::Kind;
  using Raw = std::string_view;
  static constexpr std::array<std::pair<Kind, Raw>, 10> entries{{
      {Kind::cancelled, "cancelled"},
      {Kind::libraryUnavailable, "libraryUnavailable"},
      {Kind::database, "database"},
      {Kind::fileSystem, "fileSystem"},
      {Kind::folderAccess, "folderAccess"},
      {Kind::folderMonitoring, "folderMonitoring"},
      {Kind::thumbnail, "thumbnail"},
      {Kind::refused, "refused"},
      {Kind::configuration, "configuration"},
      {Kind::unexpected, "unexpected"},
  }};
};

}  // namespace lorvex
