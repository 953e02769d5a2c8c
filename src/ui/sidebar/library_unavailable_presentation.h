// What the window says in place of the library when it could not be opened: that it could not,
// why (another process uses it, a newer Lorvex made it, it is read-only, it is damaged, or the
// failure's own text), where it is, and whether it opens by itself once the other process lets go.
//
// Thread safety: a pure value and function, callable from any thread.
#pragma once

#include <optional>
#include <string>

#include "model/library_open_failure.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"

namespace lorvex::ui {

struct LibraryUnavailablePresentation {
  std::string title;
  std::string reason;
  std::optional<std::string> location;  // absent when the folder is not known
  bool showsProgress = false;           // waiting for the other process to let go

  static LibraryUnavailablePresentation make(const LibraryOpenFailure& failure,
                                             const AppLocalization& localizer,
                                             const ViewResourceDisplay& resourceDisplay);

  friend bool operator==(const LibraryUnavailablePresentation&,
                         const LibraryUnavailablePresentation&) = default;
};

}  // namespace lorvex::ui
