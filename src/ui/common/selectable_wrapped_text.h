// Plain text a person may select and copy (an error naming a path), wrapped to the width its
// layout gives it: between words where it can, anywhere inside a long word (a path) where it must,
// so a long path never widens a narrow column. Its height follows its width; it never scrolls.
// Japanese breaks between its phrases (phrase_line_breaks.h). Copying gives the text as written,
// without the breaks of its lines and without the joiners that hold its phrases together.
//
// Measuring lays the whole text out again, and one layout pass asks the same widths several times:
// the heights of the latest few widths are kept until the text or the font changes.
//
// Thread safety: GUI thread only.
#pragma once

#include <QTextEdit>
#include <utility>
#include <vector>

namespace lorvex::ui {

class SelectableWrappedText : public QTextEdit {
  Q_OBJECT

 public:
  explicit SelectableWrappedText(QWidget* parent = nullptr);

  void setText(const QString& text);
  QString text() const;

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  QMimeData* createMimeDataFromSelection() const override;

 private:
  mutable std::vector<std::pair<int, int>> heights_;  // (width, height), the latest last
};

}  // namespace lorvex::ui
