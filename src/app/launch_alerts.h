// The alerts a launch shows about itself, in the UI's language: the Lorvex already running on this
// library could not be reached, or the settings and their last good copy could not be read. Each
// is a warning box with one Close button, deleted when closed.
//
// Thread safety: GUI thread only.
#pragma once

#include <filesystem>

#include "ui/common/app_localization.h"

class QMessageBox;
class QWidget;

namespace lorvex::app {

// objectName "instanceUnreachableAlert".
QMessageBox* makeInstanceUnreachableAlert(const ui::AppLocalization& localization, QWidget* parent = nullptr);

// objectName "settingsUnreadableAlert"; names the file that was kept.
QMessageBox* makeSettingsUnreadableAlert(const ui::AppLocalization& localization,
                                         const std::filesystem::path& keptFile, QWidget* parent = nullptr);

}  // namespace lorvex::app
