#include "app/desktop_integration.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <string>

#include "platform/log.h"
#include "ui/common/localization_table.h"
#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"

namespace lorvex::app {

bool installQtTranslations(QCoreApplication& application, std::string_view language) {
  if (language.empty() || language == ui::kEnglishLanguage) return true;  // Qt's texts are English
  auto* translator = new QTranslator(&application);
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  if (!translator->load(QStringLiteral("qtbase_") + ui::qtText(language), folder)) {
    platform::logInfo("App", "no translation of Qt's own texts for \"" + std::string(language) + "\" in " +
                                 ui::stdText(folder) + " (Debian: qt6-translations-l10n)");
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  return true;
}

QIcon applicationIcon() {
  return QIcon::fromTheme(
      ui::qtText(kDesktopEntryName),
      QIcon(QStringLiteral(":/desktop/") + ui::qtText(kDesktopEntryName) + QStringLiteral(".svg")));
}

void integrateWithDesktop(QCoreApplication& application) {
  const std::string language = ui::liveInterfaceLanguage();
  installQtTranslations(application, language);
  QApplication::setFont(ui::interfaceFont(language));
  QGuiApplication::setDesktopFileName(ui::qtText(kDesktopEntryName));
  QApplication::setWindowIcon(applicationIcon());
}

}  // namespace lorvex::app
