#include "ui/common/readable_message_box.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <algorithm>
#include <set>

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

// Takes the joiners out of what `mode` holds: only called for a mode one of the box's labels has just
// written, so the text read is the application's own.
void dropJoiners(QClipboard::Mode mode) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QString copied = clipboard->text(mode);
  const QString text = withoutPhraseJoiners(copied);
  if (text != copied) clipboard->setText(text, mode);
}

// What a person copies from one of the box's labels (a selected part, with Ctrl+C or, under X11, by
// selecting it) is the text as written, without the joiners the labels hold. The box touches the
// clipboard only then: while a label handles a key or a release of the mouse, the clipboard's
// changes are noted, and only what that handling wrote is written again without the joiners.
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
      return false;
    }
    const QEvent::Type type = event->type();
    if (handling_ || (type != QEvent::KeyPress && type != QEvent::MouseButtonRelease)) return false;
    handling_ = true;
    std::set<QClipboard::Mode> written;
    const QMetaObject::Connection noting =
        connect(QGuiApplication::clipboard(), &QClipboard::changed, this,
                [&written](QClipboard::Mode mode) { written.insert(mode); });
    watched->event(event);
    disconnect(noting);
    handling_ = false;
    for (const QClipboard::Mode mode : written) dropJoiners(mode);
    // Handled here: an event the label ignored still goes on to its parents.
    return true;
  }

 public:
  void watchLabels() {
    for (QLabel* label : box_.findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
      label->installEventFilter(this);
  }

 private:
  QMessageBox& box_;
  bool handling_ = false;
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
