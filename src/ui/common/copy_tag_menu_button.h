// The "Copy Tag" item of the context menus of tag chips and tag suggestion rows: choosing it puts
// the tag on the clipboard as plain text, replacing whatever the clipboard held.
//
// Thread safety: GUI thread only.
#pragma once

#include <string>

class QAction;
class QMenu;

namespace lorvex::ui {

class AppLocalization;

class CopyTagMenuButton {
 public:
  // Appends the item (objectName "copyTag", the doc.on.doc symbol) to `menu` and returns it; the
  // menu owns it. `localization` defaults to the live one. An empty tag copies an empty text.
  static QAction* addTo(QMenu& menu, std::string tag, const AppLocalization* localization = nullptr);
};

}  // namespace lorvex::ui
