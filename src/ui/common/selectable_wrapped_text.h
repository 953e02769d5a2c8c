// Plain text a person may select and copy (an error naming a path), wrapped to the width its
// layout gives it: between words where it can, anywhere inside a long word (a path) where it must,
// so a long path never widens a narrow column. Its height follows its width; it never scrolls.
// Copying gives the text as written, without the breaks of its lines.
//
// Thread safety: GUI thread only.
#pragma once

#include <QTextEdit>

namespace lorvex::ui {

class SelectableWrappedText : public QTextEdit {
  Q_OBJECT

 public:
  explicit SelectableWrappedText(QWidget* parent = nullptr);

  void setText(const QString& text);
  QString text() const { return toPlainText(); }

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
};

}  // namespace lorvex::ui
