// Every failure that leaves the library service is a LibraryError (model/library_error.h). The
// service's collaborators throw their own LibraryErrors, which pass unchanged; the platform layer
// and the standard library cannot derive from it, so their failures are turned into a
// LibraryError of the matching kind with the same text at the service's edge. The original stays
// reachable as the new error's nested exception (std::rethrow_if_nested), errno and all.
//
// Thread safety: pure functions.
#pragma once

#include <exception>
#include <utility>

#include "model/library_error.h"

namespace lorvex {

// `error` itself when it is a LibraryError, otherwise a LibraryError with its what() text
// ("Unknown error" for one that is not a std::exception) that nests it. Null stays null.
std::exception_ptr asLibraryError(const std::exception_ptr& error);

// Runs `operation` and returns what it returns; whatever it throws reaches the caller as a
// LibraryError.
template <typename Operation>
decltype(auto) throwingLibraryErrors(Operation&& operation) {
  try {
    return std::forward<Operation>(operation)();
  } catch (...) {
    std::rethrow_exception(asLibraryError(std::current_exception()));
  }
}

}  // namespace lorvex
