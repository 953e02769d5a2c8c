// Repaints of a window that another one of ours hides completely wait until it shows again.
//
// A full-screen window (the slideshow) opened over the main window leaves the main window's views
// working: each step moves the grid's focus and refreshes the inspector, and Qt repaints them
// although no one can see them. While the cover hides the covered window completely, the covered
// window's repaints are held: Qt keeps collecting what changed, and it is painted once, when the
// cover stops hiding it (closed, hidden, moved, shrunk, left full screen, or no longer the active
// window). Pictures taken with QWidget::grab() paint afresh and are not affected.
//
// "Hides completely" is decided from what the window system tells about both windows, and only
// where the desktop's stacking rules leave no doubt: the cover is a shown, opaque, full-screen
// window, it is the active window (window managers keep an active full-screen window above
// ordinary ones), it lies on the same screen as the covered window and its frame contains the
// covered window's frame. The covered window must not ask to stay on top. In any other case (the
// cover on another screen, the main window activated over it, a translucent cover) repaints run
// as usual. A cover that has just been shown and asked to be activated counts as active until the
// window system answers: the turn that opens it does not repaint the window it is about to hide.
// The answer is the cover's activation, another window's, or the cover's first frame on screen;
// from then on, what the window system says decides.
//
// Thread safety: GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

class QWidget;
class QWindow;

namespace lorvex::ui {

// What the window system tells about a cover and the window under it.
struct WindowCoverFacts {
  bool coverShown = false;  // visible and not minimized
  bool coverFullScreen = false;
  bool coverActive = false;
  // The cover asked to be activated as it showed and the window system has not answered yet.
  bool coverActivationPending = false;
  bool coverOpaque = false;  // no translucent background, full window opacity
  bool coveredStaysOnTop = false;
  bool sameScreen = false;
  QRect coverFrame;
  QRect coveredFrame;
};

// Whether the cover surely hides every pixel of the covered window (see above).
bool coversCompletely(const WindowCoverFacts& facts);

// The facts of two top-level widgets as they are now (no activation pending).
WindowCoverFacts windowCoverFacts(const QWidget& cover, const QWidget& covered);

// Holds `covered`'s repaints while `cover` hides it completely (both top-level widgets). Holding
// ends, and what was held is painted, when the cover stops hiding it or this object goes.
class CoveredWindowRepaints : public QObject {
  Q_OBJECT

 public:
  CoveredWindowRepaints(QWidget& cover, QWidget& covered, QObject* parent = nullptr);
  ~CoveredWindowRepaints() override;

  // Whether a repaint of the covered window is waiting for the cover to go.
  bool isHolding() const { return holding_; }
  // The cover has just been shown and asked to be activated (QWidget::activateWindow): it counts
  // as active until the window system answers.
  void coverAskedForActivation();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool coversNow() const;
  void endActivationWait();
  // Paints what was held once the cover no longer hides the covered window (or always: `force`).
  void releaseIfUncovered(bool force = false);

  QPointer<QWidget> cover_;
  QPointer<QWidget> covered_;
  // The cover's window while its activation is pending, watched for its first frame.
  QPointer<QWindow> pendingCoverWindow_;
  bool holding_ = false;
};

}  // namespace lorvex::ui
