// Opens the slideshow in a full-screen window of its own while the presentation says the
// slideshow is presented, and closes it when the flag clears. The window's own ways out (Escape,
// leaving full screen, the window manager closing it) and the presenter going away clear the flag
// in turn, through one close callback that runs at most once per window.
//
// Presenting while the window is open keeps that window (it is raised, not rebuilt). The content
// is made by the factory each time a window opens and is destroyed with the window.
//
// The window opens on the screen of `anchor`'s window (the main window), else the primary screen.
// While it hides that window completely, the window's repaints wait until it shows again
// (CoveredWindowRepaints).
//
// Thread safety: GUI thread only.
#pragma once

#include <QFont>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "ui/slideshow/slideshow_window.h"

namespace lorvex {
class ImageLibraryPresentationState;
}

namespace lorvex::ui {

class SlideshowWindowPresenter : public QObject {
  Q_OBJECT

 public:
  using ContentFactory = std::function<std::unique_ptr<QWidget>()>;

  // Follows the presentation's flag from now on; opens the window at once when it is already set.
  SlideshowWindowPresenter(ImageLibraryPresentationState& presentation, ContentFactory content,
                           QWidget* anchor, QObject* parent = nullptr);
  // Closes an open window and clears the flag.
  ~SlideshowWindowPresenter() override;

  // The open window; null while closed.
  SlideshowWindow* window() const { return window_; }

  // Opens the window (or raises the open one); `onClose` replaces the callback a way out calls.
  void present(std::function<void()> onClose);
  // Closes the window; with `notify` the close callback runs (once).
  void dismiss(bool notify);

 private:
  void isPresentedChanged();
  void callOnCloseOnce();
  void restoreAfterClose();
  void windowWillClose();
  void windowDidExitFullScreen();

  QPointer<ImageLibraryPresentationState> presentation_;
  ContentFactory content_;
  QPointer<QWidget> anchor_;
  QPointer<SlideshowWindow> window_;
  std::function<void()> onClose_;
  bool didRequestDismiss_ = false;
  // The controls' fonts, kept so that their engines stay loaded until a slideshow opens.
  std::vector<QFont> warmFonts_;
};

}  // namespace lorvex::ui
