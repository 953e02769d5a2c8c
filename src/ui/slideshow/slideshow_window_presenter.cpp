#include "ui/slideshow/slideshow_window_presenter.h"

#include <QTimer>
#include <chrono>
#include <utility>

#include "store/presentation/image_library_presentation_state.h"
#include "ui/common/covered_window_repaints.h"
#include "ui/slideshow/slideshow_floating_controls.h"

namespace lorvex::ui {

SlideshowWindowPresenter::SlideshowWindowPresenter(ImageLibraryPresentationState& presentation,
                                                   ContentFactory content, QWidget* anchor, QObject* parent)
    : QObject(parent), presentation_(&presentation), content_(std::move(content)), anchor_(anchor) {
  connect(&presentation, &ImageLibraryPresentationState::isSlideshowPresentedChanged, this,
          &SlideshowWindowPresenter::isPresentedChanged);
  isPresentedChanged();
  // The controls' fonts load a while after launch, not when the first slideshow opens.
  QTimer::singleShot(std::chrono::milliseconds(1500), this,
                     [this] { warmFonts_ = warmSlideshowControlFonts(AppLocalization::live()); });
}

SlideshowWindowPresenter::~SlideshowWindowPresenter() {
  dismiss(true);
}

void SlideshowWindowPresenter::isPresentedChanged() {
  if (presentation_ == nullptr) return;
  if (presentation_->isSlideshowPresented()) {
    QPointer<ImageLibraryPresentationState> presentation = presentation_;
    present([presentation] {
      if (presentation != nullptr) presentation->setIsSlideshowPresented(false);
    });
  } else {
    dismiss(false);
  }
}

void SlideshowWindowPresenter::present(std::function<void()> onClose) {
  onClose_ = std::move(onClose);
  if (window_ != nullptr) {
    window_->raise();
    window_->activateWindow();
    return;
  }
  auto* window = new SlideshowWindow();
  window_ = window;
  window->onEscape = [self = QPointer<SlideshowWindowPresenter>(this)] {
    if (self != nullptr) self->dismiss(true);
  };
  window->onWillClose = [self = QPointer<SlideshowWindowPresenter>(this)] {
    if (self != nullptr) self->windowWillClose();
  };
  window->onDidExitFullScreen = [self = QPointer<SlideshowWindowPresenter>(this)] {
    if (self != nullptr) self->windowDidExitFullScreen();
  };
  QWidget* anchorWindow = anchor_ != nullptr ? anchor_->window() : nullptr;
  // The window under the slideshow repaints what its views change only once it shows again,
  // from the turn that opens the slideshow on.
  CoveredWindowRepaints* covered =
      anchorWindow != nullptr ? new CoveredWindowRepaints(*window, *anchorWindow, window) : nullptr;
  window->presentFullScreen(anchorWindow != nullptr ? anchorWindow->screen() : nullptr);
  if (covered != nullptr) covered->coverAskedForActivation();
  // Built once the window shows, while its buffer is being mapped; its first frame comes later.
  if (content_) window->setContent(content_().release());
}

void SlideshowWindowPresenter::dismiss(bool notify) {
  if (window_ != nullptr) {
    didRequestDismiss_ = true;
    window_->close();
    didRequestDismiss_ = false;
    restoreAfterClose();
  }
  if (notify) callOnCloseOnce();
}

void SlideshowWindowPresenter::callOnCloseOnce() {
  const auto onClose = std::exchange(onClose_, nullptr);
  if (onClose) onClose();
}

// Forgets the window; it is deleted once the event that closed it has been handled.
void SlideshowWindowPresenter::restoreAfterClose() {
  SlideshowWindow* window = std::exchange(window_, nullptr);
  if (window == nullptr) return;
  window->onEscape = nullptr;
  window->onWillClose = nullptr;
  window->onDidExitFullScreen = nullptr;
  window->hide();
  window->deleteLater();
}

void SlideshowWindowPresenter::windowWillClose() {
  restoreAfterClose();
  if (!didRequestDismiss_) callOnCloseOnce();
}

void SlideshowWindowPresenter::windowDidExitFullScreen() {
  if (!didRequestDismiss_) dismiss(true);
}

}  // namespace lorvex::ui
