// Copying a text for the user (a tag, a metadata value, a diagnostics report): the clipboard's
// contents are replaced by the text alone, as plain text.
//
// Thread safety: GUI thread only.
#pragma once

#include <string_view>

namespace lorvex::ui {

// An empty text still replaces what the clipboard held.
void copyTextToClipboard(std::string_view text);

}  // namespace lorvex::ui
