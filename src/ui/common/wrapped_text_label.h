// A plain-text label that wraps its text to the width its layout gives it: between words where it
// can, Japanese between its phrases, anywhere inside a word (a long path) where it must, so its
// minimum width stays small and it never pushes a narrow column wider. Its height follows its width
// (height for width), and is never less than one line of its font. With a maximum line count, the
// last line shown ends with "…" when more text follows; the whole text is then its tooltip.
// Accessibility always gets the whole text. Every word-wrapped text of the window that nobody
// selects is one of these: a QLabel breaks Japanese inside words.
//
// Thread safety: GUI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

class QLabel;
class QPainter;

namespace lorvex::ui {

// `text` wrapped to `width` in `font` as the label wraps it, and how to draw it (item delegates
// that paint wrapped text use the same rule).
struct WrappedText {
  QStringList lines;
  std::vector<int> lineHeights;
  bool isElided = false;
  int height = 0;
};
WrappedText wrapText(const QString& text, const QFont& font, int width, int maximumLineCount = 0);
// The height of one line of text in `font`, as a text layout lays it out: the font's line spacing
// rounded up. QFontMetrics::height() rounds the ascent and the descent each, and a box that high can
// cut the last row of a descender ("img_00030.png" without its underscore).
int textLineHeight(const QFont& font);
// Draws the lines top-down from `area`'s top in the painter's pen and font, each placed across
// `area` by the horizontal part of `alignment`.
void drawWrappedText(QPainter& painter, const QRect& area, const WrappedText& text,
                     Qt::Alignment alignment = Qt::AlignLeft);

// The narrowest width up to `maximumWidth` at which `text` takes no more lines, wrapped as a
// word-wrapping QLabel given exactly `text` wraps it, than at `maximumWidth`, and draws nothing past
// that width: its lines come out about even, so a short end never stands alone under a full line
// ("い。").
int balancedWrapWidth(const QString& text, const QFont& font, int maximumWidth);

// What a word-wrapping QLabel of `font` no wider than `maximumWidth` is given to show `text`:
// Japanese held together within its phrases (phrase_line_breaks.h), so the label breaks between
// them as wrapText does; the text itself when a phrase is wider than the line. (Its text() then
// holds the joiners: only for labels whose text nobody reads back.)
QString labelTextInPhrases(const QString& text, const QFont& font, int maximumWidth);

// Shows `text` in the word-wrapping `label` in lines of about even length, at most `maximumWidth`
// wide, broken between Japanese phrases: the label takes the balanced width and
// labelTextInPhrases; its accessible name stays the text itself.
void showInEvenLines(QLabel& label, const QString& text, int maximumWidth);

class WrappedTextLabel : public QWidget {
  Q_OBJECT

 public:
  explicit WrappedTextLabel(const QString& text = {}, QWidget* parent = nullptr);

  void setText(const QString& text);
  QString text() const { return text_; }
  // 0: as many lines as the text needs.
  void setMaximumLineCount(int count);
  int maximumLineCount() const { return maximumLineCount_; }
  // Wraps at the narrowest width that takes no more lines than the label's own width, so the lines
  // come out about even and a short end never stands alone ("す。"). The label keeps its width.
  void setEvenLines(bool even);
  // Only the horizontal part counts: lines start at the top.
  void setAlignment(Qt::Alignment alignment);

  // The lines shown at the current width.
  QStringList displayedLinesForTest() const { return shown_.lines; }
  bool isElided() const { return shown_.isElided; }

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void relayout();
  // The width the text is wrapped at inside a content width of `width`.
  int wrapWidth(int width) const;

  QString text_;
  bool evenLines_ = false;
  Qt::Alignment alignment_ = Qt::AlignLeft;
  int maximumLineCount_ = 0;
  WrappedText shown_;
};

}  // namespace lorvex::ui
