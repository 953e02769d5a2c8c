// Why the library could not be opened at all, for the window to say in its place: the kind of the
// failure (another process holds it, a newer Lorvex wrote it, it is read-only, it is damaged, or
// another failure) and where the library is.
//
// Thread safety: a plain value; copies may be used from any thread.
#pragma once

#include <string>

#include "model/error_notice.h"

namespace lorvex {

struct LibraryOpenFailure {
  ErrorNotice notice;
  // The library folder; empty when whoever composed the store did not name it.
  std::string libraryFolder;
  // Another process holds the library: it is opened as soon as that process lets go.
  bool opensWhenReleased = false;

  friend bool operator==(const LibraryOpenFailure&, const LibraryOpenFailure&) = default;
};

}  // namespace lorvex
