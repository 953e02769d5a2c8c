// The failure of a delete-candidate undo whose restore came back without a record it asked for:
// the marks were written, but that record cannot be put back into the results.
//
// Thread safety: a plain value.
#pragma once

#include <stdexcept>
#include <string>

namespace lorvex {

class DeleteCandidateUndoError : public std::runtime_error {
 public:
  static DeleteCandidateUndoError incompleteRestore(const std::string& path) {
    return DeleteCandidateUndoError("Delete-candidate undo did not return indexed record: " + path);
  }

 private:
  explicit DeleteCandidateUndoError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace lorvex
