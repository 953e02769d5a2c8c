// The row of removable filter chips under the results header: a leading title, one chip per active
// filter (its title cut in the middle past the chip's width, an "x" symbol before it) and a reset
// button. A chip's click removes that filter through the filters model; the reset clears them all.
// With no filter active the bar is hidden and takes no room.
//
// The bar rebuilds from the filters' change signal once per turn of the event loop. Chips are named
// "results.filterChip.<item id>", the reset button "results.filterReset". The reset button stays
// at the bar's end; the title and chips beside it scroll sideways when they are wider than their
// room, with the wheel turned either way ("results.filterSummary.scroll"). While they are, a cue
// stays at each edge ("results.filterSummary.more"): with chips beyond it, it fades the row under a
// chevron and a click there scrolls the row by one chip that way; with none, its chevron is dimmed
// and a click there does nothing. A filter just added scrolls its chip into view.
//
// Thread safety: GUI thread only.
#pragma once

#include <QScrollArea>
#include <QWidget>

#include "store/async/turn_end_call.h"
#include "store/feature_models.h"
#include "ui/common/app_localization.h"
#include "ui/results/active_filter_summary_presentation.h"

class QHBoxLayout;
class QLabel;

namespace lorvex::ui {

class ActiveFilterSummaryBar : public QWidget {
  Q_OBJECT

 public:
  // Reads and changes `filters`; `projections` tells when the feature switch or the review may have
  // changed what the bar shows.
  ActiveFilterSummaryBar(FiltersModel& filters, const ImageLibraryPresentationState& presentation,
                         StoreProjections& projections, StoreContext& context, AppLocalization localizer,
                         QWidget* parent = nullptr);

  const ActiveFilterSummaryPresentation& presentation() const { return presentation_; }

 private:
  void rebuild();

  FiltersModel& filters_;
  const ImageLibraryPresentationState& presentationState_;
  StoreContext& context_;
  AppLocalization localizer_;
  ActiveFilterSummaryPresentation presentation_;
  QScrollArea* scroll_ = nullptr;
  QWidget* row_ = nullptr;
  QHBoxLayout* rowLayout_ = nullptr;
  bool built_ = false;
  TurnEndCall rebuildSoon_{this, [this] { rebuild(); }};
};

}  // namespace lorvex::ui
