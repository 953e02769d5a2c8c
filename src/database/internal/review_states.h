// The user's review flags of images: writing one image's state (favourite, delete candidate and
// notes together, for missing files too) or several images' states in one transaction, and putting back a
// batch of delete-candidate flags when the user undoes a change. A file without a review row has the default
// state.
//
// Thread safety: every operation takes the connection's lock for its whole run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/internal/sqlite_connection.h"
#include "model/image_record.h"
#include "model/review_state.h"

namespace lorvex {

class ImageProjection;
class LibrarySearch;

// A file found where nothing was before takes the review state of the records its content left
// (gone from their place, never one the program moved to the Trash). From one such record it takes
// all of it, and that record keeps nothing: a later return to the old place finds only the state
// as it is now. From several it cannot tell which one it was: it takes a favourite any of them had
// and the first note, never a delete-candidate mark (which could fall on the copy the person kept);
// the records give up what was taken and keep their marks.
struct ReviewStateHandover {
  ReviewState taken;
  std::vector<ReviewState> left;  // what each record keeps, in the order given
};
ReviewStateHandover handOverReviewState(const std::vector<ReviewState>& records);

// delete_candidate_contents: the content each delete-candidate mark was given on. The caller holds
// a transaction.
//
// Before a review write that makes the image a delete candidate: unless it is one already, the
// mark is given on the content the library holds for it now.
void noteDeleteCandidateContent(SQLiteConnection& connection, std::int64_t mediaFileID);
// A delete-candidate mark handed from one record to another keeps the content it was given on.
void moveDeleteCandidateContent(SQLiteConnection& connection, std::int64_t fromMediaFileID,
                                std::int64_t toMediaFileID);
// Two records that exchanged their review states exchange these too.
void exchangeDeleteCandidateContents(SQLiteConnection& connection, std::int64_t first, std::int64_t second);
// The content the image's delete-candidate mark was given on; the library's content of the image
// for a mark given before that was kept; nothing when neither is known.
std::optional<std::string> deleteCandidateContent(SQLiteConnection& connection, std::string_view path);

class ReviewStates {
 public:
  // Paths per restore statement.
  static constexpr std::size_t kDeleteCandidateRestoreBatchSize = 400;

  ReviewStates(SQLiteConnection& connection, ImageProjection& projection, LibrarySearch& search)
      : connection_(connection), projection_(projection), search_(search) {}

  void updateReviewState(std::string_view path, const ReviewState& state);
  // Every path is resolved before the transaction starts, so an unknown one writes nothing.
  void updateReviewStates(const std::vector<ReviewStateUpdate>& updates);
  std::vector<ImageRecord> restoreDeleteCandidateStates(
      const std::vector<DeleteCandidateStateRestore>& restores);

 private:
  SQLiteConnection& connection_;
  ImageProjection& projection_;
  LibrarySearch& search_;
};

}  // namespace lorvex
