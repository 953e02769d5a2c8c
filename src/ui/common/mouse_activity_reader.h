// The invisible layer the preview overlay and the slideshow put over their content to show their
// controls when the pointer moves: it covers its parent, takes no click, no wheel and no key (all
// reach the widgets below), and reports the pointer entering or moving anywhere over it, whether
// or not its window is the active one.
//
// It watches the pointer events of its window (not of the widgets below it, which would each have
// to track the mouse), so a move over a button inside the covered area counts too. Moves over
// another window (a menu, a tooltip) do not.
//
// Thread safety: GUI thread only.
#pragma once

#include <QWidget>
#include <functional>

namespace lorvex::ui {

class MouseActivityReader : public QWidget {
  Q_OBJECT

 public:
  // Covers `parent` entirely and follows its size.
  explicit MouseActivityReader(QWidget* parent);
  ~MouseActivityReader() override;

  // Called on every activity, after the signal.
  void setOnActivity(std::function<void()> callback);

 Q_SIGNALS:
  void activity();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void()> onActivity_;
};

}  // namespace lorvex::ui
