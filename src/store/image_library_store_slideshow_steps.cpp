// The slideshow's steps forward and back by the number of images it shows at once.
#include <optional>
#include <stop_token>
#include <string>

#include "store/image_library_store.h"

namespace lorvex {

bool ImageLibraryStore::closeSlideshowIfWindowIsEmpty() {
  if (!resultWindow_->records().empty()) return false;
  selection_->selectSingle(std::nullopt);
  presentation_->setIsSlideshowPresented(false);
  return true;
}

QCoro::Task<void> ImageLibraryStore::showNextSlideshowImages(std::stop_token stop) {
  auto frame = co_await scope_.enter();
  creatingThread_.check();
  if (!presentation_->isSlideshowPresented()) co_return;
  if (closeSlideshowIfWindowIsEmpty()) co_return;
  const std::optional<std::string> focusBefore = selection_->primaryPath();
  if (!results_->focusMoveNeedsNextPage(presentation_->slideshowVisibleCount())) {
    if (!stop.stop_requested())
      results_->moveFocus(presentation_->slideshowVisibleCount(), !resultWindow_->hasMoreRecords());
    co_return;
  }
  const bool appended = co_await results_->loadNextPage(stop);
  // Without the page the step would wrap to the start of a list that goes on.
  if (!appended && resultWindow_->hasMoreRecords()) co_return;
  if (stop.stop_requested()) co_return;
  // The user stepped elsewhere while the page loaded: that step stands.
  if (focusBefore.has_value() && selection_->primaryPath() != focusBefore) co_return;
  // The count is read again: it may have changed while the page loaded.
  results_->moveFocus(presentation_->slideshowVisibleCount(), !resultWindow_->hasMoreRecords());
}

void ImageLibraryStore::showPreviousSlideshowImages() {
  creatingThread_.check();
  if (!presentation_->isSlideshowPresented()) return;
  if (closeSlideshowIfWindowIsEmpty()) return;
  results_->moveFocus(-presentation_->slideshowVisibleCount(), !resultWindow_->hasMoreRecords());
}

}  // namespace lorvex
