// What preparing the library had to do with the library file it found, for the person to be told:
// a damaged file set aside, a new library built from the registered folders and the marks read
// back from the old file carried into it; or a file that was not a library of this kind (another
// format, or empty) set aside the same way, with nothing to read back.
//
// Thread safety: a plain value; copies may be used from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lorvex {

struct LibraryRecoveryNotice {
  enum class Kind {
    damagedLibraryRebuilt,      // the file was damaged beyond repair
    unreadableLibrarySetAside,  // another format, or a file of no bytes
  };

  Kind kind = Kind::damagedLibraryRebuilt;
  // The name the old file now has, in the library folder.
  std::string setAsideFileName;
  // How many images' marks (favourite, delete candidate, notes) were read back; damaged only.
  std::optional<std::int64_t> recoveredMarkCount;
  // Damaged only: whether any mark could be read from the old file at all. The count grows as the
  // rebuild indexes the images again; with nothing read it stays 0 for good.
  bool marksRead = true;

  friend bool operator==(const LibraryRecoveryNotice&, const LibraryRecoveryNotice&) = default;
};

}  // namespace lorvex
