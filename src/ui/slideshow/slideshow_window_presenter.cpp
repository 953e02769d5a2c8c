#include "ui/slideshow/slideshow_window_presenter.h"

#include <utility>

#include "store/image_library_store.h"

namespace lorvex::ui {

SlideshowWindowPresenter::SlideshowWindowPresenter(ImageLibraryStore& store, ContentFactory content, QWidget* anchor,
                                                   QObject* parent)
    : QObject(parent), store_(&store), content_(std::move(content)), anchor_(anchor) {
  connect(&store, &ImageLibraryStore::presentationChanged, this, [this] {
    followPresentation();
    isPresentedChanged();
  });
  followPresentation();
  isPresentedChanged();
}

SlideshowWindowPresenter::~SlideshowWindowPresenter() { dismiss(true); }

void SlideshowWindowPresenter::followPresentation() {
  disconnect(presentedConnection_);
  if (store_ == nullptr) return;
  presentedConnection_ = connect(&store_->presentation(), &ImageLibraryPresentationState::isSlideshowPresentedChanged,
                                 this, &SlideshowWindowPresenter::isPresentedChanged);
}

void SlideshowWindowPresenter::isPresentedChanged() {
  if (store_ == nullptr) return;
  if (store_->presentation().isSlideshowPresented()) {
    QPointer<ImageLibraryStore> store = store_;
    present([store] {
      if (store != nullptr) store->presentation().setIsSlideshowPresented(false);
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
  if (content_) window->setContent(content_().release());
  QScreen* screen = nullptr;
  if (anchor_ != nullptr && anchor_->window() != nullptr) screen = anchor_->window()->screen();
  window->presentFullScreen(screen);
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
