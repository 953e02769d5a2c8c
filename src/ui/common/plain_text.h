// Plain text everywhere: texts shown by the views come from file names, tags, prompts and
// translations, never from markup. A label shows its text as written, a button or menu title shows
// "&" instead of taking it as a mnemonic marker, and a tooltip (which Qt would otherwise guess to
// be rich text) is escaped.
//
// Thread safety: the pure conversions may be called from any thread; the widget setters on the GUI
// thread only.
#pragma once

#include <QString>
#include <string>
#include <string_view>

class QAction;
class QLabel;
class QWidget;

namespace lorvex::ui {

QString qtText(std::string_view utf8);
std::string stdText(const QString& text);

// "&" doubled, for QAbstractButton, QAction and QMenu titles.
QString mnemonicSafe(const QString& text);

// The text escaped for a tooltip, which Qt shows as rich text when it looks like markup.
QString toolTipHtml(const QString& text);
void setPlainToolTip(QWidget& widget, const QString& text);
void setPlainToolTip(QAction& action, const QString& text);

// A label that never interprets its text.
QLabel* makePlainLabel(const QString& text, QWidget* parent = nullptr);
void makePlain(QLabel& label);

}  // namespace lorvex::ui
