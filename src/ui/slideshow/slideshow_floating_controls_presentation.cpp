#include "ui/slideshow/slideshow_floating_controls_presentation.h"

#include "store/presentation/image_library_presentation_state.h"
#include "store/projections/store_projections.h"
#include "store/results/results_model.h"

namespace lorvex::ui {

SlideshowControlsState slideshowControlsState(const ResultsModel& results,
                                              const ImageLibraryPresentationState& presentation,
                                              const StoreProjections& projections) {
  SlideshowControlsState state;
  state.positionText = results.slideshowPositionText();
  state.isPlaying = presentation.isSlideshowPlaying();
  if (const RecordRef record = results.selectedRecord()) state.focusedReviewState = record->reviewState;
  state.canReviewFocusedRecord = projections.canReviewFocusedRecordInSlideshow();
  state.visibleCount = presentation.slideshowVisibleCount();
  state.intervalSeconds = presentation.slideshowIntervalSeconds();
  return state;
}

SlideshowFloatingControlsPresentation makeSlideshowFloatingControlsPresentation(
    const SlideshowControlsState& state, const AppLocalization& localization) {
  using Focus = SlideshowControlFocus;
  using Key = AppLocalizationKey;
  const auto button = [&localization](Focus control, Key title, std::string symbol, bool isActive,
                                      bool isEnabled) {
    return SlideshowButtonPresentation{control, localization.lookup(title), std::move(symbol), isActive,
                                       isEnabled};
  };
  const bool favorite = state.focusedReviewState.has_value() && state.focusedReviewState->favorite;
  const bool deleteCandidate =
      state.focusedReviewState.has_value() && state.focusedReviewState->deleteCandidate;

  SlideshowFloatingControlsPresentation presentation;
  presentation.positionText = state.positionText;
  presentation.previous = button(Focus::previous, Key::slideshowPrevious, "chevron.left", false, true);
  presentation.next = button(Focus::next, Key::slideshowNext, "chevron.right", false, true);
  presentation.playback = button(Focus::playback, state.isPlaying ? Key::slideshowPause : Key::slideshowPlay,
                                 state.isPlaying ? "pause.fill" : "play.fill", state.isPlaying, true);
  const auto countKey =
      pluralKey(state.visibleCount, Key::slideshowVisibleCountOne, Key::slideshowVisibleCountOther);
  presentation.visibleCount = {localization.lookup(Key::slideshowVisibleCountLabel),
                               localization.lookup(countKey, {std::int64_t{state.visibleCount}}),
                               localization.lookup(Key::slideshowVisibleCountControl)};
  presentation.interval = {localization.lookup(Key::slideshowIntervalLabel),
                           localization.lookup(Key::slideshowIntervalSeconds, {state.intervalSeconds}),
                           localization.lookup(Key::slideshowIntervalControl)};
  presentation.favorite =
      button(Focus::favorite, favorite ? Key::reviewFavoriteUnfavorite : Key::reviewFavorite,
             favorite ? "star.slash" : "star", favorite, state.canReviewFocusedRecord);
  presentation.deleteCandidate = button(
      Focus::deleteCandidate, deleteCandidate ? Key::reviewDeleteCandidateRemove : Key::reviewDeleteCandidate,
      deleteCandidate ? "trash.slash" : "trash", deleteCandidate, state.canReviewFocusedRecord);
  presentation.close = button(Focus::close, Key::commonClose, "xmark.circle", false, true);
  return presentation;
}

}  // namespace lorvex::ui
