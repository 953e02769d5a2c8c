// Whether a failed library call was only a cancellation, which the store does not show (other
// failures show errorMessage(), services/indexing/scan_error_message.h).
//
// Thread safety: pure functions.
#pragma once

#include <exception>

namespace lorvex {

// Whether the error is a LibraryError of kind `cancelled` (a search stopped by its stop token).
bool isCancellation(const std::exception_ptr& error);

}  // namespace lorvex
