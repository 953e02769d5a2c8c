// The one error line at the foot of the sidebar. The store's error is shown by its notice, in the
// window's language (error_notice_text.h); the store's message, the library's own text, only
// tells which failure it is. While the last move to the Trash left failures and the message is
// that move's own (the fixed Trash failure text, or the message of one of its failures, as a
// refused move records them), the line names the failed operation instead. Any other error shows
// itself even after a failed move, so a later failure (a refused registration, say) is never
// hidden behind a Trash message.
//
// Thread safety: a pure value, callable from any thread.
#pragma once

#include <optional>
#include <string>

#include "model/error_notice.h"
#include "model/image_trash_summary.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"

namespace lorvex::ui {

struct SidebarErrorPresentation {
  std::optional<std::string> errorMessage;
  std::optional<ImageTrashSummary> lastTrashSummary;
  ViewResourceDisplay resourceDisplay;
  // The store's errorNotice; a message without one is told as `unexpected`.
  std::optional<ErrorNotice> errorNotice;

  // Absent when the sidebar shows no error line.
  std::optional<std::string> message(const AppLocalization& localizer) const;

  friend bool operator==(const SidebarErrorPresentation&, const SidebarErrorPresentation&) = default;
};

}  // namespace lorvex::ui
