// ImageLibraryPresentationState: the view-level flags several views and the store agree on:
// sidebar sections, the two filter popovers (at most one open), the two delete-candidate review
// sheets, and the slideshow (presented, playing, images at a time, interval). The library section
// flag and the two slideshow values are preferences, saved through the preference store after
// every assignment, changed or not; everything else starts closed at each launch.
//
// Every setter signals only a real change. The slideshow count and interval are stored in range
// (1 ... 6; 0.5 ... 60 s in steps of 0.5), so no observer ever sees a value a view could not use.
// Closing the slideshow stops playback; presenting it does not start playback.
//
// Thread safety: the creating thread only; the preference store is called on it.
#pragma once

#include <QObject>
#include <memory>

#include "store/async/creating_thread.h"
#include "store/presentation/image_library_ui_preferences.h"

namespace lorvex {

class ImageLibraryPresentationState : public QObject {
  Q_OBJECT

 public:
  // Reads the preferences once; nothing is saved and no reaction runs at creation.
  explicit ImageLibraryPresentationState(std::shared_ptr<ImageLibraryUIPreferencePersisting> preferenceStore,
                                         QObject* parent = nullptr);

  const std::shared_ptr<ImageLibraryUIPreferencePersisting>& preferenceStore() const {
    return preferenceStore_;
  }

  bool isFilterTagListExpanded() const;
  void setIsFilterTagListExpanded(bool value);
  bool isLibrarySectionExpanded() const;
  void setIsLibrarySectionExpanded(bool value);
  bool isTagAdditionPopoverPresented() const;
  void setIsTagAdditionPopoverPresented(bool value);
  bool isModelSelectionPopoverPresented() const;
  void setIsModelSelectionPopoverPresented(bool value);
  bool isDeleteCandidateReviewPresented() const;
  void setIsDeleteCandidateReviewPresented(bool value);
  bool isDeleteCandidateTrashReviewPresented() const;
  void setIsDeleteCandidateTrashReviewPresented(bool value);
  bool isSlideshowPresented() const;
  void setIsSlideshowPresented(bool value);
  int slideshowVisibleCount() const;
  void setSlideshowVisibleCount(int value);
  bool isSlideshowPlaying() const;
  void setIsSlideshowPlaying(bool value);
  double slideshowIntervalSeconds() const;
  void setSlideshowIntervalSeconds(double value);

  // Opens one popover and closes the other.
  void presentTagAdditionPopover();
  void presentModelSelectionPopover();
  // One more or one fewer image at a time, within 1 ... 6; saves even at a bound.
  void increaseSlideshowVisibleCount();
  void decreaseSlideshowVisibleCount();

 Q_SIGNALS:
  void isFilterTagListExpandedChanged();
  void isLibrarySectionExpandedChanged();
  void isTagAdditionPopoverPresentedChanged();
  void isModelSelectionPopoverPresentedChanged();
  void isDeleteCandidateReviewPresentedChanged();
  void isDeleteCandidateTrashReviewPresentedChanged();
  void isSlideshowPresentedChanged();
  void slideshowVisibleCountChanged();
  void isSlideshowPlayingChanged();
  void slideshowIntervalSecondsChanged();

 private:
  template <typename T>
  void assign(T& field, T value, void (ImageLibraryPresentationState::*changed)());
  void persistPreferences();

  CreatingThread creatingThread_;
  const std::shared_ptr<ImageLibraryUIPreferencePersisting> preferenceStore_;
  bool isFilterTagListExpanded_ = false;
  bool isLibrarySectionExpanded_;
  bool isTagAdditionPopoverPresented_ = false;
  bool isModelSelectionPopoverPresented_ = false;
  bool isDeleteCandidateReviewPresented_ = false;
  bool isDeleteCandidateTrashReviewPresented_ = false;
  bool isSlideshowPresented_ = false;
  int slideshowVisibleCount_;
  bool isSlideshowPlaying_ = false;
  double slideshowIntervalSeconds_;
};

}  // namespace lorvex
