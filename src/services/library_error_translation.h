// Every failure that leaves the library service is a LibraryError (model/library_error.h). The
// service's collaborators throw their own LibraryErrors, which pass unchanged; the platform layer
// and the standard library cannot derive from it, so their failures are turned into a
// LibraryError of the matching kind with the same text at the service's edge. The original stays
// reachable as the new error's nested exception (std::rethrow_if_nested), errno and all.
//
// The same place tells what a person is told about a failure (model/error_notice.h): the kind of
// each typed error, and of the platform's and the standard library's failures by their errno.
//
// Thread safety: pure functions.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "model/error_notice.h"
#include "model/library_error.h"

namespace lorvex {

// `error` itself when it is a LibraryError, otherwise a LibraryError with its what() text
// ("Unknown error" for one that is not a std::exception) that nests it. Null stays null.
std::exception_ptr asLibraryError(const std::exception_ptr& error);

// What the person is told about `error`. A LibraryError made by asLibraryError is told by what it
// wraps; a LibraryError of a type this function does not know, by its errorKind(). Null, and
// anything unknown, is `unexpected`. A failure of the library database that the system caused
// carries the system's reason as its detail.
ErrorNotice errorNotice(const std::exception_ptr& error);

// The errno a failure of the system carries (a platform file error, a standard library system
// error, also when asLibraryError wrapped it); 0 for any other failure.
int errorNumberOf(const std::exception_ptr& error);

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
