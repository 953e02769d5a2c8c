#include "store/presentation/image_library_presentation_state.h"

#include "store/observed_value.h"

namespace lorvex {

ImageLibraryPresentationState::ImageLibraryPresentationState(
    std::shared_ptr<ImageLibraryUIPreferencePersisting> preferenceStore, QObject* parent)
    : QObject(parent), preferenceStore_(std::move(preferenceStore)) {
  const ImageLibraryUIPreferences preferences = preferenceStore_->load();
  isLibrarySectionExpanded_ = preferences.isLibrarySectionExpanded;
  // A store may hand back anything; what is held is always in range.
  slideshowVisibleCount_ = clampedSlideshowVisibleCount(preferences.slideshowVisibleCount);
  slideshowIntervalSeconds_ = normalizedSlideshowIntervalSeconds(preferences.slideshowIntervalSeconds);
}

template <typename T>
void ImageLibraryPresentationState::assign(T& field, T value,
                                           void (ImageLibraryPresentationState::*changed)()) {
  creatingThread_.check();
  assignObserved(field, value, this, changed);
}

void ImageLibraryPresentationState::persistPreferences() {
  preferenceStore_->save(ImageLibraryUIPreferences{
      isLibrarySectionExpanded_, clampedSlideshowVisibleCount(slideshowVisibleCount_),
      normalizedSlideshowIntervalSeconds(slideshowIntervalSeconds_)});
}

bool ImageLibraryPresentationState::isFilterTagListExpanded() const {
  creatingThread_.check();
  return isFilterTagListExpanded_;
}
void ImageLibraryPresentationState::setIsFilterTagListExpanded(bool value) {
  assign(isFilterTagListExpanded_, value, &ImageLibraryPresentationState::isFilterTagListExpandedChanged);
}

bool ImageLibraryPresentationState::isLibrarySectionExpanded() const {
  creatingThread_.check();
  return isLibrarySectionExpanded_;
}
void ImageLibraryPresentationState::setIsLibrarySectionExpanded(bool value) {
  assign(isLibrarySectionExpanded_, value, &ImageLibraryPresentationState::isLibrarySectionExpandedChanged);
  persistPreferences();
}

bool ImageLibraryPresentationState::isTagAdditionPopoverPresented() const {
  creatingThread_.check();
  return isTagAdditionPopoverPresented_;
}
void ImageLibraryPresentationState::setIsTagAdditionPopoverPresented(bool value) {
  assign(isTagAdditionPopoverPresented_, value,
         &ImageLibraryPresentationState::isTagAdditionPopoverPresentedChanged);
}

bool ImageLibraryPresentationState::isModelSelectionPopoverPresented() const {
  creatingThread_.check();
  return isModelSelectionPopoverPresented_;
}
void ImageLibraryPresentationState::setIsModelSelectionPopoverPresented(bool value) {
  assign(isModelSelectionPopoverPresented_, value,
         &ImageLibraryPresentationState::isModelSelectionPopoverPresentedChanged);
}

bool ImageLibraryPresentationState::isDeleteCandidateReviewPresented() const {
  creatingThread_.check();
  return isDeleteCandidateReviewPresented_;
}
void ImageLibraryPresentationState::setIsDeleteCandidateReviewPresented(bool value) {
  assign(isDeleteCandidateReviewPresented_, value,
         &ImageLibraryPresentationState::isDeleteCandidateReviewPresentedChanged);
}

bool ImageLibraryPresentationState::isDeleteCandidateTrashReviewPresented() const {
  creatingThread_.check();
  return isDeleteCandidateTrashReviewPresented_;
}
void ImageLibraryPresentationState::setIsDeleteCandidateTrashReviewPresented(bool value) {
  assign(isDeleteCandidateTrashReviewPresented_, value,
         &ImageLibraryPresentationState::isDeleteCandidateTrashReviewPresentedChanged);
}

bool ImageLibraryPresentationState::isSlideshowPresented() const {
  creatingThread_.check();
  return isSlideshowPresented_;
}
void ImageLibraryPresentationState::setIsSlideshowPresented(bool value) {
  assign(isSlideshowPresented_, value, &ImageLibraryPresentationState::isSlideshowPresentedChanged);
  if (!isSlideshowPresented_ && isSlideshowPlaying_) setIsSlideshowPlaying(false);
}

int ImageLibraryPresentationState::slideshowVisibleCount() const {
  creatingThread_.check();
  return slideshowVisibleCount_;
}
void ImageLibraryPresentationState::setSlideshowVisibleCount(int value) {
  assign(slideshowVisibleCount_, clampedSlideshowVisibleCount(value),
         &ImageLibraryPresentationState::slideshowVisibleCountChanged);
  persistPreferences();
}

bool ImageLibraryPresentationState::isSlideshowPlaying() const {
  creatingThread_.check();
  return isSlideshowPlaying_;
}
void ImageLibraryPresentationState::setIsSlideshowPlaying(bool value) {
  assign(isSlideshowPlaying_, value, &ImageLibraryPresentationState::isSlideshowPlayingChanged);
}

double ImageLibraryPresentationState::slideshowIntervalSeconds() const {
  creatingThread_.check();
  return slideshowIntervalSeconds_;
}
void ImageLibraryPresentationState::setSlideshowIntervalSeconds(double value) {
  assign(slideshowIntervalSeconds_, normalizedSlideshowIntervalSeconds(value),
         &ImageLibraryPresentationState::slideshowIntervalSecondsChanged);
  persistPreferences();
}

void ImageLibraryPresentationState::presentTagAdditionPopover() {
  setIsTagAdditionPopoverPresented(true);
  setIsModelSelectionPopoverPresented(false);
}

void ImageLibraryPresentationState::presentModelSelectionPopover() {
  setIsModelSelectionPopoverPresented(true);
  setIsTagAdditionPopoverPresented(false);
}

void ImageLibraryPresentationState::increaseSlideshowVisibleCount() {
  setSlideshowVisibleCount(
      clampedSlideshowVisibleCount(static_cast<std::int64_t>(slideshowVisibleCount()) + 1));
}

void ImageLibraryPresentationState::decreaseSlideshowVisibleCount() {
  setSlideshowVisibleCount(
      clampedSlideshowVisibleCount(static_cast<std::int64_t>(slideshowVisibleCount()) - 1));
}

}  // namespace lorvex
