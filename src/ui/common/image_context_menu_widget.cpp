#include "ui/common/image_context_menu_widget.h"

#include <QAction>

#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"

namespace lorvex::ui {
namespace {

QString menuText(const std::string& title) {
  return mnemonicSafe(qtText(title));
}

QIcon iconOf(const std::string& symbol) {
  return symbol.empty() ? QIcon() : symbolIcon(symbol);
}

}  // namespace

void populateImageContextMenu(QMenu& menu, std::vector<ImageContextMenuEntry> entries) {
  for (ImageContextMenuEntry& entry : entries) {
    switch (entry.kind) {
      case ImageContextMenuEntry::Kind::separator:
        menu.addSeparator();
        break;
      case ImageContextMenuEntry::Kind::submenu: {
        QMenu* submenu = menu.addMenu(iconOf(entry.symbol), menuText(entry.title));
        submenu->setEnabled(entry.isEnabled);
        populateImageContextMenu(*submenu, std::move(entry.entries));
        break;
      }
      case ImageContextMenuEntry::Kind::action: {
        QAction* action = menu.addAction(iconOf(entry.symbol), menuText(entry.title));
        action->setEnabled(entry.isEnabled);
        QObject::connect(action, &QAction::triggered, action, [run = std::move(entry.action)] {
          if (run) run();
        });
        break;
      }
    }
  }
}

QMenu* makeImageContextMenuWidget(std::vector<ImageContextMenuEntry> entries, QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  populateImageContextMenu(*menu, std::move(entries));
  return menu;
}

}  // namespace lorvex::ui
