#include "ui/common/readable_message_box.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <algorithm>

#include "ui/common/phrase_line_breaks.h"
#include "ui/common/wrapped_text_label.h"

namespace lorvex::ui {
namespace {

// About forty average characters, and the widest a message line grows before it wraps.
constexpr int kComfortableLineWidth = 320;
constexpr int kWidestLineWidth = 480;
// A title bar's buttons and margins: close, maximise and minimise, about 40 each.
constexpr int kTitleBarChromeWidth = 120;

void applyReadableTexts(QMessageBox& box) {
  // The box lays its texts out again whenever one changes, and sizes itself to the minimum of that
  // layout; its main text label stays, in the column the message shares.
  auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  if (label == nullptr) return;
  // The box's labels are QLabels, which break Japanese inside words: they are given their texts
  // held together within phrases (copying takes the joiners out again, see CopiesTheTextItself).
  const QString message =
      labelTextInPhrases(withoutPhraseJoiners(box.informativeText()), box.font(), kWidestLineWidth);
  const int width = readableMessageBoxTextWidth(
      box.windowTitle(), QApplication::font("QMdiSubWindowTitleBar"), message, box.font());
  label->setMinimumWidth(width);
  const QString text = labelTextInPhrases(withoutPhraseJoiners(box.text()), label->font(), width);
  // Only a changed text is set again: setting one has the box lay itself out anew.
  if (text != box.text()) box.setText(text);
  if (message != box.informativeText()) box.setInformativeText(message);
}

// Whatever the box or one of its labels puts on the clipboard (Ctrl+C on the box copies its title,
// texts and buttons; a selected part of a label is copied with Ctrl+C, its menu or, under X11, by
// selecting it) is the text as written, without the joiners its labels hold.
void dropJoinersFromClipboard() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  for (const QClipboard::Mode mode : {QClipboard::Clipboard, QClipboard::Selection}) {
    if (mode == QClipboard::Selection && !clipboard->supportsSelection()) continue;
    const QString copied = clipboard->text(mode);
    const QString text = withoutPhraseJoiners(copied);
    if (text != copied) clipboard->setText(text, mode);
  }
}

bool mayCopy(const QEvent& event) {
  switch (event.type()) {
    case QEvent::KeyPress:
      return static_cast<const QKeyEvent&>(event).matches(QKeySequence::Copy);
    case QEvent::ContextMenu:
    case QEvent::MouseButtonRelease:
      return true;
    default:
      return false;
  }
}

class ReadableTexts final : public QObject {
 public:
  explicit ReadableTexts(QMessageBox& box) : QObject(&box), box_(box) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &box_) {
      // Before the box's own show sizes it.
      if (event->type() == QEvent::Show) applyReadableTexts(box_);
      // The informative text's label is made when the box is first given one.
      if (event->type() == QEvent::ChildAdded) watchLabels();
    }
    if (!copying_ && mayCopy(*event)) {
      copying_ = true;
      watched->event(event);
      copying_ = false;
      dropJoinersFromClipboard();
      return event->isAccepted();
    }
    return false;
  }

 public:
  void watchLabels() {
    for (QLabel* label : box_.findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
      label->installEventFilter(this);
  }

 private:
  QMessageBox& box_;
  bool copying_ = false;
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

void setReadableInformativeText(QMessageBox& box, const QString& text) {
  box.setInformativeText(text);
  if (box.isVisible()) applyReadableTexts(box);
}

void keepMessageBoxReadable(QMessageBox& box) {
  auto* texts = new ReadableTexts(box);
  box.installEventFilter(texts);
  texts->watchLabels();
  applyReadableTexts(box);
}

}  // namespace lorvex::ui
