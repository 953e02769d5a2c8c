#include "ui/common/copy_tag_menu_button.h"

#include <QAction>
#include <QMenu>

#include "ui/common/app_localization.h"
#include "ui/common/clipboard.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"

namespace lorvex::ui {

QAction* CopyTagMenuButton::addTo(QMenu& menu, std::string tag, const AppLocalization* localization) {
  const AppLocalization& texts = localization != nullptr ? *localization : AppLocalization::live();
  QAction* action =
      menu.addAction(symbolIcon("doc.on.doc"), mnemonicSafe(qtText(texts.lookup("metadata.copyTag"))));
  action->setObjectName(QStringLiteral("copyTag"));
  QObject::connect(action, &QAction::triggered, action, [tag = std::move(tag)] { copyTextToClipboard(tag); });
  return action;
}

}  // namespace lorvex::ui
