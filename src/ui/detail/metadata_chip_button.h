// One chip of the inspector, for a tag or a tag concept: a capsule holding a mark and one line of
// text elided in the middle. Selected: "checkmark.circle.fill" in the accent colour on an accent
// tint with an accent border; otherwise "plus.circle" in the secondary colour on the control
// background with a faint border. Disabled: text and mark in the secondary colour at 0.55.
// At least 34 px high; it fills the cell its layout gives it.
//
// The owner sets the tooltip, the accessible name and what a click and a right click do.
//
// Thread safety: GUI thread only.
#pragma once

#include <QAbstractButton>

namespace lorvex::ui {

class MetadataChipButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit MetadataChipButton(QWidget* parent = nullptr);

  // The full text (plain: "&" and "<" are shown as they are).
  void setChipText(const QString& text);
  const QString& chipTextForTest() const { return text_; }
  void setSelected(bool selected);
  bool isSelected() const { return selected_; }
  // The text as drawn at the current width.
  QString displayedText() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  static constexpr int kMinimumHeight = 34;
  static constexpr int kHorizontalPadding = 10;
  static constexpr int kMarkWidth = 16;
  static constexpr int kSpacing = 5;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& position) const override;
  void changeEvent(QEvent* event) override;

 private:
  int textWidthAvailable() const;

  QString text_;
  bool selected_ = false;
  mutable QSize sizeHint_;
};

}  // namespace lorvex::ui
