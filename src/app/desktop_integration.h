// What a Linux desktop expects of an application beyond its windows: Qt's own texts in the
// interface's language and a font that draws it, and the identity that ties the running windows to
// the installed desktop entry and its icon (see the install rules in resources/desktop).
//
// Thread safety: GUI thread, once the application object exists.
#pragma once

#include <QIcon>
#include <string_view>

class QCoreApplication;

namespace lorvex::app {

// The desktop entry's name (without ".desktop") and the icon's name in the icon theme.
inline constexpr std::string_view kDesktopEntryName = "app.lorvex.Lorvex";

// Qt's translation of its own texts (file dialog, text fields' context menus, standard buttons) for
// `language` ("ja"), from the folder Qt keeps its translations in (Debian's
// qt6-translations-l10n). English needs none. False, logged, when Qt has no table for it here.
bool installQtTranslations(QCoreApplication& application, std::string_view language);

// The application's icon: the icon theme's (the installed one) or the one built into the program.
QIcon applicationIcon();

// Qt's translations and the application font (ui::interfaceFont) for the interface's language, the
// desktop entry's name (so a Wayland compositor matches the windows to the entry) and the windows'
// icon.
void integrateWithDesktop(QCoreApplication& application);

}  // namespace lorvex::app
