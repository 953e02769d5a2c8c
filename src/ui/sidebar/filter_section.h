// The sidebar's filter section: the saved tags (the first few while the list is collapsed) with the
// button that opens the tag popover, the model filter with the one that opens the model popover and
// its clear button, the aspects, and the favorites and delete-candidate switches. Every click goes
// to the filters model; the popovers follow the presentation's flags, and the keyboard focus goes
// back to the control that opened one once it has gone. Its buttons and switches take no keyboard
// focus from a click, so the results grid keeps every one of its keys; Tab reaches them.
//
// Its widgets are kept and updated, not rebuilt: the models' signals schedule one update on the next
// event-loop turn, and saved-tag rows are reused by tag.
//
// Thread safety: the GUI thread only.
#pragma once

#include <qcoro/qcorotask.h>

#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "store/async/turn_end_call.h"
#include "store/feature_models.h"
#include "ui/common/app_localization.h"
#include "ui/sidebar/popover_focus_return.h"
#include "ui/sidebar/sidebar_factories.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace lorvex::ui {

struct FilterPopoverModels;
class FilterPopover;
class FilterRowButton;
class WrappedTextLabel;
class FilterTagAdditionPanel;
class ModelSelectionPanel;

// What the section and its two popovers read and change.
struct FilterSectionModels {
  FiltersModel& filters;
  const ResultsModel& results;  // the tag popover's images for the concept page
  ImageLibraryPresentationState& presentation;
  SuggestionsModel& suggestions;
  TagConceptsModel& concepts;
  const StoreProjections& projections;
  StoreContext& context;
};

class FilterSection : public QWidget {
  Q_OBJECT

 public:
  // The models outlive the section; `tagConceptManagement` makes the tag popover's concept page.
  FilterSection(FilterSectionModels models,
                FilterSidebarFactories::ConceptManagementFactory tagConceptManagement,
                const AppLocalization& localizer, QWidget* parent);
  ~FilterSection() override;

  // Applies the models' state now instead of on the next turn.
  void applyStoreState();

  // What is open now; null when closed.
  FilterTagAdditionPanel* tagPopover() const;
  ModelSelectionPanel* modelPopover() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // One of the two popovers: the presented flag it follows (and the other popover's, which its
  // focus return reads too), how it is made, the control that opens it and takes the focus back,
  // the flag as last followed and the panel while it is open.
  struct Popover {
    using Flag = bool (ImageLibraryPresentationState::*)() const;
    Flag isPresented = nullptr;
    Flag isOtherPresented = nullptr;
    std::function<FilterPopover*()> make;
    QWidget* control = nullptr;
    PopoverFocusReturn focus;
    bool lastPresented = false;
    QPointer<FilterPopover> panel;
  };

  // The build steps, top to bottom: the order of creation is the order of keyboard focus.
  void buildSavedTags(QVBoxLayout& layout);
  void buildModelFilter(QVBoxLayout& layout);
  void buildAspects(QVBoxLayout& layout);
  void buildSwitches(QVBoxLayout& layout);
  // The two popovers and what the section follows of the models.
  void setUpPopovers();
  void followModels();

  void updateSavedTags();
  void updateFilters();
  PopoverFlags flags(const Popover& popover) const;
  // Shows or hides the popover as its presented flag now says, and runs its focus return.
  void followPresentedFlag(Popover& popover);
  void focusAfterYield(Popover& popover);
  FilterPopoverModels popoverModels() const;
  // Starts `work` on the filters model as a flow of its context.
  void startFilterTask(std::function<QCoro::Task<void>(FiltersModel&)> work);
  void clearModelFilter();
  void showModelRowMenu(QWidget* source, const QPoint& position);

  FilterSectionModels models_;
  FilterSidebarFactories::ConceptManagementFactory tagConceptManagement_;
  const AppLocalization& localizer_;
  Popover tagPopover_;
  Popover modelPopover_;
  TurnEndCall updateSoon_{this, [this] { applyStoreState(); }};

  QToolButton* addTag_ = nullptr;
  WrappedTextLabel* tagsEmptyHint_ = nullptr;
  QVBoxLayout* tagRowsLayout_ = nullptr;
  std::map<std::string, FilterRowButton*> tagRows_;
  std::vector<std::string> tagRowOrder_;
  QPushButton* tagMore_ = nullptr;
  FilterRowButton* modelSelect_ = nullptr;
  QToolButton* modelClear_ = nullptr;
  std::vector<FilterRowButton*> aspectRows_;
  QCheckBox* favoritesOnly_ = nullptr;
  QCheckBox* deleteCandidatesOnly_ = nullptr;
};

}  // namespace lorvex::ui
