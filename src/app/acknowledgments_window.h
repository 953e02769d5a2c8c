// The acknowledgments window: one entry per linked component, its name above its licence text
// (selectable, in a small monospaced font), scrolling vertically. Made on first use, then only
// shown, raised and activated again; Escape closes it.
//
// Thread safety: GUI thread only.
#pragma once

#include <QWidget>

#include "ui/common/app_localization.h"

namespace lorvex::app {

class AcknowledgmentsWindow : public QWidget {
  Q_OBJECT
 public:
  // objectName "acknowledgments". Licences are read from `licenseFolder` (the built-in ones by
  // default) when the window is made.
  explicit AcknowledgmentsWindow(const ui::AppLocalization& localization, QWidget* parent = nullptr,
                                 std::string_view licenseFolder = {});
};

}  // namespace lorvex::app
