// The shortcut reference as a window-modal sheet over the main window: a header with the title and
// a close button, then the seven sections, each a grid of key badges and what they do. Long action
// texts wrap; the badge column keeps its minimum width.
//
// Thread safety: GUI thread only.
#pragma once

#include <QDialog>
#include <QLabel>

#include "app/shortcut_help_presentation.h"

namespace lorvex::app {

// One key combination, drawn as a small rounded badge in a monospaced font.
class ShortcutKeyBadge : public QLabel {
  Q_OBJECT
 public:
  ShortcutKeyBadge(const QString& text, int minimumWidth, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class ShortcutHelpSheet : public QDialog {
  Q_OBJECT
 public:
  // objectName "shortcutHelp"; the close button "shortcutHelp.close".
  ShortcutHelpSheet(const ShortcutHelpPresentation& presentation, const ShortcutHelpSheetLayout& layout,
                    const ui::AppLocalization& localization, QWidget* parent = nullptr);
};

}  // namespace lorvex::app
