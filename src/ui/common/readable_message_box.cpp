#include "ui/common/readable_message_box.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <algorithm>

#include "ui/common/wrapped_text_label.h"

namespace lorvex::ui {
namespace {

// About forty average characters, and the widest a message line grows before it wraps.
constexpr int kComfortableLineWidth = 320;
constexpr int kWidestLineWidth = 480;
// A title bar's buttons and margins: close, maximise and minimise, about 40 each.
constexpr int kTitleBarChromeWidth = 120;

void applyReadableWidth(QMessageBox& box) {
  // The box lays its texts out again whenever one changes, and sizes itself to the minimum of that
  // layout; its main text label stays, in the column the message shares.
  auto* text = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  if (text == nullptr) return;
  text->setMinimumWidth(readableMessageBoxTextWidth(
      box.windowTitle(), QApplication::font("QMdiSubWindowTitleBar"), box.informativeText(), box.font()));
}

class ReadableWidthOnShow final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // Before the box's own show sizes it.
    if (event->type() == QEvent::Show) applyReadableWidth(*static_cast<QMessageBox*>(watched));
    return false;
  }
};

}  // namespace

int readableMessageBoxTextWidth(const QString& windowTitle, const QFont& titleBarFont, const QString& message,
                                const QFont& messageFont) {
  QFont bold = titleBarFont;
  bold.setBold(true);
  const int title = QFontMetrics(bold).horizontalAdvance(windowTitle) + kTitleBarChromeWidth;
  const int lines = message.isEmpty() ? 0 : balancedWrapWidth(message, messageFont, kWidestLineWidth);
  return std::max({kComfortableLineWidth, title, lines});
}

void keepMessageBoxReadable(QMessageBox& box) {
  box.installEventFilter(new ReadableWidthOnShow(&box));
  applyReadableWidth(box);
}

}  // namespace lorvex::ui
