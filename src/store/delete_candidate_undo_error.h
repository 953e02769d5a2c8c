// The failure of a delete-candidate undo whose restore came back without a record it asked for:
// the marks were written, but that record cannot be put back into the results.
//
// Thread safety: a plain value; copies may be used from any thread.
#pragma once

#include <string>
#include <utility>

#include "model/library_error.h"

namespace lorvex {

class DeleteCandidateUndoError : public LibraryError {
 public:
  enum class Kind { incompleteRestore };

  static DeleteCandidateUndoError incompleteRestore(const std::string& path) {
    return DeleteCandidateUndoError(Kind::incompleteRestore,
                                    "Delete-candidate undo did not return indexed record: " + path);
  }

  Kind kind() const { return kind_; }

 private:
  DeleteCandidateUndoError(Kind kind, std::string description)
      : LibraryError(LibraryError::Kind::database, std::move(description)), kind_(kind) {}

  Kind kind_;
};

}  // namespace lorvex
