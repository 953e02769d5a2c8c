#include "ui/common/plain_text.h"

#include <QAction>
#include <QLabel>
#include <QWidget>

namespace lorvex::ui {

QString qtText(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string stdText(const QString& text) {
  return text.toStdString();
}

QString mnemonicSafe(const QString& text) {
  QString escaped = text;
  escaped.replace(QLatin1Char('&'), QLatin1String("&&"));
  return escaped;
}

QString toolTipHtml(const QString& text) {
  if (text.isEmpty()) return {};
  // Qt keeps white space runs and line breaks of plain text only inside a pre-wrap paragraph.
  return QStringLiteral("<p style='white-space:pre-wrap'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

void setPlainToolTip(QWidget& widget, const QString& text) {
  widget.setToolTip(toolTipHtml(text));
}

void setPlainToolTip(QAction& action, const QString& text) {
  action.setToolTip(toolTipHtml(text));
}

QLabel* makePlainLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(parent);
  makePlain(*label);
  label->setText(text);
  return label;
}

void makePlain(QLabel& label) {
  label.setTextFormat(Qt::PlainText);
  label.setTextInteractionFlags(label.textInteractionFlags() & ~Qt::LinksAccessibleByMouse);
}

}  // namespace lorvex::ui
