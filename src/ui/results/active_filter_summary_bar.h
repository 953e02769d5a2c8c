// The row of removable filter chips under the results header: a leading title, one chip per active
// filter (its title cut in the middle past the chip's width, an "x" symbol before it) and a reset
// button. A chip's click removes that filter through the store; the reset clears them all. With
// no filter active the bar is hidden and takes no room.
//
// The bar rebuilds from the store's filter signals once per turn of the event loop. Chips are
// named "results.filterChip.<item id>", the reset button "results.filterReset". A row wider than
// the bar scrolls sideways, with the wheel turned either way ("results.filterSummary.scroll").
//
// Thread safety: GUI thread only.
#pragma once

#include <QScrollArea>
#include <QWidget>

#include "ui/common/app_localization.h"
#include "ui/results/active_filter_summary_presentation.h"
#include "ui/results/once_per_turn.h"

class QHBoxLayout;
class QLabel;

namespace lorvex {
class ImageLibraryStore;
}

namespace lorvex::ui {

class ActiveFilterSummaryBar : public QWidget {
  Q_OBJECT

 public:
  ActiveFilterSummaryBar(ImageLibraryStore& store, AppLocalization localizer, QWidget* parent = nullptr);

  const ActiveFilterSummaryPresentation& presentation() const { return presentation_; }

 private:
  void rebuild();

  ImageLibraryStore& store_;
  AppLocalization localizer_;
  ActiveFilterSummaryPresentation presentation_;
  QScrollArea* scroll_ = nullptr;
  QWidget* row_ = nullptr;
  QHBoxLayout* rowLayout_ = nullptr;
  bool built_ = false;
  OncePerTurn rebuildSoon_{this, [this] { rebuild(); }};
};

}  // namespace lorvex::ui
