// The slideshow's steps forward and back by the number of images it shows at once.
#include <optional>
#include <stop_token>
#include <string>

#include "store/presentation/image_library_presentation_state.h"
#include "store/review/review_model.h"

namespace lorvex {

bool ReviewModel::closeSlideshowIfWindowIsEmpty() {
  if (!results_.resultWindow().records().empty()) return false;
  results_.selection().selectSingle(std::nullopt);
  presentation_.setIsSlideshowPresented(false);
  return true;
}

QCoro::Task<void> ReviewModel::showNextSlideshowImages(std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!presentation_.isSlideshowPresented()) co_return;
  if (closeSlideshowIfWindowIsEmpty()) co_return;
  const std::optional<std::string> focusBefore = results_.selection().primaryPath();
  if (!results_.focusMoveNeedsNextPage(presentation_.slideshowVisibleCount())) {
    if (!stop.stop_requested())
      results_.moveFocus(presentation_.slideshowVisibleCount(), !results_.resultWindow().hasMoreRecords());
    co_return;
  }
  const bool appended = co_await results_.loadNextPage(stop);
  // Without the page the step would wrap to the start of a list that goes on.
  if (!appended && results_.resultWindow().hasMoreRecords()) co_return;
  if (stop.stop_requested()) co_return;
  // The user stepped elsewhere while the page loaded: that step stands.
  if (focusBefore.has_value() && results_.selection().primaryPath() != focusBefore) co_return;
  // The count is read again: it may have changed while the page loaded.
  results_.moveFocus(presentation_.slideshowVisibleCount(), !results_.resultWindow().hasMoreRecords());
}

void ReviewModel::showPreviousSlideshowImages() {
  creatingThread_.check();
  if (!presentation_.isSlideshowPresented()) return;
  if (closeSlideshowIfWindowIsEmpty()) return;
  results_.moveFocus(-presentation_.slideshowVisibleCount(), !results_.resultWindow().hasMoreRecords());
}

}  // namespace lorvex
