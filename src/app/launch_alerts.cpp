#include "app/launch_alerts.h"

#include <QMessageBox>
#include <QPushButton>

#include "ui/common/plain_text.h"
#include "ui/common/readable_message_box.h"

namespace lorvex::app {

namespace {

using Key = ui::AppLocalizationKey;

QMessageBox* makeAlert(const ui::AppLocalization& localization, const char* objectName, Key title,
                       const std::string& message, QWidget* parent) {
  auto* box = new QMessageBox(parent);
  box->setObjectName(QString::fromLatin1(objectName));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setIcon(QMessageBox::Warning);
  box->setTextFormat(Qt::PlainText);
  box->setWindowTitle(ui::qtText(localization.lookup(title)));
  ui::keepMessageBoxReadable(*box);
  box->setText(ui::qtText(localization.lookup(title)));
  box->setInformativeText(ui::qtText(message));
  QPushButton* close = box->addButton(ui::mnemonicSafe(ui::qtText(localization.lookup(Key::commonClose))),
                                      QMessageBox::AcceptRole);
  close->setObjectName(QStringLiteral("common.close"));
  box->setDefaultButton(close);
  box->setEscapeButton(close);
  return box;
}

}  // namespace

QMessageBox* makeInstanceUnreachableAlert(const ui::AppLocalization& localization, QWidget* parent) {
  return makeAlert(localization, "instanceUnreachableAlert", Key::appInstanceUnreachableTitle,
                   localization.lookup(Key::appInstanceUnreachableMessage), parent);
}

QMessageBox* makeSettingsUnreadableAlert(const ui::AppLocalization& localization,
                                         const std::filesystem::path& keptFile, QWidget* parent) {
  return makeAlert(
      localization, "settingsUnreadableAlert", Key::appSettingsUnreadableTitle,
      localization.lookup(Key::appSettingsUnreadableMessage, {ui::FormatArgument(keptFile.string())}),
      parent);
}

}  // namespace lorvex::app
