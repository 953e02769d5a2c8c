// The slideshow's own top-level window: black, full screen on a given screen, and closed by Escape
// whatever has keyboard focus inside it. It tells its owner when it is about to close (by any
// means: the owner, the window manager, the user) and when it leaves full screen after having been
// full screen, which ends the slideshow as well.
//
// Its first frame writes every pixel of a buffer the size of the screen. That buffer is fresh
// memory, which the kernel maps a page at a time as it is first written: thousands of page faults,
// milliseconds on the thread that paints. The window sizes the buffer as it shows and has its pages
// mapped on a helper thread meanwhile, while its content is built and laid out.
//
// Escape is taken by an application event filter before any widget of the window sees it, so a
// focused control inside cannot swallow it; Escape in other windows is left alone.
//
// Thread safety: GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

class QScreen;

namespace lorvex::ui {

class SlideshowWindow : public QWidget {
  Q_OBJECT

 public:
  // The size the window takes when no screen exists at all.
  static constexpr QSize kFallbackSize{1280, 800};

  explicit SlideshowWindow(QWidget* parent = nullptr);
  ~SlideshowWindow() override;

  // Called for every Escape press in this window; the key goes no further, even without a callback.
  std::function<void()> onEscape;
  // Called from the close event, whoever closes the window.
  std::function<void()> onWillClose;
  // Called when the window stops being full screen after having been full screen.
  std::function<void()> onDidExitFullScreen;

  // Replaces the content, which fills the window; the old content is deleted.
  void setContent(QWidget* content);
  QWidget* content() const { return content_; }

  // Shows the window full screen on `screen` (else the primary screen; with none, at 1280 x 800)
  // and brings it to the front with keyboard focus.
  void presentFullScreen(QScreen* screen);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QPointer<QWidget> content_;
  bool hasBeenFullScreen_ = false;
};

}  // namespace lorvex::ui
