// SearchCancelledError: a search whose stop token was triggered. The database throws it in place of
// whatever the interrupted statement reported, and the store throws it when a stop comes before or
// after the call; both reach it here, beside the base every library failure shares.
//
// Thread safety: a plain value; copies may be used from any thread.
#pragma once

#include "model/library_error.h"

namespace lorvex {

// Never thrown by a write.
class SearchCancelledError : public LibraryError {
 public:
  SearchCancelledError() : LibraryError(Kind::cancelled, "The search was cancelled") {}
};

}  // namespace lorvex
