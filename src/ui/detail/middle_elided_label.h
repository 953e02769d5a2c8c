// A selectable, plain-text label that wraps its text over at most `maximumLines` lines and, when
// the text needs more, cuts it in the middle with "…" so that its beginning and its end stay
// visible. The full text stays reachable through text() (the copy actions use it).
//
// Its text is selectable, so Qt draws it from a text document, which it fills and lays out on the
// first paint after a new text or size; doing so asks for the label to be painted once more, after
// that paint. The label lays its document out before the window paints instead (at the end of the
// turn), so it is painted once.
//
// The label is as tall as the text it shows at a width: a cut text can take more lines than the
// full one (a name without spaces, one line drawn past the edge whole, breaks after its "…").
//
// Each measure of the text shapes all of it, and one layout pass asks the same widths several
// times (the size hint, the height for the width, the fit when the text is set): the measures of
// the full text and the cuts are kept until the text or the font changes.
//
// Thread safety: GUI thread only.
#pragma once

#include <QLabel>
#include <optional>
#include <utility>
#include <vector>

#include "store/async/turn_end_call.h"

namespace lorvex::ui {

class MiddleElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit MiddleElidedLabel(int maximumLines, QWidget* parent = nullptr);

  void setFullText(const QString& text);
  const QString& fullText() const { return fullText_; }
  bool isElided() const { return text() != fullText_; }

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The text shown at `width`: the full text when it fits the lines, else its head and tail; and
  // where it draws. Kept per width.
  struct Shown {
    int width;
    QString text;
    QRect bounds;
  };
  const Shown& shownAt(int width) const;
  Shown makeShown(int width) const;
  // Where `text` draws when wrapped at `width`; and whether such bounds stay inside the width and
  // the lines.
  QRect wrappedBounds(const QString& text, int width) const;
  bool fits(const QRect& bounds, int width) const;
  // How tall the most lines the label shows are, in its font.
  int linesHeight() const;
  // How many characters at most can show at `width`: what is measured of a long text.
  qsizetype visibleCharacterBound(int width) const;
  // wrappedBounds of what can show of the full text at `width`, kept per width.
  QRect fullTextBounds(int width) const;
  void forgetMeasures();

  int maximumLines_;
  QString fullText_;
  int elidedWidth_ = -1;
  mutable std::vector<std::pair<int, QRect>> fullTextBounds_;  // the latest width last
  mutable std::vector<Shown> shown_;                           // the latest width last
  mutable std::optional<int> fullTextAdvance_;
  mutable std::optional<int> linesHeight_;
  // Fills and lays out the text's document at the label's size, while it is shown.
  TurnEndCall layOutDocument_{this, [this] {
                                if (isVisible()) QLabel::heightForWidth(width());
                              }};
};

}  // namespace lorvex::ui
