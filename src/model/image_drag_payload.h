// The file offered when an image is dragged out of the application.
//
// Thread safety: a plain value; may be copied to and read on any thread.
#pragma once

#include <string>

namespace lorvex {

struct ImageDragPayload {
  // The file's location, held as its absolute path (a file URL without the "file://" scheme).
  std::string fileURL;

  friend bool operator==(const ImageDragPayload&, const ImageDragPayload&) = default;
};

}  // namespace lorvex
