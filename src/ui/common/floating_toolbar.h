// The controls of the bars that float over images (the preview overlay, the slideshow): an icon
// button drawn in white on the dark bar, yellow while its mode is on, faint while disabled, with
// a soft highlight behind an active one; and the thin rule between groups of buttons.
//
// Thread safety: GUI thread only (the colour rule is a pure function).
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QString>
#include <string>

namespace lorvex::ui {

struct FloatingToolbarButtonColors {
  QColor symbol;
  QColor background;  // transparent: no background
  friend bool operator==(const FloatingToolbarButtonColors&, const FloatingToolbarButtonColors&) = default;
};

// Disabled: white 0.32 (active or not); enabled and active: yellow; enabled: white 0.92. The
// background is white 0.16 while active, also when disabled.
FloatingToolbarButtonColors floatingToolbarButtonColors(bool isEnabled, bool isActive);

class FloatingToolbarButton : public QAbstractButton {
  Q_OBJECT

 public:
  static constexpr int kWidth = 51;
  static constexpr int kHeight = 45;
  static constexpr int kSymbolSize = 27;
  static constexpr int kCornerRadius = 9;

  // `title` (already localized) is the tooltip and the accessible name; clicked() is the action.
  FloatingToolbarButton(const QString& title, std::string systemImage, QWidget* parent = nullptr);

  void setTitle(const QString& title);
  QString title() const { return title_; }
  void setSystemImage(std::string systemImage);
  const std::string& systemImage() const { return systemImage_; }
  void setActive(bool active);
  bool isActive() const { return active_; }

  QSize sizeHint() const override { return {kWidth, kHeight}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString title_;
  std::string systemImage_;
  bool active_ = false;
};

class FloatingToolbarDivider : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 1;
  static constexpr int kHeight = 36;

  explicit FloatingToolbarDivider(QWidget* parent = nullptr);
  QSize sizeHint() const override { return {kWidth, kHeight}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace lorvex::ui
