// A folder picker the test answers in place of the user: it records how it was opened and keeps
// the open request's callbacks until the test closes it with a choice, an error or a cancel.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/folder_picker.h"

namespace lorvex::app::testing {

class ScriptedFolderPicker final : public FolderPicker {
 public:
  struct Opening {
    bool allowsMultipleSelection = false;
    std::function<void(FolderPickerResult)> completion;
    std::function<void()> dismissed;
  };

  void open(QWidget*, bool allowsMultipleSelection, std::function<void(FolderPickerResult)> completion,
            std::function<void()> dismissed) override {
    openings.push_back({allowsMultipleSelection, std::move(completion), std::move(dismissed)});
    if (autoAnswer) answer(*autoAnswer);
  }

  // Closes the latest opening as the dialog does: dismissed, then the answer (none for a cancel).
  void answer(const std::optional<FolderPickerResult>& result) {
    Opening& opening = openings.back();
    if (opening.dismissed) opening.dismissed();
    if (result && opening.completion) opening.completion(*result);
  }

  std::vector<Opening> openings;
  // When set, every opening is answered at once with it.
  std::optional<FolderPickerResult> autoAnswer;
};

}  // namespace lorvex::app::testing
