// The sidebar's filter section: the saved tags (the first few while the list is collapsed) with the
// button that opens the tag popover, the model filter with the one that opens the model popover and
// its clear button, the aspects, and the favorites and delete-candidate switches. Every click goes
// to the filters model; the popovers follow the presentation's flags, and the keyboard focus goes
// back to the control that opened one once it has gone.
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
class FilterRowButton;
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
  void scheduleUpdate();
  void updateSavedTags();
  void updateFilters();
  void tagPopoverFlagChanged();
  void modelPopoverFlagChanged();
  enum class PopoverKind { tag, model };
  template <typename Panel>
  void followPopoverFlag(bool presented, PopoverKind kind, QPointer<Panel>& slot,
                         const std::function<Panel*()>& make);
  void focusAfterYield(PopoverFocusReturn& machine, QWidget* control, bool isTag);
  PopoverFlags tagFlags() const;
  PopoverFlags modelFlags() const;
  FilterPopoverModels popoverModels() const;
  // Starts `work` on the filters model as a flow of its context.
  void startFilterTask(std::function<QCoro::Task<void>(FiltersModel&)> work);
  void clearModelFilter();
  void showModelRowMenu(QWidget* source, const QPoint& position);

  FilterSectionModels models_;
  FilterSidebarFactories::ConceptManagementFactory tagConceptManagement_;
  const AppLocalization& localizer_;
  PopoverFocusReturn tagFocus_;
  PopoverFocusReturn modelFocus_;
  bool lastTagPresented_ = false;
  bool lastModelPresented_ = false;
  bool isUpdateQueued_ = false;  // cleared by applyStoreState, which may run before updateSoon_
  TurnEndCall updateSoon_{this, [this] {
                            if (isUpdateQueued_) applyStoreState();
                          }};

  QToolButton* addTag_ = nullptr;
  QLabel* tagsEmptyHint_ = nullptr;
  QVBoxLayout* tagRowsLayout_ = nullptr;
  std::map<std::string, FilterRowButton*> tagRows_;
  std::vector<std::string> tagRowOrder_;
  QPushButton* tagMore_ = nullptr;
  FilterRowButton* modelSelect_ = nullptr;
  QToolButton* modelClear_ = nullptr;
  std::vector<FilterRowButton*> aspectRows_;
  QCheckBox* favoritesOnly_ = nullptr;
  QCheckBox* deleteCandidatesOnly_ = nullptr;
  QPointer<FilterTagAdditionPanel> tagPopover_;
  QPointer<ModelSelectionPanel> modelPopover_;
};

}  // namespace lorvex::ui
