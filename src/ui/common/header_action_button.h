// The buttons of header bars (the results header's slideshow button, the delete-candidate review
// toolbar): a label on a softly filled rounded rectangle with a hairline border; a yellow variant
// marks a mode that is on. Disabled buttons lose the border and keep a faint fill; a pressed one
// dims for the length of the press.
//
// Thread safety: GUI thread only (the appearance rule is a pure function).
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPalette>
#include <QString>
#include <string>

namespace lorvex::ui {

enum class HeaderActionButtonColorRole { normal, activeYellow };

struct HeaderActionButtonAppearance {
  QColor foreground;
  QColor fill;
  QColor stroke;  // transparent: no border
  qreal opacity = 1.0;
  friend bool operator==(const HeaderActionButtonAppearance&, const HeaderActionButtonAppearance&) = default;
};

struct HeaderActionButtonStyle {
  static constexpr int kHorizontalPadding = 10;
  static constexpr int kVerticalPadding = 5;
  static constexpr int kCornerRadius = 6;

  HeaderActionButtonColorRole colorRole = HeaderActionButtonColorRole::normal;

  // Foreground: disabled secondary, activeYellow black, normal primary. Fill: disabled primary
  // 0.04, activeYellow yellow, normal primary 0.06. Border: disabled none, activeYellow yellow
  // 0.65, normal primary 0.14. Opacity 0.72 while pressed.
  HeaderActionButtonAppearance appearance(bool isEnabled, bool isPressed, const QPalette& palette) const;
};

class HeaderActionButton : public QAbstractButton {
  Q_OBJECT

 public:
  // `title` is plain text: an "&" in it is shown, never taken as a mnemonic.
  explicit HeaderActionButton(const QString& title = {}, QWidget* parent = nullptr);

  void setTitle(const QString& title);
  QString title() const { return title_; }
  // A symbol before the title; empty for none.
  void setSymbol(std::string symbolName);
  const std::string& symbol() const { return symbol_; }
  void setColorRole(HeaderActionButtonColorRole role);
  HeaderActionButtonColorRole colorRole() const { return style_.colorRole; }
  HeaderActionButtonAppearance currentAppearance() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int symbolSize() const;

  QString title_;
  std::string symbol_;
  HeaderActionButtonStyle style_;
};

}  // namespace lorvex::ui
