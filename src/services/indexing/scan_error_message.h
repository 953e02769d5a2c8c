// Turning an error caught during a scan into the text the library stores and shows, and into a
// classified scan failure. Every error type of the program derives from std::exception with what()
// equal to its localized description, so the description is what().
//
// Thread safety: pure functions.
#pragma once

#include <exception>
#include <string>

#include "model/image_library_scan_summary.h"

namespace lorvex {

// The message of an error: its description, or "Unknown error" for something that is not a
// std::exception.
std::string errorMessage(const std::exception& error);
std::string errorMessage(const std::exception_ptr& error);

// A failure for the file at `path` whose message is errorMessage(error) followed by what a person
// can act on without translation, when the error carries it: the system's name of its errno
// ("Unable to open file: Permission denied (EACCES)") or the chunk a PNG broke in ("invalidChunk
// (iTXt)"); ImageLibraryScanFailure::detail reads it back. Its kind is classified from the message.
ImageLibraryScanFailure scanFailure(std::string path, const std::exception_ptr& error);

}  // namespace lorvex
