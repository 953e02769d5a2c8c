#include "ui/sidebar/sidebar_menus.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>

#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"

namespace lorvex::ui {

void fillMenu(QMenu& menu, const std::vector<SidebarMenuEntry>& entries) {
  menu.clear();
  for (const SidebarMenuEntry& entry : entries) {
    switch (entry.kind) {
      case SidebarMenuEntry::Kind::sectionTitle:
        menu.addSection(mnemonicSafe(qtText(entry.title)));
        break;
      case SidebarMenuEntry::Kind::separator:
        menu.addSeparator();
        break;
      case SidebarMenuEntry::Kind::action: {
        QAction* action = menu.addAction(mnemonicSafe(qtText(entry.title)));
        if (!entry.symbol.empty()) {
          action->setIcon(entry.isDestructive ? tintedSymbolIcon(entry.symbol, roleColor(ColorRole::red))
                                              : symbolIcon(entry.symbol));
        }
        action->setEnabled(entry.isEnabled);
        action->setProperty("destructive", entry.isDestructive);
        if (entry.action) QObject::connect(action, &QAction::triggered, &menu, entry.action);
        break;
      }
    }
  }
}

QIcon libraryActionTileIcon(std::string_view symbol, bool isEnabled, const QPalette& palette) {
  QIcon icon;
  for (const qreal dpr : {1.0, 2.0}) {
    QPixmap tile(QSize(kLibraryActionTileSize, kLibraryActionTileSize) * dpr);
    tile.setDevicePixelRatio(dpr);
    tile.fill(Qt::transparent);
    QPainter painter(&tile);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor primary = roleColor(ColorRole::primary, palette);
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, kLibraryActionTileSize, kLibraryActionTileSize), 5, 5);
    painter.fillPath(path, withOpacity(primary, isEnabled ? 0.1 : 0.04));
    const QPixmap glyph =
        symbolPixmap(symbol, 12, isEnabled ? primary : roleColor(ColorRole::secondary, palette), dpr);
    painter.drawPixmap(QPointF((kLibraryActionTileSize - 12) / 2.0, (kLibraryActionTileSize - 12) / 2.0),
                       glyph);
    painter.end();
    icon.addPixmap(tile);
  }
  return icon;
}

EllipsisMenuButton::EllipsisMenuButton(std::function<std::vector<SidebarMenuEntry>()> model, QWidget* parent)
    : QToolButton(parent), model_(std::move(model)) {
  setPopupMode(QToolButton::InstantPopup);
  setAutoRaise(true);
  setIcon(libraryActionTileIcon("ellipsis", true, palette()));
  setIconSize(QSize(kLibraryActionTileSize, kLibraryActionTileSize));
  setFixedSize(kLibraryActionTileSize + 4, kLibraryActionTileSize + 4);
  setStyleSheet(
      "QToolButton { border: none; padding: 0; } QToolButton::menu-indicator { image: none; width: 0; }");
  auto* menu = new QMenu(this);
  connect(menu, &QMenu::aboutToShow, this, [this, menu] { fillMenu(*menu, model_()); });
  setMenu(menu);
}

void EllipsisMenuButton::popUpContextMenu(const QPoint& globalPosition) {
  menu()->popup(globalPosition);
}

}  // namespace lorvex::ui
