// Menus of the sidebar built from the plain menu models: section titles by QMenu::addSection,
// separators, actions with their symbol icons, "&" doubled so titles show as written. The ellipsis
// buttons fill their menu on aboutToShow, so the enable states are those of the moment it opens.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QToolButton>
#include <functional>
#include <vector>

#include "ui/sidebar/library_actions_menu_model.h"

class QMenu;

namespace lorvex::ui {

// Replaces the menu's contents with the entries.
void fillMenu(QMenu& menu, const std::vector<SidebarMenuEntry>& entries);

// The small square tile (22 × 22, radius 5) with a symbol, used as the ellipsis menus' label.
QIcon libraryActionTileIcon(std::string_view symbol, bool isEnabled, const QPalette& palette);
inline constexpr int kLibraryActionTileSize = 22;

// An ellipsis tool button whose menu (instant popup) is made from `model` each time it opens.
class EllipsisMenuButton : public QToolButton {
  Q_OBJECT

 public:
  explicit EllipsisMenuButton(std::function<std::vector<SidebarMenuEntry>()> model,
                              QWidget* parent = nullptr);
  // The same entries in a context menu at `globalPosition` (a row's secondary click).
  void popUpContextMenu(const QPoint& globalPosition);

 private:
  std::function<std::vector<SidebarMenuEntry>()> model_;
};

}  // namespace lorvex::ui
