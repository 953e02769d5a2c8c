// The two filter popovers: the tag addition panel (search the library's tags and, with tag
// concepts on, the concepts; toggle them in the filter; add a typed tag; a second page with the
// concept management) and the model selection panel (search the models, pick the one that
// filters). Each is a Qt::Popup window of 420 × 560 made afresh whenever its presentation flag
// turns true, so it opens with empty texts and a fresh load; it keeps no suggestion data of its own.
//
// The presentation's flag drives it both ways: the sidebar shows it when the flag turns true and hides
// it when it turns false; a close by Qt (a click outside, Escape) writes the flag false. Its show
// and hide events tell the sidebar whether the content is on screen, for the focus return.
//
// Return: in the tag panel's search field and in its custom tag field it adds the typed tag to the
// filter (saved and selected) and keeps the popover open, as the shortcut help says; with nothing
// typed in the search field, and anywhere else in a panel, it is "Done" and closes the popover.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "model/tag_suggestion.h"
#include "store/async/turn_end_call.h"
#include "store/feature_models.h"
#include "ui/common/app_localization.h"
#include "ui/sidebar/sidebar_factories.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace lorvex::ui {

class FilterRowListModel;
class FilterRowListView;
class SuggestionLoadPipeline;

// What both popovers read and change: the suggestion lists, the filters they toggle, their
// presented flags, and the context their loads and changes run in.
struct FilterPopoverModels {
  SuggestionsModel& suggestions;
  FiltersModel& filters;
  ImageLibraryPresentationState& presentation;
  StoreContext& context;
};

class FilterPopover : public QWidget {
  Q_OBJECT

 public:
  FilterPopover(FilterPopoverModels models, const AppLocalization& localizer, QWidget* parent);
  ~FilterPopover() override;

  // Shows the popover beside `anchor` (trailing side, kept on the screen).
  void showBeside(QWidget& anchor);

 Q_SIGNALS:
  void contentShown();
  void contentHidden();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

  // The popover's own presented flag in the presentation state.
  virtual bool isPresentedInStore() const = 0;
  virtual void setPresentedInStore(bool presented) = 0;
  // The panel came on screen / left it.
  virtual void panelShown() = 0;
  virtual void panelHidden() = 0;

  // Done, or Return elsewhere: the presented flag goes false; the sidebar hides the popover.
  void finish();

  FilterPopoverModels models_;
  const AppLocalization& localizer_;
};

class FilterTagAdditionPanel final : public FilterPopover {
  Q_OBJECT

 public:
  // `results` names the selected images the concept page opens for; `concepts` is what it manages.
  FilterTagAdditionPanel(FilterPopoverModels models, const ResultsModel& results, TagConceptsModel& concepts,
                         const AppLocalization& localizer,
                         FilterSidebarFactories::ConceptManagementFactory conceptManagement, QWidget* parent);
  ~FilterTagAdditionPanel() override;

  // The rows shown, in order (for tests and the benchmark).
  const std::vector<TagFilterSuggestion>& suggestions() const { return suggestions_; }
  FilterRowListModel& listModel() const { return *listModel_; }
  // Re-reads the suggestions into the list now (what a suggestions signal schedules for the end of
  // the turn).
  void reloadSuggestions();
  bool isConceptPageShownForTest() const { return conceptPage_ != nullptr; }

 protected:
  bool isPresentedInStore() const override;
  void setPresentedInStore(bool presented) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void panelShown() override;
  void panelHidden() override;

 private:
  void addCustomTag();
  // Return in the search field: the typed text as a tag; false when nothing was typed.
  bool addSearchedTag();
  void activate(int row);
  void showConceptPage(bool shown);
  void runPipeline();
  void updateResultArea();

  const ResultsModel& resultsModel_;
  TagConceptsModel& concepts_;
  FilterSidebarFactories::ConceptManagementFactory conceptManagement_;
  std::unique_ptr<SuggestionLoadPipeline> pipeline_;
  std::vector<TagFilterSuggestion> suggestions_;
  FilterRowListModel* listModel_;
  QToolButton* back_;
  QLabel* title_;
  QWidget* selectionPage_;
  QWidget* conceptPage_ = nullptr;
  QLineEdit* search_;
  QLineEdit* custom_;
  QPushButton* manage_;
  QStackedWidget* results_;
  FilterRowListView* list_;
  TurnEndCall reloadSoon_{this, [this] { reloadSuggestions(); }};
};

class ModelSelectionPanel final : public FilterPopover {
  Q_OBJECT

 public:
  ModelSelectionPanel(FilterPopoverModels models, const AppLocalization& localizer, QWidget* parent);
  ~ModelSelectionPanel() override;

  FilterRowListModel& listModel() const { return *listModel_; }
  void reloadSuggestions();

 protected:
  bool isPresentedInStore() const override;
  void setPresentedInStore(bool presented) override;
  void panelShown() override;
  void panelHidden() override;

 private:
  void updateResultArea();

  std::unique_ptr<SuggestionLoadPipeline> pipeline_;
  std::vector<ModelSuggestion> suggestions_;
  FilterRowListModel* listModel_;
  QLineEdit* search_;
  QStackedWidget* results_;
  FilterRowListView* list_;
  TurnEndCall reloadSoon_{this, [this] { reloadSuggestions(); }};
};

}  // namespace lorvex::ui
