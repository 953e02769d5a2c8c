// The image context menu as a QMenu: a thin rendering of the plain menu model. Each entry becomes
// an action (title as plain text, its "&" doubled so none turns into a mnemonic; icon from its
// symbol; enabled as the model says), a separator or a submenu; choosing an action runs the
// entry's action. The menu deletes itself when it closes.
//
// Thread safety: GUI thread only.
#pragma once

#include <QMenu>
#include <vector>

#include "ui/common/image_context_menu_model.h"

namespace lorvex::ui {

void populateImageContextMenu(QMenu& menu, std::vector<ImageContextMenuEntry> entries);

QMenu* makeImageContextMenuWidget(std::vector<ImageContextMenuEntry> entries, QWidget* parent);

}  // namespace lorvex::ui
