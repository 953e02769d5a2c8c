// A flat, link-like button whose title wraps to the width of its column instead of widening it:
// the symbol beside the first line, the text on as many lines as it needs (the sidebar's warning
// that files could not be read). The whole rectangle is the button.
//
// Thread safety: GUI thread only.
#pragma once

#include <QPushButton>

namespace lorvex::ui {

class WrappedTextLabel;

class WrappingLinkButton : public QPushButton {
  Q_OBJECT

 public:
  explicit WrappingLinkButton(QWidget* parent = nullptr);

  // The title shown; also the button's text for automation and accessibility.
  void setTitle(const QString& title);

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  int textLeft() const;
  WrappedTextLabel* title_;
};

}  // namespace lorvex::ui
