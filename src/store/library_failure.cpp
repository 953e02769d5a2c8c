#include "store/library_failure.h"

#include "model/library_error.h"

namespace lorvex {

bool isCancellation(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const LibraryError& libraryError) {
    return libraryError.errorKind() == LibraryError::Kind::cancelled;
  } catch (...) {
    return false;
  }
}

}  // namespace lorvex
