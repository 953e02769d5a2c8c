// Plain text a person may select and copy (an error naming a path), wrapped to the width its
// layout gives it: between words where it can, anywhere inside a long word (a path) where it must,
// so a long path never widens a narrow column. Its height follows its width; it never scrolls.
// Japanese breaks between its phrases (phrase_line_breaks.h). Copying gives the text as written,
// without the breaks of its lines and without the joiners that hold its phrases together. With a
// maximum line count, a text that needs more lines at the width given shows whole lines only, as
// many as allowed, cut in the middle: its start, "…", its end.
//
// Measuring lays the whole text out again, and one layout pass asks the same widths several times:
// the heights of the latest few widths are kept until the text or the font changes.
//
// Thread safety: GUI thread only.
#pragma once

#include <QTextEdit>
#include <functional>
#include <utility>
#include <vector>

namespace lorvex::ui {

// The longest cut of `text` that `fits`: the text itself when it fits, else its first and last
// characters (a grapheme cluster each, as many of each, the one more at the start) around "…" — the
// cut keeping the most of them that fits, "…" alone when none does. `fits` is asked about a dozen
// times for a long text.
QString middleElided(const QString& text, const std::function<bool(const QString&)>& fits);

class SelectableWrappedText : public QTextEdit {
  Q_OBJECT

 public:
  explicit SelectableWrappedText(QWidget* parent = nullptr);

  void setText(const QString& text);
  // The whole text, however it is shown.
  QString text() const;
  // 0: as many lines as the text needs.
  void setMaximumLineCount(int count);

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  QMimeData* createMimeDataFromSelection() const override;

 private:
  // What is shown at a content width: the text, or its cut to the maximum line count.
  QString shownText(int contentWidth) const;
  void showForWidth();

  QString text_;  // with the phrase joiners
  int maximumLineCount_ = 0;
  mutable std::vector<std::pair<int, int>> heights_;  // (width, height), the latest last
};

}  // namespace lorvex::ui
