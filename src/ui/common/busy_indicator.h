// The indeterminate progress indicator of the views (a search running, a page loading, a folder
// syncing): spokes turning while the indicator is shown. With animations off it draws one still
// frame, so screenshots and tests see the same picture every time.
//
// Thread safety: GUI thread only.
#pragma once

#include <QTimer>
#include <QWidget>

namespace lorvex::ui {

class BusyIndicator : public QWidget {
  Q_OBJECT

 public:
  enum class Size { small, large };  // 16 and 32 px

  explicit BusyIndicator(Size size = Size::small, QWidget* parent = nullptr);

  // Turning: shown and animations on.
  bool isSpinningForTest() const { return timer_.isActive(); }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  Size size_;
  QTimer timer_;
  int step_ = 0;
};

}  // namespace lorvex::ui
