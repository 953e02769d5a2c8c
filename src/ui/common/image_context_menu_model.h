// The context menu of an image, as a plain model a thin QMenu (or a test) walks: its entries in
// order, their titles, symbols and enabled states, and the action each runs. The menu is opened
// either on a grid tile (`contextSelection`: the tile's path and the review state it showed) or on
// one record (`single`: the detail panel and the preview).
//
// A tile that belongs to the selection acts on the whole loaded selection; any other tile acts on
// its own record and leaves the selection alone. The favourite item adds the mark unless every
// target already has it (then it removes it), and likewise the delete-candidate item; with two or
// more targets their titles carry the count. Reveal appears only for exactly one target file. The
// two tag-concept submenus appear only when concepts are switched on and some exist, and are
// disabled while a concept change runs.
//
// Titles, symbols and enabled states are fixed when the menu is built. The actions hold the models
// (weakly: models that are gone make them do nothing) and a copy of the target, and work out the
// records and paths again when chosen, since the window and the selection may change while the
// menu is open.
//
// Thread safety: the models' thread only.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "model/review_state.h"
#include "store/feature_models.h"
#include "store/record_ref.h"
#include "ui/common/app_localization.h"

namespace lorvex::ui {

struct ImageContextMenuTarget {
  struct ContextSelection {
    std::string path;
    ReviewState reviewState;  // as the tile showed it
  };
  struct Single {
    RecordRef record;
  };

  std::variant<ContextSelection, Single> value;

  static ImageContextMenuTarget contextSelection(std::string path, ReviewState reviewState) {
    return {ContextSelection{std::move(path), std::move(reviewState)}};
  }
  static ImageContextMenuTarget single(RecordRef record) { return {Single{std::move(record)}}; }
};

// What the menu reads and changes: the loaded results and their selection, the review marks, the
// tag concepts, and the context their flows run in (and that says whether concepts are on).
struct ImageContextMenuModels {
  ResultsModel& results;
  ReviewModel& review;
  TagConceptsModel& concepts;
  StoreContext& context;
};

struct ImageContextMenuEntry {
  enum class Kind { action, separator, submenu };

  Kind kind = Kind::action;
  std::string title;   // plain text: the menu widget escapes "&" itself
  std::string symbol;  // a symbol name for the icon lookup; empty for separators
  bool isEnabled = true;
  std::function<void()> action;                // action entries only
  std::vector<ImageContextMenuEntry> entries;  // submenu entries only
};

struct ImageContextMenuReviewSummary {
  int count = 0;
  bool allFavorite = false;
  bool allDeleteCandidates = false;
  friend bool operator==(const ImageContextMenuReviewSummary&,
                         const ImageContextMenuReviewSummary&) = default;
};

// Opens a file's folder in the file manager with the file highlighted.
using RevealFileInFileManager = std::function<void(const std::string& path)>;

// The derivations the menu is built from, readable on their own.
std::vector<ReviewState> imageContextMenuReviewStates(const ResultsModel& results,
                                                      const ImageContextMenuTarget& target);
ImageContextMenuReviewSummary summarizeReviewStates(const std::vector<ReviewState>& states);
std::optional<std::string> imageContextMenuRevealPath(const ReviewModel& review,
                                                      const ImageContextMenuTarget& target);
std::vector<std::string> imageContextMenuTargetPaths(const ResultsModel& results,
                                                     const ImageContextMenuTarget& target);
bool imageContextMenuReviewActionsEnabled(const ResultsModel& results, const ReviewModel& review,
                                          const ImageContextMenuTarget& target);

// A review item's title: the plain title, or for two or more targets the bulk title made of the
// plain title and the count.
std::string reviewActionTitle(AppLocalizationKey key, int count, const AppLocalization& localizer);

std::vector<ImageContextMenuEntry> makeImageContextMenu(ImageContextMenuModels models,
                                                        ImageContextMenuTarget target,
                                                        const AppLocalization& localizer,
                                                        RevealFileInFileManager reveal);

}  // namespace lorvex::ui
