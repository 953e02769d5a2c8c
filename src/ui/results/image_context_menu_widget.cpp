#include "ui/results/image_context_menu_widget.h"

#include <QAction>

namespace lorvex::ui {
namespace {

QString menuText(const std::string& title) {
  return QString::fromStdString(title).replace(QLatin1Char('&'), QLatin1String("&&"));
}

QIcon iconOf(const SymbolIconFunction& icons, const std::string& symbol) {
  return icons && !symbol.empty() ? icons(symbol) : QIcon();
}

}  // namespace

void populateImageContextMenu(QMenu& menu, std::vector<ImageContextMenuEntry> entries, const SymbolIconFunction& icons) {
  for (ImageContextMenuEntry& entry : entries) {
    switch (entry.kind) {
      case ImageContextMenuEntry::Kind::separator:
        menu.addSeparator();
        break;
      case ImageContextMenuEntry::Kind::submenu: {
        QMenu* submenu = menu.addMenu(iconOf(icons, entry.symbol), menuText(entry.title));
        submenu->setEnabled(entry.isEnabled);
        populateImageContextMenu(*submenu, std::move(entry.entries), icons);
        break;
      }
      case ImageContextMenuEntry::Kind::action: {
        QAction* action = menu.addAction(iconOf(icons, entry.symbol), menuText(entry.title));
        action->setEnabled(entry.isEnabled);
        QObject::connect(action, &QAction::triggered, action, [run = std::move(entry.action)] {
          if (run) run();
        });
        break;
      }
    }
  }
}

QMenu* makeImageContextMenuWidget(std::vector<ImageContextMenuEntry> entries, const SymbolIconFunction& icons,
                                  QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  populateImageContextMenu(*menu, std::move(entries), icons);
  return menu;
}

}  // namespace lorvex::ui
