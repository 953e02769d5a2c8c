// The slideshow's steps forward and back by the number of images it shows at once.
#include <optional>
#include <stop_token>
#include <string>

#include "store/presentation/image_library_presentation_state.h"
#include "store/review/review_model.h"

namespace lorvex {

bool ReviewModel::closeSlideshowIfWindowIsEmpty() {
  if (!dependents_.resultWindow().records().empty()) return false;
  dependents_.selection().selectSingle(std::nullopt);
  dependents_.presentation().setIsSlideshowPresented(false);
  return true;
}

QCoro::Task<void> ReviewModel::showNextSlideshowImages(std::stop_token stop) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  if (!dependents_.presentation().isSlideshowPresented()) co_return;
  if (closeSlideshowIfWindowIsEmpty()) co_return;
  const std::optional<std::string> focusBefore = dependents_.selection().primaryPath();
  if (!dependents_.focusMoveNeedsNextPage(dependents_.presentation().slideshowVisibleCount())) {
    if (!stop.stop_requested())
      dependents_.moveFocus(dependents_.presentation().slideshowVisibleCount(),
                            !dependents_.resultWindow().hasMoreRecords());
    co_return;
  }
  const bool appended = co_await dependents_.loadNextPage(stop);
  // Without the page the step would wrap to the start of a list that goes on.
  if (!appended && dependents_.resultWindow().hasMoreRecords()) co_return;
  if (stop.stop_requested()) co_return;
  // The user stepped elsewhere while the page loaded: that step stands.
  if (focusBefore.has_value() && dependents_.selection().primaryPath() != focusBefore) co_return;
  // The count is read again: it may have changed while the page loaded.
  dependents_.moveFocus(dependents_.presentation().slideshowVisibleCount(),
                        !dependents_.resultWindow().hasMoreRecords());
}

void ReviewModel::showPreviousSlideshowImages() {
  creatingThread_.check();
  if (!dependents_.presentation().isSlideshowPresented()) return;
  if (closeSlideshowIfWindowIsEmpty()) return;
  dependents_.moveFocus(-dependents_.presentation().slideshowVisibleCount(),
                        !dependents_.resultWindow().hasMoreRecords());
}

}  // namespace lorvex
