// Keeps a library file that is cut short from killing the process.
//
// The connection reads pages through a read-only memory map of the library file. When another
// program (or a user) truncates the file, touching a mapped page past the new end raises SIGBUS,
// which would end the process. Once a file is guarded, a SIGBUS at an address that maps that file
// (device and inode, as the kernel lists the process's mappings) puts a page of zeros in place of
// the lost one and lets the read go on: SQLite then finds an empty page where a b-tree page should
// be and reports the file as damaged (SQLITE_CORRUPT), exactly what it reports when read() returns
// a short page. Every other SIGBUS goes to the handler that was installed before, or ends the
// process as it would have without this one.
//
// Thread safety: guard and unguard may be called from any thread; the handler reads the guarded
// files without locks and without allocating.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lorvex::mapped_file_guard {

struct GuardedFile {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

// Installs the handler (once per process) and guards the file at `path`. Nothing when the file
// cannot be examined, the handler cannot be installed or too many files are guarded; pages of an
// unguarded file must then not be read through a map.
std::optional<GuardedFile> guard(const std::string& path);
// Gives up one guard of the file (a file opened twice is guarded until both give it up).
void unguard(const GuardedFile& file);

}  // namespace lorvex::mapped_file_guard
