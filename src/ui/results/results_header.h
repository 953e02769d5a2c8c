// The bar above the results grid. First row: the status (a small busy indicator while a search or
// a page runs, and the count or "searching" text), then the shortcut-help button (its symbol alone
// when the row has no room for its title), the sort menu (170 wide) and the slideshow button;
// second row: the active-filter chips. Everything shown comes from the header presentation,
// rebuilt from the models' signals once per turn of the event loop; the sort menu is set with its
// signals blocked, so only a person's choice changes the sort.
//
// Names: "results.header", "results.status", "results.shortcutHelp", "results.sort",
// "results.slideshow", and the chips bar's "results.filterSummary".
//
// Thread safety: GUI thread only.
#pragma once

#include <QWidget>
#include <functional>

#include "store/async/turn_end_call.h"
#include "store/feature_models.h"
#include "ui/common/app_localization.h"
#include "ui/results/results_header_presentation.h"

class QComboBox;
class QHBoxLayout;
class QLabel;
class QToolButton;

namespace lorvex::ui {

class ActiveFilterSummaryBar;
class BusyIndicator;
class HeaderActionButton;

class ResultsHeader : public QWidget {
  Q_OBJECT

 public:
  // Reads the results, the sort and the slideshow flag; the sort menu and the slideshow button change
  // them; `context` runs the sort's refresh. The chips bar reads the same models.
  ResultsHeader(ResultsModel& results, FiltersModel& filters, ImageLibraryPresentationState& presentation,
                StoreProjections& projections, StoreContext& context, AppLocalization localizer,
                std::function<void()> showShortcutHelp, QWidget* parent = nullptr);

  const ResultsHeaderPresentation& presentation() const { return presentation_; }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void rebuild();
  // Shows or drops the shortcut-help button's title as the row's width allows.
  void fitShortcutHelp();

  ResultsModel& results_;
  FiltersModel& filters_;
  ImageLibraryPresentationState& presentationState_;
  StoreContext& context_;
  AppLocalization localizer_;
  std::function<void()> showShortcutHelp_;
  ResultsHeaderPresentation presentation_;
  BusyIndicator* busy_ = nullptr;
  QLabel* status_ = nullptr;
  QHBoxLayout* row_ = nullptr;
  QToolButton* shortcutHelp_ = nullptr;
  int shortcutHelpTitleWidth_ = 0;  // how much wider the button is with its title
  QComboBox* sort_ = nullptr;
  HeaderActionButton* slideshow_ = nullptr;
  ActiveFilterSummaryBar* filterSummary_ = nullptr;
  bool built_ = false;
  TurnEndCall rebuildSoon_{this, [this] { rebuild(); }};
};

}  // namespace lorvex::ui
